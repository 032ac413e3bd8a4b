#include "gui/helptopic.h"

#include <glib.h>

#include "base/file.h"
#include "base/stringtools.h"

bool LOpenHelpTopic(const char* topic)
{
  char folder[kPathSize];
  char page[kPathSize];
  LFile::MakeFilePath(page, LFile::GetHelpFolder(folder), topic, ".html");
  char program[] = "xdg-open";
  char* argv[] = {program, page, nullptr};
  return g_spawn_async(nullptr, argv, nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, nullptr) != FALSE;
}
