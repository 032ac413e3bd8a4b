#include "gui/helptopic.h"

#include "base/file.h"
#include "base/stringtools.h"
#include "gui/openaddress.h"

bool LOpenHelpTopic(const char* topic)
{
  char folder[kPathSize];
  char page[kPathSize];
  LFile::MakeFilePath(page, LFile::GetHelpFolder(folder), topic, ".html");
  return LOpenAddress(page);
}
