#include "gui/openaddress.h"

#include "base/stringtools.h"

#include <glib.h>

bool LOpenAddress(const char* address)
{
  char program[] = "xdg-open";
  char target[kPathSize];
  tstrlcpy(target, address, sizeof target);
  char* argv[] = {program, target, nullptr};
  GSpawnFlags flags = GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL);
  return g_spawn_async(nullptr, argv, nullptr, flags, nullptr, nullptr, nullptr, nullptr) != FALSE;
}
