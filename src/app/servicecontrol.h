#pragma once

// Running shell commands, with root rights where needed, and starting and
// stopping the service through its init script.  Called on the GUI thread
// or the main thread of a console run; each waits for its command.  Plain
// commands run through RunCommandLineProcess (net/processcommand.h).

// True when the real user id is 0, or else when USER is "root".
bool LIsUserRoot();

// Runs the command as root: directly for root, otherwise through gksu or
// kdesu or pkexec, the first one installed.  Without any, shows an error box and
// returns false without running it.
bool LRunCommandAsRootPrompt(const char* command);

// "/etc/init.d/velorind"
const char* LGetServiceName();
bool LServiceStart();
bool LServiceStop();
