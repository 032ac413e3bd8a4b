#pragma once

// The process's command line, copied by main before anything else.  The
// accessors may be called from any thread once it is set.
void LSetCommandLine(int argc, char** argv);
int LGetCommandLineArgumentCount();
// Argument i, or "" when i is out of range.
const char* LGetCommandLineArgument(int i);
// Argument 0: the path the program was started by ("" when there is none).
const char* LGetCommandLineRunExe();
