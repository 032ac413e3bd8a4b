#pragma once
// The settings dialog "Velorin Settings": the pages General, Live,
// Recordings and Other over the settings store.  The caller restarts the
// engine afterwards whatever the answer (the Live page's buttons write at
// once).  GTK main thread only.
#include <gtk/gtk.h>

// True when the user pressed OK.
bool RunSettingsDialog(GtkWindow* parent);
