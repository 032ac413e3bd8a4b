#pragma once
// The two file choosers of the settings pages, modal over `parent`.
// GTK main thread only.
#include <gtk/gtk.h>

#include <string>
#include <vector>

// "Add Files": several audio files from `folder`; empty when cancelled.
std::vector<std::string> LBrowseAddFiles(GtkWindow* parent, const char* folder);
// "Browse for Banner": one ".jpg" file from `folder` into out (260 bytes);
// false when cancelled.
bool LBrowseBannerFile(GtkWindow* parent, const char* folder, char* out);
