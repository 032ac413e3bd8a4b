#pragma once
#include <gtk/gtk.h>

// The install and uninstall wizards ("-install" and "-uninstall" on a
// display).  GTK main thread only.

// Licence terms (unless LQUIET is set), moving the current folder's files
// into the program folder, the install steps; true when the installation
// completed and the wizard was finished from its last page.
bool RunInstallWizard(GtkWindow* parent = nullptr);
// True when the user chose to uninstall and finished the wizard; the caller
// then runs UninstallDialog::Uninstall().
bool RunUninstallWizard(GtkWindow* parent = nullptr);
