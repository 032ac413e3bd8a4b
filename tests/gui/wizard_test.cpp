// The install and uninstall wizards driven as a user would, inside tests/isolate-system.
#include "common/loopback.h"
#include "gui/driver.h"
#include "gui/install.h"
#include "gui/wizard.h"
#include "integration/kit.h"
#include "web/httpserver.h"

#include <optional>

namespace {

const std::string kProgram = "/opt/ostrel/velorin";

class WizardTest : public LGtkTest {
protected:
  void SetUp() override
  {
    LGtkTest::SetUp();
    ASSERT_STREQ(std::getenv("VELORIN_SYSTEM_ISOLATED"), "1") << "run through tests/isolate-system";
    signal(SIGPIPE, SIG_IGN);
    setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1);
    unsetenv("LQUIET");
    std::filesystem::remove_all("/opt/ostrel/components");
  }

  TempFolder dir_;
};

// Declined, or read-only system folders (the administrator message): nothing installed.
TEST_F(WizardTest, DeclinedOrReadOnlyInstallsNothingAQuietInstallMovesEveryFile)
{
  const std::string release = UnpackedRelease(dir_.Path());
  ASSERT_EQ(chdir(release.c_str()), 0);
  {
    LScript script;
    script.On("", [](GtkWindow* w) { return Choose(w, "No, I don't agree.") && Press(w, kWizardFinish); });
    EXPECT_FALSE(RunInstallWizard());
    EXPECT_EQ(script.Pending(), "");
    EXPECT_EQ(script.titles, Texts{"License Agreement"});
  }
  for (int i = 0; i < 300; ++i)  // the progress passes many steps
    WriteWhole(release + "/share/extra" + std::to_string(i) + ".txt", "x");
  setenv("LQUIET", "1", 1);
  {
    ASSERT_TRUE(RunShell("mount -o remount,ro /opt").Exited(0));
    LScript readOnly;
    EXPECT_FALSE(RunInstallWizard());
    ASSERT_EQ(readOnly.boxes.size(), 1u);
    EXPECT_NE(readOnly.boxes[0].find("To install software you must be logged on as this computer's Administrator."),
              std::string::npos);
  }
  ASSERT_TRUE(RunShell("mount -o remount,rw /opt").Exited(0));
  EXPECT_FALSE(Exists(kProgram + "/bin") || Exists("/etc/init.d/velorind"));
  EXPECT_TRUE(Exists(release + "/bin/velorin"));
  LScript script;
  script.On("Velorin", [](GtkWindow* w) { return Press(w, kWizardFinish); });
  EXPECT_TRUE(RunInstallWizard());
  ASSERT_FALSE(script.titles.empty());
  EXPECT_EQ(script.titles.front() + "|" + script.titles.back(), "Installing|Velorin");
  EXPECT_EQ(script.boxes, Texts{});
  for (const char* file : {"/share/extra299.txt", "/bin/velorin"}) {
    EXPECT_TRUE(Exists(kProgram + file)) << file;
    EXPECT_FALSE(Exists(release + file)) << file << ": moved, not copied";
  }
  EXPECT_TRUE(Exists("/etc/init.d/velorind"));
  EXPECT_TRUE(Exists("/opt/ostrel/components/lyrenc/lyrenc"));
}

// Reason 5 of the list (after the placeholder) is "Other"; no comment, no report.
TEST_F(WizardTest, UninstallCommentIsPostedOnlyWhenGiven)
{
  for (const char* comment : {"too loud", ""}) {
    SCOPED_TRACE(comment);
    const bool posted = comment[0] != '\0';
    nettest::Listener listener;  // where a report that must not be sent would go
    std::optional<httptest::Server> server;
    if (posted)
      server.emplace(httptest::Script{.reply = "HTTP/1.0 200 OK\r\n\r\n"});
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.Port()) + "/report";
    LSettingSet(VLKeys::ReportAddress, posted ? server->Url("/report").c_str() : url.c_str());
    LScript script;
    script.On("", [](GtkWindow* w) { return Press(w, kWizardNext); });
    script.On("", [comment](GtkWindow* w) {
      GtkWidget* combo = FindShown(w, GTK_TYPE_COMBO_BOX);
      if (combo != nullptr)
        gtk_combo_box_set_active(GTK_COMBO_BOX(combo), 5);  // shows the comment's input
      GtkWidget* entry = FindShown(w, GTK_TYPE_ENTRY);
      return entry != nullptr && (gtk_entry_set_text(GTK_ENTRY(entry), comment), Press(w, kWizardFinish));
    });
    EXPECT_TRUE(RunUninstallWizard());
    EXPECT_EQ(script.Pending(), "");
    const std::string sent = posted ? (server->Join(), server->Received()) : "";
    const std::string form = "\r\n\r\nsoftware=Velorin&version=1.01&report=UNINSTALL&text=Other-too%20loud";
    EXPECT_EQ(sent.find(form) != std::string::npos, posted) << sent;
    pollfd pending{listener.Fd(), POLLIN, 0};
    EXPECT_EQ(poll(&pending, 1, 0), 0) << "a report was sent";
  }
}

}  // namespace
