#include "app/runmode.h"

#include <cstring>

namespace {

bool IsArgument(int argc, const char* const* argv, const char* name)
{
  return argc > 1 && argv[1] != nullptr && std::strcmp(argv[1], name) == 0;
}

// The file name part of the program path, after the last '/'.
const char* ProgramFileName(int argc, const char* const* argv)
{
  if (argc < 1 || argv[0] == nullptr)
    return "";
  const char* slash = std::strrchr(argv[0], '/');
  return slash != nullptr ? slash + 1 : argv[0];
}

}  // namespace

LRunMode LChooseRunMode(int argc, const char* const* argv, bool hasDisplay)
{
  if (!hasDisplay) {
    if (argc <= 1)
      return LRunMode::Service;
    if (IsArgument(argc, argv, "-install"))
      return LRunMode::InstallConsole;
    if (IsArgument(argc, argv, "-uninstall"))
      return LRunMode::UninstallConsole;
  }
  if (IsArgument(argc, argv, "-service"))
    return LRunMode::Service;
  if (!hasDisplay)
    return LRunMode::NoDisplay;
  if (IsArgument(argc, argv, "-install"))
    return LRunMode::InstallWizard;
  if (IsArgument(argc, argv, "-uninstall"))
    return LRunMode::UninstallWizard;
  if (std::strstr(ProgramFileName(argc, argv), "setup") != nullptr)
    return LRunMode::SetupExit;
  return LRunMode::Desktop;
}

bool LIsLogonDelayed(int argc, const char* const* argv, bool serviceStartsAtBoot)
{
  return argc == 2 && IsArgument(argc, argv, "-logon") && serviceStartsAtBoot;
}
