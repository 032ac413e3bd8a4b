#pragma once

#include <gtk/gtk.h>

// Shows a notification bubble (stock icon "gtk-stop", 15 s) through
// libnotify, loaded at run time on first use.  Returns false, showing
// nothing, when the library cannot be loaded or the bubble cannot be shown.
// GUI thread only.
bool LShowNotifyBubble(GtkWidget* anchor, const char* summary, const char* body);
