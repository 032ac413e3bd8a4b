#pragma once
#include <sys/types.h>

// Files the installer places for root and for other users.  Each is written
// under a temporary name created with its final mode (never a moment
// writable by others) and renamed over the old file, so a running program
// keeps its old copy and nobody ever sees half a file.  When the caller is
// root, the file is given to owner:group (root for system files).

bool LWriteSystemFile(const char* path, const char* text, mode_t mode, uid_t owner = 0, gid_t group = 0);
bool LCopySystemFile(const char* from, const char* to, mode_t mode, uid_t owner = 0, gid_t group = 0);
