#pragma once

// Registering the background service with the system: the init script
// "/etc/init.d/velorind", the daemon copy "/usr/sbin/velorind", a native
// systemd unit beside them, and the boot start.  Called on the GUI thread or
// the main thread of a console run; every command is waited for.

// "/usr/sbin/velorind"
const char* LGetDaemonPath();
// "/etc/systemd/system/velorind.service"
const char* LGetServiceUnitPath();

// Writes the init script and the unit and copies executable as the daemon.
// Does not enable the boot start.  True when the init script exists.
bool LServiceInstall(const char* executable);
// Stops the service; only if that succeeded removes the boot start, the
// init script, the unit and the daemon.  False (nothing removed) otherwise.
bool LServiceUninstall();
// What the desktop's Exit runs: the same as LServiceStop().
bool LServiceStopSoon();

// Enables (update-rc.d ... defaults) or disables the boot start and keeps
// the shared "Service"/"Enabled" setting.  Enabling is true when a boot
// link "/etc/rc3.d/S??velorind" exists afterwards.
bool LServiceSetAutoRun(bool enable);
// The shared "Service"/"Enabled" setting.
bool LServiceIsAutoRun();
// Whether "/etc/rc3.d" holds a start link of the service.
bool LServiceHasBootLink();
