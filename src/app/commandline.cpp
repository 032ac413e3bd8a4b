#include "app/commandline.h"

namespace {

int gArgc = 0;
char** gArgv = nullptr;

}  // namespace

void LSetCommandLine(int argc, char** argv)
{
  gArgc = argv != nullptr && argc > 0 ? argc : 0;
  gArgv = argv;
}

int LGetCommandLineArgumentCount()
{
  return gArgc;
}

const char* LGetCommandLineArgument(int i)
{
  if (i < 0 || i >= gArgc || gArgv[i] == nullptr)
    return "";
  return gArgv[i];
}

const char* LGetCommandLineRunExe()
{
  return LGetCommandLineArgument(0);
}
