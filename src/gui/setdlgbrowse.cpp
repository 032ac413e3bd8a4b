#include "gui/setdlgbrowse.h"

#include "base/stringtools.h"

namespace {

// Every pattern of the add dialog's filter list.  They all go into one
// filter, and "*.*" among them offers every file name with an extension.
constexpr const char* kAudioPatterns[] = {
    "*.wav", "*.mp3", "*.ogg", "*.aif", "*.aiff", "*.au", "*.flac", "*.aac", "*.gsm", "*.vox",
    "*.raw", "*.dct", "*.m4a", "*.amr", "*.avi",  "*.mpg", "*.mpeg", "*.mp2", "*.mpga", "*.*",
};

GtkWidget* NewChooser(GtkWindow* parent, const char* title, const char* folder)
{
  GtkWidget* chooser = gtk_file_chooser_dialog_new(title, parent, GTK_FILE_CHOOSER_ACTION_OPEN, GTK_STOCK_CANCEL,
                                                   GTK_RESPONSE_CANCEL, GTK_STOCK_OPEN, GTK_RESPONSE_ACCEPT, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
  if (folder != nullptr && folder[0] != '\0')
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder);
  return chooser;
}

} // namespace

std::vector<std::string> LBrowseAddFiles(GtkWindow* parent, const char* folder)
{
  GtkWidget* chooser = NewChooser(parent, "Add Files", folder);
  gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(chooser), TRUE);
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_set_name(filter, "Audio Files");
  for (const char* pattern : kAudioPatterns)
    gtk_file_filter_add_pattern(filter, pattern);
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
  std::vector<std::string> paths;
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    GSList* files = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(chooser));
    for (GSList* f = files; f != nullptr; f = f->next) {
      paths.emplace_back(static_cast<char*>(f->data));
      g_free(f->data);
    }
    g_slist_free(files);
  }
  gtk_widget_destroy(chooser);
  return paths;
}

bool LBrowseBannerFile(GtkWindow* parent, const char* folder, char* out)
{
  GtkWidget* chooser = NewChooser(parent, "Browse for Banner", folder);
  GtkFileFilter* filter = gtk_file_filter_new();
  gtk_file_filter_set_name(filter, "Banner Image");
  gtk_file_filter_add_pattern(filter, "*.jpg");
  gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
  bool chosen = false;
  if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    gchar* file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
    if (file != nullptr) {
      tlstrcpy(out, file);
      chosen = true;
    }
    g_free(file);
  }
  gtk_widget_destroy(chooser);
  return chosen;
}
