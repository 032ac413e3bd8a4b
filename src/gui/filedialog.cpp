#include "gui/filedialog.h"

#include "app/messagebox.h"
#include "base/stringtools.h"
#include "settings/settings.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

GtkWidget* NewChooser(GtkWindow* parent, const char* title, const char* folder, const char* filters)
{
  GtkWidget* chooser = gtk_file_chooser_dialog_new(title, parent, GTK_FILE_CHOOSER_ACTION_OPEN, GTK_STOCK_CANCEL,
                                                   GTK_RESPONSE_CANCEL, GTK_STOCK_OPEN, GTK_RESPONSE_ACCEPT, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
  if (folder != nullptr && folder[0] != '\0') {
    if (std::strncmp(folder, "file:", 5) == 0)
      gtk_file_chooser_set_current_folder_uri(GTK_FILE_CHOOSER(chooser), folder);
    else
      gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder);
  }
  if (filters != nullptr && filters[0] != '\0') {
    GtkFileFilter* filter = gtk_file_filter_new();
    for (const char* name = filters; name[0] != '\0';) {
      const char* patterns = name + std::strlen(name) + 1;
      gtk_file_filter_set_name(filter, name);
      gchar** list = g_strsplit(patterns, ";", -1);
      for (gchar** p = list; *p != nullptr; ++p)
        if (g_strstrip(*p)[0] != '\0')
          gtk_file_filter_add_pattern(filter, *p);
      g_strfreev(list);
      if (patterns[0] == '\0')
        break;
      name = patterns + std::strlen(patterns) + 1;
    }
    gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
  }
  return chooser;
}

bool IsExistingFile(const char* path)
{
  struct stat st {};
  return path != nullptr && stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool LBrowseReadFilePath(GtkWindow* parent, char* path, const char* title, const char* folder, const char* filters)
{
  GtkWidget* chooser = NewChooser(parent, title, folder, filters);
  if (path[0] != '\0')
    gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(chooser), path);
  bool chosen = false;
  while (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
    gchar* file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
    if (IsExistingFile(file)) {
      tstrlcpy(path, file, kPathSize);
      g_free(file);
      chosen = true;
      break;
    }
    char message[kPathSize + 64];
    std::snprintf(message, sizeof message, "The File %s is not valid. Please choose another file.",
                  file != nullptr ? file : "");
    g_free(file);
    PopupBoxError(nullptr, message);
  }
  gtk_widget_destroy(chooser);
  return chosen;
}

bool LBrowseMultipleReadFiles(GtkWindow* parent, std::vector<std::string>& paths, const char* title, char* folder,
                              const char* filters)
{
  if (folder[0] == '\0')
    LUserSettingGetString("Settings", "Multiple", "file:/media", folder);
  GtkWidget* chooser = NewChooser(parent, title, folder, filters);
  gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(chooser), TRUE);
  bool chosen = gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT;
  if (chosen) {
    paths.clear();
    GSList* files = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(chooser));
    for (GSList* f = files; f != nullptr; f = f->next) {
      paths.emplace_back(std::string(static_cast<char*>(f->data)).substr(0, kPathSize - 1));
      g_free(f->data);
    }
    g_slist_free(files);
    if (!paths.empty()) {
      gchar* first = g_path_get_dirname(paths.front().c_str());
      tstrlcpy(folder, first, kPathSize);
      g_free(first);
    }
  }
  gtk_widget_destroy(chooser);
  LUserSettingSetString("Settings", "Multiple", folder);
  return chosen;
}
