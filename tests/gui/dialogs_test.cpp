// The desktop's message boxes, modal dialogs and file choosers.
#include "gui/dialog.h"
#include "gui/driver.h"
#include "gui/filedialog.h"
#include "gui/messagebox.h"
#include "settings/settings.h"

#include <atomic>
#include <dlfcn.h>
#include <fstream>
#include <thread>

namespace {

class Dialogs : public ::testing::Test {
protected:
  static void SetUpTestSuite()
  {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no display";
    LInstallGtkMessageBoxes();
  }
};

TEST_F(Dialogs, EachBoxIsTitledVelorinWithItsIconButtonsAndAnswer)
{
  struct Case {
    std::function<int()> show;  // the answer as 1 yes, 0 no, 2 cancel; -1 none
    gint response;
    GtkMessageType type;
    std::vector<std::string> buttons;
    bool iconShown;
    int answer;
  };
  auto query = [] { return PopupBoxQueryYes(nullptr, "body", "Heading") ? 1 : 0; };
  auto confirm = [] {
    return std::vector{1, 0, 2}[static_cast<int>(PopupBoxQueryYesNoCancel(nullptr, "body", "Heading"))];
  };
  const std::vector<std::string> close = {"gtk-close"}, yesNo = {"gtk-yes", "gtk-no"},
                                 three = {"gtk-yes", "gtk-no", "gtk-cancel"};
  const Case cases[] = {
      {[] { return PopupBoxInfo(nullptr, "body", "Heading"), -1; }, GTK_RESPONSE_YES, GTK_MESSAGE_INFO, close, true,
       -1},
      {[] { return PopupBoxInfoNoIcon(nullptr, "body", "Heading"), -1; }, GTK_RESPONSE_YES, GTK_MESSAGE_OTHER, close,
       false, -1},
      {[] { return PopupBoxError(nullptr, "Heading"), -1; }, GTK_RESPONSE_YES, GTK_MESSAGE_ERROR, close, true, -1},
      {query, GTK_RESPONSE_YES, GTK_MESSAGE_QUESTION, yesNo, true, 1},
      {query, GTK_RESPONSE_NO, GTK_MESSAGE_QUESTION, yesNo, true, 0},
      {query, GTK_RESPONSE_DELETE_EVENT, GTK_MESSAGE_QUESTION, yesNo, true, 0},
      {confirm, GTK_RESPONSE_YES, GTK_MESSAGE_QUESTION, three, true, 1},
      {confirm, GTK_RESPONSE_NO, GTK_MESSAGE_QUESTION, three, true, 0},
      {confirm, GTK_RESPONSE_CANCEL, GTK_MESSAGE_QUESTION, three, true, 2},
      {confirm, GTK_RESPONSE_DELETE_EVENT, GTK_MESSAGE_QUESTION, three, true, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.type << " answered " << c.response);
    LScript script;
    script.Answer(c.response);
    EXPECT_EQ(c.show(), c.answer);
    ASSERT_EQ(script.boxes.size(), 1u);
    const SeenBox& seen = script.boxes[0];
    EXPECT_EQ(seen.title, "Velorin");
    EXPECT_EQ(seen.heading, "Heading");
    EXPECT_EQ(seen.type, c.type);
    EXPECT_EQ(seen.buttons, c.buttons);
    EXPECT_EQ(seen.iconShown, c.iconShown);
  }
}

// A box asked from a worker thread is shown by the main loop.
TEST_F(Dialogs, BoxAskedOnAWorkerThreadIsShownByTheMainLoop)
{
  LScript script;
  script.Answer(GTK_RESPONSE_YES);
  std::atomic<int> result{-1};
  std::thread worker([&] { result = PopupBoxQueryYes(nullptr, "body", "From a worker") ? 1 : 0; });
  while (result < 0)
    gtk_main_iteration_do(FALSE) || (g_usleep(1000), true);
  worker.join();
  EXPECT_EQ(result, 1);
  ASSERT_EQ(script.boxes.size(), 1u);
  EXPECT_EQ(script.boxes[0].heading, "From a worker");
}

// Without libnotify invalid data gets a box without icon; the dialog stays open.
TEST_F(Dialogs, InvalidDataWithoutLibnotifyShowsABoxAndKeepsTheDialogOpen)
{
  for (const char* name : {"libnotify.so", "libnotify.so.4"})
    if (void* lib = dlopen(name, RTLD_LAZY)) {
      dlclose(lib);
      GTEST_SKIP() << "libnotify is installed: the bubble would be shown";
    }
  class HostDialog : public LDialog {
  public:
    HostDialog() : LDialog("Host") {}
    int oks = 0;

  protected:
    void BuildControls(GtkWidget* box) override
    {
      gtk_box_pack_start(GTK_BOX(box), AddControl(5, gtk_entry_new()), FALSE, FALSE, 0);
      SetControlText(5, "   ");
    }
    bool CmOk() override
    {
      ++oks;
      char host[260];
      GetControlText(5, host, sizeof host);
      if (g_strstrip(host)[0] != '\0')
        return true;
      PopupControlDataInvalid(5, "Please enter the known host or static IP", "Velorin");
      SetControlText(5, "example.org");
      return false;
    }
  };
  // OK pressed twice: first with spaces only, then with a host.
  HostDialog dialog;
  LScript script;
  auto ok = [](GtkWindow* w) { return Respond(w, GTK_RESPONSE_OK), true; };
  script.On("Host", ok).Answer(GTK_RESPONSE_CLOSE).On("Host", ok);
  EXPECT_EQ(dialog.Run(nullptr), kIdOk);
  EXPECT_EQ(dialog.oks, 2);
  ASSERT_EQ(script.boxes.size(), 1u);
  EXPECT_EQ(script.boxes[0].title, "Velorin");
  EXPECT_EQ(script.boxes[0].heading, "Velorin");
  EXPECT_EQ(script.boxes[0].body, "Please enter the known host or static IP");
  EXPECT_FALSE(script.boxes[0].iconShown);
}

// A chosen file gone before Open is refused; the chooser stays open.
TEST_F(Dialogs, OpenOnAFileThatIsGoneIsRefusedAndTheChooserStaysOpen)
{
  char path[260] = "/tmp/banner.jpg";
  std::ofstream(path) << "jpeg";
  LScript script;
  script.On("Browse for Banner", [&](GtkWindow* chooser) {
    gchar* selected = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser));
    const bool ready = selected != nullptr && std::string(selected) == path;
    g_free(selected);
    if (ready && unlink(path) == 0)
      Respond(chooser, GTK_RESPONSE_ACCEPT);
    return ready;
  });
  script.Answer(GTK_RESPONSE_CLOSE).On("Browse for Banner", [](GtkWindow* w) {
    return Respond(w, GTK_RESPONSE_CANCEL), true;
  });
  EXPECT_FALSE(LBrowseReadFilePath(nullptr, path, "Browse for Banner", "/tmp", "Banner\0*.jpg\0\0"));
  EXPECT_EQ(script.Pending(), "") << "the chooser must stay open after the refusal";
  ASSERT_EQ(script.boxes.size(), 1u);
  EXPECT_EQ(script.boxes[0].heading, "The File /tmp/banner.jpg is not valid. Please choose another file.");
  EXPECT_STREQ(path, "/tmp/banner.jpg");
}

// The folder of a multiple choice is remembered even when cancelled.
TEST_F(Dialogs, MultipleChoiceRemembersItsFolderEvenWhenCancelled)
{
  for (auto [start, stored] : {std::pair{"", "file:/media"}, std::pair{"/tmp", "/tmp"}}) {
    SCOPED_TRACE(start);
    char folder[260];
    std::snprintf(folder, sizeof folder, "%s", start);
    std::vector<std::string> paths;
    LScript script;
    script.On("Add Files", [](GtkWindow* w) { return Respond(w, GTK_RESPONSE_CANCEL), true; });
    EXPECT_FALSE(LBrowseMultipleReadFiles(nullptr, paths, "Add Files", folder, "Audio\0*.wav;*.mp3\0\0"));
    EXPECT_TRUE(paths.empty());
    char remembered[260];
    LUserSettingGetString("Settings", "Multiple", "", remembered);
    EXPECT_STREQ(remembered, stored);
  }
}

}  // namespace
