// The install and uninstall wizards driven as a user would, inside tests/isolate-system.
#include "app/autorun.h"
#include "app/installdialog.h"
#include "base/file.h"
#include "common/loopback.h"
#include "gui/driver.h"
#include "gui/install.h"
#include "gui/messagebox.h"
#include "gui/wizard.h"
#include "integration/kit.h"
#include "web/httpserver.h"

#include <optional>

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
    signal(SIGPIPE, SIG_IGN);
    setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1);
    unsetenv("LQUIET");
    std::filesystem::remove_all("/opt/ostrel/components");
    script_.AnswerOtherBoxes(GTK_RESPONSE_OK);
  }

  std::string EnterRelease()
  {
    std::string release = UnpackedRelease(dir_.Path());
    EXPECT_EQ(chdir(release.c_str()), 0);
    return release;
  }

  TempFolder dir_;
  LScript script_;
};

TEST_F(WizardTest, DecliningAndFinishingInstallsNothing)
{
  std::string release = EnterRelease();
  // "No, I don't agree." is the licence page's first choice.
  script_.On("", [](GtkWindow* w) { return Choose(w, "No, I don't agree.") && Press(w, kWizardFinish); });
  EXPECT_FALSE(RunInstallWizard());
  EXPECT_EQ(script_.Pending(), "");
  EXPECT_EQ(script_.titles, std::vector<std::string>{"License Agreement"});
  EXPECT_FALSE(Exists(kProgram + "/bin"));
  EXPECT_FALSE(Exists("/etc/init.d/velorind"));
  EXPECT_TRUE(Exists(release + "/bin/velorin"));
}

TEST_F(WizardTest, QuietInstallOpensOnInstallingAndMovesEveryFile)
{
  std::string release = EnterRelease();
  // Hundreds of files: the bar's running value passes 1 long before the end.
  for (int i = 0; i < 300; ++i)
    WriteWhole(release + "/share/extra" + std::to_string(i) + ".txt", "x");
  setenv("LQUIET", "1", 1);
  script_.On("Velorin", [](GtkWindow* w) { return Press(w, kWizardFinish); });
  EXPECT_TRUE(RunInstallWizard());
  ASSERT_FALSE(script_.titles.empty());
  EXPECT_EQ(script_.titles.front(), "Installing");
  EXPECT_EQ(script_.titles.back(), "Velorin");
  EXPECT_TRUE(script_.boxes.empty()) << script_.boxes.front().heading;
  for (double fraction : script_.progress)
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
  EXPECT_FALSE(RunInstallWizard());
  ASSERT_EQ(script_.boxes.size(), 1u);
  EXPECT_NE((script_.boxes[0].heading + script_.boxes[0].body)
                .find("To install software you must be logged on as this computer's Administrator."),
            std::string::npos);
  EXPECT_FALSE(Exists("/etc/init.d/velorind"));
}

// A comment is posted only with an address and a comment: reason 5 of the
// list (after the placeholder) is "Other".
TEST_F(WizardTest, UninstallCommentsArePostedOnlyWithAnAddressAndAComment)
{
  for (auto [address, comment] : {std::pair{true, "too loud"}, std::pair{true, ""}, std::pair{false, "too loud"}}) {
    SCOPED_TRACE(comment);
    const bool posted = address && comment[0] != '\0';
    nettest::Listener listener;  // where a report that must not be sent would go
    std::optional<httptest::Server> server;
    if (posted)
      server.emplace(httptest::Script{.reply = "HTTP/1.0 200 OK\r\n\r\n"});
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.Port()) + "/report";
    LSettingSet(VLKeys::ReportAddress, !address ? "" : posted ? server->Url("/report").c_str() : url.c_str());
    LScript script;
    script.On("", [](GtkWindow* w) { return Press(w, kWizardNext); });
    script.On("", [comment](GtkWindow* w) {
      GtkWidget* combo = FindShown(w, GTK_TYPE_COMBO_BOX);
      if (combo != nullptr)
        gtk_combo_box_set_active(GTK_COMBO_BOX(combo), 5);  // shows the comment's input
      GtkWidget* entry = FindShown(w, GTK_TYPE_ENTRY);
      if (entry == nullptr)
        return false;
      gtk_entry_set_text(GTK_ENTRY(entry), comment);
      return Press(w, kWizardFinish);
    });
    EXPECT_TRUE(RunUninstallWizard());
    EXPECT_EQ(script.Pending(), "");
    if (posted) {
      server->Join();
      EXPECT_NE(server->Received().find("\r\n\r\nsoftware=Velorin&version=1.01&report=UNINSTALL&text=Other-too%20loud"),
                std::string::npos)
          << server->Received();
    }
    pollfd pending{listener.Fd(), POLLIN, 0};
    EXPECT_EQ(poll(&pending, 1, 0), 0) << "a report was sent";
  }
}

TEST_F(WizardTest, StopRunningAutomaticallyKeepsTheProgram)
{
  setenv("USERNAME", "ann", 1);
  LFile::CreateFolder(kProgram.c_str());
  LFile::CreateFolder((kProgram + "/bin").c_str());
  WriteWhole(kProgram + "/bin/velorin", "program");
  ASSERT_TRUE(InstallDialog::AddDesktopShortCut());
  LAutoRun::SetRun();
  ASSERT_TRUE(Exists("/home/ann/.kde/AutoStart/velorin.desktop"));
  script_.On("", [](GtkWindow* w) {
    return Choose(w, "Stop it running automatically (but keep it installed)") && Press(w, kWizardNext);
  });
  script_.On("", [](GtkWindow* w) { return Choose(w, "No, I don't want to tell you") && Press(w, kWizardFinish); });
  EXPECT_FALSE(RunUninstallWizard());
  EXPECT_EQ(script_.Pending(), "");
  ASSERT_EQ(script_.boxes.size(), 1u);
  EXPECT_NE((script_.boxes[0].heading + script_.boxes[0].body)
                .find("The run on startup option of the program has been turned off."),
            std::string::npos);
  for (const char* entry : {"/home/ann/.kde/AutoStart/velorin.desktop", "/home/bob/.gnome2/velorin.desktop",
                            "/home/root/.config/autostart/velorin.desktop"})
    EXPECT_FALSE(Exists(entry)) << entry;
  EXPECT_FALSE(LAutoRun::IsRun());
  EXPECT_EQ(ReadWhole(kProgram + "/bin/velorin"), "program");
}

}  // namespace
