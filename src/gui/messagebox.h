#pragma once

#include <gtk/gtk.h>

// The GTK message boxes: modal message dialogs titled "Velorin".  Install
// on the GUI thread once the toolkit is running; until then the boxes go to
// the log.  A box asked for on another thread is shown by the main loop
// while that thread waits for it.
void LInstallGtkMessageBoxes();

// Answers of the three-way question box.
enum class LAnswer { Yes, No, Cancel };

// Yes/No/Cancel question (the secondary text is the dialog's heading).
LAnswer PopupBoxQueryYesNoCancel(GtkWindow* parent, const char* primary, const char* secondary);
