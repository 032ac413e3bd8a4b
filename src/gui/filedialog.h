#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

// The GTK file choosers ("gtk-cancel" and "gtk-open"), modal over parent.
// `filters` is a list of zero-terminated name and pattern texts ending with
// an empty text ("Images\0*.jpg; *.png\0\0"); every pattern goes into one
// filter, named after the last pair.  Both return true when the user chose
// open.  GUI thread only.

// One existing file: `path` (260 bytes) is preselected and receives the
// choice; a name that is not an existing file is refused with a message
// and the chooser stays open.
bool LBrowseReadFilePath(GtkWindow* parent, char* path, const char* title, const char* folder, const char* filters);

// Several files.  An empty `folder` (260 bytes) starts from the user setting
// (Settings, Multiple), "file:/media" by default; open puts the first file's
// folder into `folder`.  `folder` is stored in that setting in every case.
bool LBrowseMultipleReadFiles(GtkWindow* parent, std::vector<std::string>& paths, const char* title, char* folder,
                              const char* filters);
