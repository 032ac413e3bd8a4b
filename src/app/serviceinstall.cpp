#include "app/serviceinstall.h"

#include "app/servicecontrol.h"
#include "app/systemfile.h"
#include "base/file.h"
#include "base/folderiterator.h"
#include "base/stringtools.h"
#include "net/processcommand.h"
#include "settings/log.h"
#include "settings/settings.h"

#include <cstdio>
#include <string>

namespace {

constexpr size_t kCommandSize = 1024;
constexpr const char* kServiceBaseName = "velorind";

// The init script.  The LSB block lets update-rc.d (and insserv) place the
// boot links; without it current Debian makes none.  The rest is the
// script the service has always had: start runs the daemon as root with
// -service (it returns once the daemon reports "started"); stop sends
// SIGTERM and, a second later, SIGKILL.
constexpr const char* kInitScriptPieces[] = {
    "#!/bin/bash\n",
    "### BEGIN INIT INFO\n"
    "# Provides:          velorind\n"
    "# Required-Start:    $remote_fs $syslog $network\n"
    "# Required-Stop:     $remote_fs $syslog $network\n"
    "# Default-Start:     2 3 4 5\n"
    "# Default-Stop:      0 1 6\n"
    "# Short-Description: Velorin streaming audio server\n"
    "### END INIT INFO\n",
    ". /lib/lsb/init-functions\n",
    "\n start() {\n echo -n Starting service: \n",
    "start-stop-daemon --start --quiet -c root --oknodo --exec %s -- -service\n }\n \n",
    "stop() {\n echo -n \"Stopping file: \"\n ",
    "start-stop-daemon --stop --retry=1 --quiet -c root --oknodo --exec %s \n }\n \n",
    "case \"$1\" in\n start)\n start\n exit 0\n ;;\n \n stop)\n stop\n ;;\n \n restart)\n",
    "stop\n start\n ;;\n \n *)\n echo $\"Value: $1\"\n \necho $\"Usage: $0 $1 {start|stop|restart}\"\n exit 1\n esac",
};

// For systemd machines: the daemon forks and its parent exits once the child
// has reported "started", so the unit is Type=forking.  A listener is one
// descriptor, hence the high descriptor limit.
constexpr const char* kServiceUnit = "[Unit]\n"
                                     "Description=Velorin streaming audio server\n"
                                     "After=network.target sound.target\n"
                                     "\n"
                                     "[Service]\n"
                                     "Type=forking\n"
                                     "ExecStart=/usr/sbin/velorind -service\n"
                                     "Restart=on-failure\n"
                                     "RestartSec=2\n"
                                     "TimeoutStopSec=10\n"
                                     "LimitNOFILE=65536\n"
                                     "\n"
                                     "[Install]\n"
                                     "WantedBy=multi-user.target\n";

std::string InitScriptText()
{
  std::string text;
  char piece[512];
  for (const char* format : kInitScriptPieces) {
    if (std::string(format).find("%s") != std::string::npos) {
      std::snprintf(piece, sizeof piece, format, LGetDaemonPath());
      text += piece;
    } else {
      text += format;
    }
  }
  return text;
}

bool SystemdRunning()
{
  return LFile::IsFolder("/run/systemd/system");
}

void SystemdReload()
{
  if (SystemdRunning())
    RunCommandLineProcess("systemctl daemon-reload >/dev/null 2>&1");
}

}  // namespace

const char* LGetDaemonPath()
{
  return "/usr/sbin/velorind";
}

const char* LGetServiceUnitPath()
{
  return "/etc/systemd/system/velorind.service";
}

bool LServiceInstall(const char* executable)
{
  LFile::DeleteFile(LGetServiceName());
  // Root-owned and not writable by others: root runs it at boot.
  if (!LWriteSystemFile(LGetServiceName(), InitScriptText().c_str(), 0755))
    LOGERRORF("Unable to write the init script %s", LGetServiceName());
  if (!LCopySystemFile(executable, LGetDaemonPath(), 0755))
    LOGERRORF("Unable to copy %s to %s", executable, LGetDaemonPath());
  char command[kCommandSize];
  std::snprintf(command, sizeof command, "chmod 755 %s", LGetDaemonPath());
  LRunCommandAsRootPrompt(command);
  if (LFile::IsFolder("/etc/systemd")) {
    LFile::CreateFolder("/etc/systemd/system");
    if (LWriteSystemFile(LGetServiceUnitPath(), kServiceUnit, 0644))
      SystemdReload();
  }
  return LFile::TestFileExists(LGetServiceName());
}

bool LServiceUninstall()
{
  // Without an init script there is no service to stop (a half-finished
  // install must still be removable).
  if (LFile::TestFileExists(LGetServiceName()) && !LServiceStop())
    return false;
  if (LServiceIsAutoRun() || LServiceHasBootLink())
    LServiceSetAutoRun(false);
  LFile::DeleteFile(LGetServiceName());
  LFile::DeleteFile(LGetDaemonPath());
  if (LFile::TestFileExists(LGetServiceUnitPath())) {
    LFile::DeleteFile(LGetServiceUnitPath());
    SystemdReload();
  }
  return true;
}

bool LServiceStopSoon()
{
  return LServiceStop();
}

bool LServiceSetAutoRun(bool enable)
{
  char command[kCommandSize];
  if (enable) {
    std::snprintf(command, sizeof command, "update-rc.d %s defaults 19 >/dev/null 2>&1", kServiceBaseName);
    if (!RunCommandLineProcess(command))
      return false;
    LSettingSet(VLKeys::ServiceEnabled, true);
    return LServiceHasBootLink();
  }
  LSettingSet(VLKeys::ServiceEnabled, false);
  std::snprintf(command, sizeof command, "update-rc.d -f %s remove >/dev/null 2>&1", kServiceBaseName);
  return RunCommandLineProcess(command);
}

bool LServiceIsAutoRun()
{
  return LSettingGet(VLKeys::ServiceEnabled);
}

bool LServiceHasBootLink()
{
  // The sequence number is insserv's choice (S01 on current Debian).
  LFile::FolderIterator links("/etc/rc3.d", "S[0-9][0-9]velorind");
  return static_cast<bool>(links);
}
