#include "app/servicecontrol.h"

#include "app/messagebox.h"
#include "net/processcommand.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

constexpr size_t kCommandSize = 1024;

bool IsInstalled(const char* program)
{
  char command[kCommandSize];
  std::snprintf(command, sizeof command, "which %s >/dev/null 2>&1", program);
  return RunCommandLineProcess(command);
}

}  // namespace

bool LIsUserRoot()
{
  if (getuid() == 0)
    return true;
  const char* user = std::getenv("USER");
  return user != nullptr && std::strcmp(user, "root") == 0;
}

bool LRunCommandAsRootPrompt(const char* command)
{
  if (LIsUserRoot())
    return RunCommandLineProcess(command);
  char line[kCommandSize];
  if (IsInstalled("gksu")) {
    std::snprintf(line, sizeof line, "gksu %s", command);
    return RunCommandLineProcess(line);
  }
  if (IsInstalled("kdesu")) {
    RunCommandLineProcess("kdesu -s ");
    std::snprintf(line, sizeof line, "kdesu %s", command);
    return RunCommandLineProcess(line);
  }
  // Current distributions ship neither gksu nor kdesu; polkit's pkexec
  // takes their place.
  if (IsInstalled("pkexec")) {
    std::string quoted = "pkexec /bin/sh -c '";
    for (const char* c = command; *c != 0; ++c)
      quoted += *c == '\'' ? std::string("'\\''") : std::string(1, *c);
    quoted += "'";
    return RunCommandLineProcess(quoted.c_str());
  }
  std::snprintf(line, sizeof line, "You must run this program as a Root User to be able to execute this command %s",
                command);
  PopupBoxError(nullptr, line);
  return false;
}

const char* LGetServiceName()
{
  return "/etc/init.d/velorind";
}

bool LServiceStart()
{
  char command[kCommandSize];
  std::snprintf(command, sizeof command, "%s start", LGetServiceName());
  return LRunCommandAsRootPrompt(command);
}

bool LServiceStop()
{
  char command[kCommandSize];
  std::snprintf(command, sizeof command, "%s stop", LGetServiceName());
  return LRunCommandAsRootPrompt(command);
}
