#pragma once
// Names for the temporary WAV files that conversions leave behind:
// "Temp<n>.wav" in a folder shared by every process of the machine, each
// guarded by the lock file "Temp<n>.lck".
#include "base/lockfile.h"

// Takes the first n (from 1) whose lock file `lock` obtains and whose WAV
// file is absent, or present but neither locked by another holder nor
// undeletable (it is then deleted).  The lock stays held in `lock` until
// it is released or destroyed.  `out` holds kPathSize bytes.  False only
// when the folder's path leaves no room for the name.
bool LChooseTempWavPath(const char* folder, LLockFile& lock, char* out);
