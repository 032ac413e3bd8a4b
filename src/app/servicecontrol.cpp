#include "app/servicecontrol.h"

#include "app/messagebox.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr size_t kCommandSize = 1024;

// True when the command ran and exited with status 0.
bool CommandSucceeds(const char* command)
{
  int status = std::system(command);
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

bool LIsUserRoot()
{
  if (getuid() == 0)
    return true;
  const char* user = std::getenv("USER");
  return user != nullptr && std::strcmp(user, "root") == 0;
}

bool RunCommandLineProcess(const char* command)
{
  FILE* shell = popen(command, "w");
  if (shell == nullptr)
    return false;
  return pclose(shell) != -1;
}

bool LRunCommandAsRootPrompt(const char* command)
{
  if (LIsUserRoot())
    return RunCommandLineProcess(command);
  char line[kCommandSize];
  if (CommandSucceeds("which gksu >/dev/null 2>&1")) {
    std::snprintf(line, sizeof line, "gksu %s", command);
    return RunCommandLineProcess(line);
  }
  if (CommandSucceeds("which kdesu >/dev/null 2>&1")) {
    RunCommandLineProcess("kdesu -s ");
    std::snprintf(line, sizeof line, "kdesu %s", command);
    return RunCommandLineProcess(line);
  }
  std::snprintf(line, sizeof line, "You must run this program as a Root User to be able to execute this command %s",
                command);
  PopupBoxError(nullptr, line);
  return false;
}

const char* LGetServiceName() { return "/etc/init.d/velorind"; }

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
