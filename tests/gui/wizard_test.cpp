// The install and uninstall wizards on the virtual display, driven like a
// user would, inside tests/isolate-system (private /opt, /etc/init.d,
// /usr/sbin, /home... and the test accounts ann, bob and root).

#include "app/autorun.h"
#include "app/installdialog.h"
#include "base/file.h"
#include "gui/install.h"
#include "gui/messagebox.h"
#include "gui/wizard.h"
#include "integration/releasekit.h"
#include "net/loopback.h"
#include "settings/settings.h"
#include "web/httpserver.h"
#include "wizarddriver.h"

#include <poll.h>

using namespace componentkit;
using namespace wizardtest;

namespace {

const std::string kProgram = "/opt/ostrel/velorin";

class WizardTest : public ::testing::Test {
protected:
  static void SetUpTestSuite()
  {
    gtk_init(nullptr, nullptr);
    LInstallGtkMessageBoxes();
  }

  void SetUp() override
  {
    const char* isolated = std::getenv("VELORIN_SYSTEM_ISOLATED");
    ASSERT_TRUE(isolated != nullptr && std::string(isolated) == "1") << "run through tests/isolate-system";
    IgnoreBrokenPipes();
    setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1);
    unsetenv("LQUIET");
    std::filesystem::remove_all("/opt/ostrel/components");
  }

  // Enters the unpacked release folder, as the user running its installer.
  std::string EnterRelease()
  {
    std::string release = UnpackedRelease(dir_.Path());
    EXPECT_EQ(chdir(release.c_str()), 0);
    return release;
  }

  LTempDir dir_;
};

TEST_F(WizardTest, DecliningAndFinishingInstallsNothing)
{
  std::string release = EnterRelease();
  // "No, I don't agree." is the licence page's first choice.
  Driver driver({[](GtkWidget* w) { return Choose(w, "No, I don't agree.") && Press(w, kWizardFinish); }});
  EXPECT_FALSE(RunInstallWizard());
  EXPECT_TRUE(driver.Finished());
  EXPECT_EQ(driver.titles, std::vector<std::string>{"License Agreement"});
  EXPECT_FALSE(Exists(kProgram + "/bin"));
  EXPECT_FALSE(Exists("/etc/init.d/velorind"));
  EXPECT_TRUE(Exists(release + "/bin/velorin"));
}

TEST_F(WizardTest, QuietInstallOpensOnInstallingAndMovesEveryFile)
{
  std::string release = EnterRelease();
  // Hundreds of files: the bar's running value passes 1 long before the end.
  for (int i = 0; i < 300; ++i)
    WriteWholeFile(release + "/share/extra" + std::to_string(i) + ".txt", "x");
  setenv("LQUIET", "1", 1);
  Driver driver({[](GtkWidget* w) { return std::string(gtk_window_get_title(GTK_WINDOW(w))) == "Velorin" &&
                                           Press(w, kWizardFinish); }});
  EXPECT_TRUE(RunInstallWizard());
  ASSERT_FALSE(driver.titles.empty());
  EXPECT_EQ(driver.titles.front(), "Installing");
  EXPECT_EQ(driver.titles.back(), "Velorin");
  EXPECT_TRUE(driver.messages.empty()) << driver.messages.front();
  for (double fraction : driver.progress)
    EXPECT_TRUE(fraction >= 0 && fraction <= 1) << fraction;
  EXPECT_TRUE(Exists(kProgram + "/share/extra299.txt"));
  EXPECT_TRUE(Exists(kProgram + "/bin/velorin"));
  EXPECT_FALSE(Exists(release + "/share/extra0.txt")) << "moved, not copied";
  EXPECT_FALSE(Exists(release + "/bin/velorin"));
  EXPECT_TRUE(Exists("/etc/init.d/velorind"));
  EXPECT_TRUE(Exists("/opt/ostrel/components/lyrenc/lyrenc"));
}

TEST_F(WizardTest, ReadOnlyOptGivesTheAdministratorMessage)
{
  EnterRelease();
  ASSERT_TRUE(RunShell("mount -o remount,ro /opt").Exited(0));
  setenv("LQUIET", "1", 1);
  Driver driver({});
  EXPECT_FALSE(RunInstallWizard());
  ASSERT_EQ(driver.messages.size(), 1u);
  EXPECT_NE(driver.messages[0].find("To install software you must be logged on as this computer's Administrator."),
            std::string::npos);
  EXPECT_FALSE(Exists("/etc/init.d/velorind"));
}

TEST_F(WizardTest, UninstallCommentsArePostedOnlyWithAnAddressAndAComment)
{
  struct Row {
    bool address;
    const char* comment;
    bool posted;
  };
  for (const Row& row : {Row{true, "too loud", true}, Row{true, "", false}, Row{false, "too loud", false}}) {
    SCOPED_TRACE(row.comment);
    nettest::Listener listener;
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.Port()) + "/report";
    LSettingSet(VLKeys::ReportAddress, row.address ? url.c_str() : "");
    std::string comment = row.comment;
    Driver driver({[](GtkWidget* w) { return Press(w, kWizardNext); },
                   [&](GtkWidget* w) {
                     // Reason 5 of the list (after the placeholder): "Other".
                     return SelectItem(w, 5) && Type(w, comment.c_str()) && Press(w, kWizardFinish);
                   }});
    std::string received;
    if (row.posted) {
      httptest::Server server(httptest::Script{.reply = "HTTP/1.0 200 OK\r\n\r\n"});
      LSettingSet(VLKeys::ReportAddress, server.Url("/report").c_str());
      EXPECT_TRUE(RunUninstallWizard());
      server.Join();
      received = server.Received();
      EXPECT_NE(received.find("\r\n\r\nsoftware=Velorin&version=1.01&report=UNINSTALL&text=Other-too%20loud"),
                std::string::npos)
          << received;
    } else {
      EXPECT_TRUE(RunUninstallWizard());
      pollfd pending{listener.Fd(), POLLIN, 0};
      EXPECT_EQ(poll(&pending, 1, 0), 0) << "a report was sent";
    }
    EXPECT_TRUE(driver.Finished());
  }
}

TEST_F(WizardTest, StopRunningAutomaticallyKeepsTheProgram)
{
  setenv("USERNAME", "ann", 1);
  LFile::CreateFolder(kProgram.c_str());
  LFile::CreateFolder((kProgram + "/bin").c_str());
  WriteWholeFile(kProgram + "/bin/velorin", "program");
  ASSERT_TRUE(InstallDialog::AddDesktopShortCut());
  LAutoRun::SetRun();
  ASSERT_TRUE(Exists("/home/ann/.kde/AutoStart/velorin.desktop"));
  Driver driver({[](GtkWidget* w) {
                   return Choose(w, "Stop it running automatically (but keep it installed)") && Press(w, kWizardNext);
                 },
                 [](GtkWidget* w) { return Choose(w, "No, I don't want to tell you") && Press(w, kWizardFinish); }});
  EXPECT_FALSE(RunUninstallWizard());
  EXPECT_TRUE(driver.Finished());
  ASSERT_EQ(driver.messages.size(), 1u);
  EXPECT_NE(driver.messages[0].find("The run on startup option of the program has been turned off."),
            std::string::npos);
  for (const char* entry : {"/home/ann/.kde/AutoStart/velorin.desktop", "/home/bob/.gnome2/velorin.desktop",
                            "/home/root/.config/autostart/velorin.desktop"})
    EXPECT_FALSE(Exists(entry)) << entry;
  EXPECT_FALSE(LAutoRun::IsRun());
  EXPECT_EQ(ReadWholeFile(kProgram + "/bin/velorin"), "program");
}

} // namespace
