// Installing from the release package and uninstalling, inside
// tests/isolate-system (private system folders; users root, ann 1000 with
// KDE, bob 1001 with a GNOME 2 session holding one client).
#include "app/autorun.h"
#include "app/installdialog.h"
#include "app/serviceinstall.h"
#include "integration/kit.h"
#include "web/httpserver.h"

#include <glob.h>

namespace {

const std::string kProgram = "/opt/ostrel/velorin";
const std::string kInitScript = "/etc/init.d/velorind";
const std::string kDaemon = "/usr/sbin/velorind";
const std::string kUnit = "/etc/systemd/system/velorind.service";
const std::string kMenuEntry = "/usr/share/applications/desktop/velorin.desktop";
const std::string kSession = "/home/bob/.gnome2/session-manual";
// Each home's autostart entry and desktop icon: ann (KDE), bob (GNOME), root.
const std::vector<std::string> kAutoStart = {"/home/ann/.kde/AutoStart/velorin.desktop",
                                             "/home/bob/.gnome2/velorin.desktop",
                                             "/home/root/.config/autostart/velorin.desktop"};
const std::vector<std::string> kIcons = {"/home/ann/Desktop/velorin.desktop", "/home/bob/Desktop/velorin.desktop",
                                         "/home/root/Desktop/velorin.desktop"};

// Mode bits and owner, or 0 and -1 when missing.
std::pair<unsigned, int> ModeOwner(const std::string& path)
{
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? std::pair{st.st_mode & 07777u, static_cast<int>(st.st_uid)}
                                       : std::pair{0u, -1};
}

std::vector<std::string> BootLinks()
{
  std::vector<std::string> links;
  glob_t found{};
  if (glob("/etc/rc[0-6S].d/[SK][0-9][0-9]velorind", 0, nullptr, &found) == 0)
    links.assign(found.gl_pathv, found.gl_pathv + found.gl_pathc);
  globfree(&found);
  return links;
}

std::string NumClients()
{
  std::string text = ReadWhole(kSession);
  size_t at = text.find("num_clients=");
  return at == std::string::npos ? "" : text.substr(at + 12, text.find('\r', at) - at - 12);
}

std::vector<bool> AutoStartEntries()
{
  std::vector<bool> present;
  for (const std::string& path : kAutoStart)
    present.push_back(Exists(path));
  return present;
}

class InstallTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    // Never against the machine's own /etc and /usr.
    const char* isolated = std::getenv("VELORIN_SYSTEM_ISOLATED");
    ASSERT_TRUE(isolated != nullptr && std::string(isolated) == "1") << "run through tests/isolate-system";
    signal(SIGPIPE, SIG_IGN);
    setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1);
    unsetenv("USERNAME");
    std::filesystem::remove_all("/opt/ostrel/components");
  }

  LRunResult Install(const std::string& answer)
  {
    return RunShell("cd " + UnpackedRelease(dir_.Path()) + " && exec env -u DISPLAY ./bin/velorin -install", answer);
  }

  pid_t InstallAndStart(DaemonGuard& guard)
  {
    EXPECT_TRUE(Install("y\n").Exited(0));
    UseFreeWebPort();
    LRunResult started = RunShell(kInitScript + " start");
    EXPECT_TRUE(started.Exited(0)) << started.out << started.err;
    pid_t daemon = guard.Daemon(20000);
    EXPECT_GT(daemon, 0) << ::testing::PrintToString(LogFileTexts());
    return daemon;
  }

  TempFolder dir_;
};

TEST_F(InstallTest, AgreeingInstallsEveryFileWithItsModeOwnerAndContents)
{
  httptest::Server reports(httptest::Script{.reply = "HTTP/1.0 200 OK\r\n\r\n"});
  LSettingSet(VLKeys::ReportAddress, reports.Url("/report").c_str());
  LRunResult r = Install("y\n");
  ASSERT_TRUE(r.Exited(0)) << r.out << r.err;

  const std::vector<std::tuple<std::string, unsigned, int>> files = {
      {kProgram + "/bin/velorin", 0755, 0},
      {kProgram + "/bin/velorin-rec", 0755, 0},
      {kProgram + "/bin/lyrenc", 0755, 0},
      {kProgram + "/bin/lyrenc.component", 0755, 0},
      {"/opt/ostrel", 0755, 0},
      {kProgram, 0755, 0},
      {kProgram + "/etc", 0777, 0},
      {kProgram + "/share/help", 0755, 0},
      {kProgram + "/share/1.png", 0644, 0},
      {kInitScript, 0755, 0},
      {kDaemon, 0755, 0},
      {kUnit, 0644, 0},
      {kMenuEntry, 0644, 0},
      {"/usr/share/applications/desktop", 0755, 0},
      {ComponentPath("lyrenc"), 0755, 0},
      {ComponentPath("tarnel"), 0755, 0},
      {ComponentPath("wendrik"), 0755, 0},
      {kAutoStart[0], 0644, 1000},
      {kAutoStart[1], 0644, 1001},
      {kAutoStart[2], 0644, 0},
  };
  for (const auto& [path, mode, owner] : files)
    EXPECT_EQ(ModeOwner(path), std::pair(mode, owner)) << path;
  EXPECT_TRUE(Exists(kProgram + "/etc/101.jpg"));
  EXPECT_EQ(ReadWhole(kDaemon), ReadWhole(kProgram + "/bin/velorin"));
  const std::string script = ReadWhole(kInitScript);
  EXPECT_EQ(script.rfind("#!/bin/bash\n### BEGIN INIT INFO\n# Provides:          velorind\n", 0), 0u) << script;
  EXPECT_NE(script.find("start-stop-daemon --start --quiet -c root --oknodo --exec /usr/sbin/velorind -- -service"),
            std::string::npos);
  EXPECT_NE(ReadWhole(kMenuEntry).find("Exec=/opt/ostrel/velorin/bin/velorin\n"), std::string::npos);

  // Every user starts it at logon; the service is registered, not enabled.
  EXPECT_FALSE(Exists("/home/ann/.config/autostart/velorin.desktop")) << "KDE outranks .config";
  EXPECT_EQ(NumClients(), "2");
  for (const std::string& icon : kIcons)
    EXPECT_TRUE(Exists(icon)) << icon;
  EXPECT_TRUE(BootLinks().empty());
  EXPECT_TRUE(LSettingGet(VLKeys::Installed));

  reports.Join();
  EXPECT_NE(reports.Received().find("POST /report HTTP/1.0\r\n"), std::string::npos) << reports.Received();
  EXPECT_NE(reports.Received().find("\r\n\r\nsoftware=Velorin&version=1.01&report=INSTALL"), std::string::npos);
  if (RunShell("command -v systemd-analyze").Exited(0)) {
    LRunResult verify = RunShell("systemd-analyze verify " + kUnit);
    EXPECT_TRUE(verify.Exited(0)) << verify.out << verify.err;
    EXPECT_EQ(verify.err.find("velorind.service"), std::string::npos) << verify.err;
  }
}

TEST_F(InstallTest, AnythingButYInstallsNothing)
{
  for (const std::string answer : {"n\n", "", "yes\n"}) {
    SCOPED_TRACE(answer);
    EXPECT_TRUE(Install(answer).Exited(1));
    for (const std::string& path : {kProgram + "/bin", kInitScript, kDaemon, kUnit, kMenuEntry, kAutoStart[0],
                                    kAutoStart[2], kIcons[0], std::string("/opt/ostrel/components")})
      EXPECT_FALSE(Exists(path)) << path;
    EXPECT_EQ(NumClients(), "1");
  }
}

TEST_F(InstallTest, InitScriptStartsAndStopsTheDaemonAndBootStartFollows)
{
  DaemonGuard guard("velorind");
  pid_t daemon = InstallAndStart(guard);
  ASSERT_GT(daemon, 0);
  const std::string page = "http://127.0.0.1:" + std::to_string(LSettingGet(VLKeys::WebServerPort)) + "/";
  LRunResult served = RunProgram({"/usr/bin/curl", "-sf", "--max-time", "20", page});
  EXPECT_NE(served.out.find("<html"), std::string::npos) << served.err;
  EXPECT_TRUE(RunShell(kInitScript + " stop").Exited(0));
  // SIGTERM first, which starts the engine's stop; a machine too busy to end it
  // within the second before the SIGKILL may see that instead of status 0.
  int status = guard.WaitExit(daemon, 20000);
  EXPECT_TRUE(status != -1 && (WIFEXITED(status) ? WEXITSTATUS(status) == 0 : WTERMSIG(status) == SIGKILL)) << status;
  EXPECT_TRUE(LogHas("Stopping web server"));

  // Boot start: a link made by update-rc.d from the script's header.
  EXPECT_TRUE(LServiceSetAutoRun(true));
  EXPECT_TRUE(LServiceIsAutoRun());
  EXPECT_TRUE(Exists("/etc/rc3.d/S01velorind")) << ::testing::PrintToString(BootLinks());
  EXPECT_TRUE(LServiceSetAutoRun(false));
  EXPECT_FALSE(LServiceIsAutoRun());
  EXPECT_TRUE(BootLinks().empty());
}

TEST_F(InstallTest, EachStartModeLeavesExactlyTheEntriesOfItsRow)
{
  ASSERT_TRUE(LServiceInstall(VelorinBinary().c_str()));
  ASSERT_TRUE(InstallDialog::AddDesktopShortCut());
  setenv("USERNAME", "ann", 1);
  struct Row {
    bool ticked;
    int mode;
    std::vector<bool> entries;  // ann, bob, root
    bool boot;
    const char* clients;
    int storedMode;
  };
  const Row rows[] = {
      {true, 0, {true, true, true}, false, "2", 0},   {true, 1, {true, false, false}, false, "1", 1},
      {true, 2, {true, true, true}, true, "2", 2},    {true, 3, {true, false, false}, true, "1", 3},
      {true, 4, {false, false, false}, true, "1", 4}, {false, 0, {false, false, false}, false, "1", 4},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "ticked " << row.ticked << " mode " << row.mode);
    EXPECT_TRUE(LAutoRunApply(row.ticked, row.mode));
    EXPECT_EQ(AutoStartEntries(), row.entries);
    EXPECT_FALSE(Exists("/home/ann/.config/autostart/velorin.desktop"));
    EXPECT_EQ(!BootLinks().empty(), row.boot);
    EXPECT_EQ(LServiceIsAutoRun(), row.boot);
    EXPECT_EQ(NumClients(), row.clients);
    EXPECT_EQ(LSettingGet(VLKeys::UserRunMode), row.storedMode);
  }
  EXPECT_FALSE(LAutoRunApply(true, 5));

  // Enabling twice adds the program twice; disabling takes both out.
  LUserAccount bob;
  for (const LUserAccount& account : LGetUsersAccounts())
    if (std::string(account.name) == "bob")
      bob = account;
  ASSERT_TRUE(LAutoRun::SetRunForAccount(bob, true));
  ASSERT_TRUE(LAutoRun::SetRunForAccount(bob, true));
  EXPECT_EQ(NumClients(), "3");
  EXPECT_NE(ReadWhole(kSession).find("2,RestartCommand=velorin\r\n"), std::string::npos);
  EXPECT_TRUE(LAutoRun::SetRunForAccount(bob, false));
  EXPECT_EQ(NumClients(), "1");
  EXPECT_NE(ReadWhole(kSession).find("0,RestartCommand=panel\r\n"), std::string::npos);
  EXPECT_EQ(ReadWhole(kSession).find("RestartCommand=velorin"), std::string::npos);
}

// Uninstalling stops the service and removes everything; nothing while the service cannot be stopped.
TEST_F(InstallTest, UninstallRemovesEverythingOnlyOnceTheServiceStopped)
{
  DaemonGuard guard("velorind");
  pid_t daemon = InstallAndStart(guard);
  ASSERT_GT(daemon, 0);
  ASSERT_TRUE(LServiceSetAutoRun(true));
  const std::string script = ReadWhole(kInitScript);
  const std::string stuck = "#!/bin/bash\n[ \"$1\" = stop ] && exit 1\nexit 0\n";
  WriteWhole(kInitScript, stuck);
  const std::string uninstall = "cd / && exec env -u DISPLAY " + kProgram + "/bin/velorin -uninstall";
  LRunResult r = RunShell(uninstall);
  EXPECT_TRUE(r.Exited(1)) << r.out << r.err;
  EXPECT_NE(r.out.find("Administrator Access is required"), std::string::npos) << r.out;
  for (const std::string& path : {kProgram + "/bin/velorin", kInitScript, kDaemon, kUnit, kMenuEntry, kAutoStart[0],
                                  kAutoStart[1], kAutoStart[2], kIcons[0]})
    EXPECT_TRUE(Exists(path)) << path;
  EXPECT_EQ(ReadWhole(kInitScript), stuck);
  EXPECT_EQ(NumClients(), "2");

  WriteWhole(kInitScript, script);
  r = RunShell(uninstall);
  EXPECT_TRUE(r.Exited(0)) << r.out << r.err;
  EXPECT_NE(r.out.find("Uninstall Complete"), std::string::npos) << r.out;
  EXPECT_NE(guard.WaitExit(daemon, 20000), -1) << "the service still runs";
  for (const std::string& path :
       {kProgram, kInitScript, kDaemon, kUnit, kMenuEntry, kAutoStart[0], kAutoStart[1], kAutoStart[2], kIcons[0],
        kIcons[1], kIcons[2], std::string("/usr/share/applications/desktop")})
    EXPECT_FALSE(Exists(path)) << path;
  EXPECT_TRUE(BootLinks().empty());
  EXPECT_EQ(NumClients(), "1");
}

}  // namespace
