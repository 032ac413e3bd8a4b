#pragma once

#include "app/runmode.h"

// The desktop branch of the entry: starts the toolkit, takes the run-once
// socket (a second start forwards its arguments and ends with 0), then runs
// the main window until the program quits.  Modes: Desktop, SetupExit,
// InstallWizard, UninstallWizard.
int RunDesktopApplication(LRunMode mode, int argc, char** argv);
