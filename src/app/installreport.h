#pragma once

// The install and uninstall reports.  They are posted only to the address
// the administrator configured (shared "Reports"/"Address"); without one
// nothing is sent.  Each post waits at most 5 s; its result is only logged.
// Called on the GUI thread or the main thread of a console run.

// "software=Velorin&version=1.01&report=INSTALL"
void LSendInstallReport();
// "software=Velorin&version=1.01&report=UNINSTALL&text=CODE-COMMENT" with
// the comment URI-encoded.
void LSendUninstallReport(const char* code, const char* comment);
