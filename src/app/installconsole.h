#pragma once
#include <cstdio>

// The console install and uninstall (the -install and -uninstall switches
// without a display).  Run on the main thread; the questions are asked on
// in, everything else is printed on out.

// Shows the licence terms and installs from the current folder (an
// unpacked release: bin/velorin and its companions) only when the answer is
// "y".  False when the terms were declined or the folder is no release.
bool RunInstallConsole(FILE* in = stdin, FILE* out = stdout);
// True when the program was uninstalled.
bool UninstallConsole(FILE* out = stdout);
