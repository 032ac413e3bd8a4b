#pragma once

// Opens a web address or a file or folder in the desktop's default program
// (xdg-open, not waited for).  False when it could not be started.
bool LOpenAddress(const char* address);
