// The desktop's message boxes and modal dialogs, in process on the virtual
// display.
#include "app/messagebox.h"
#include "gui/dialog.h"
#include "gui/messagebox.h"
#include "gui/dialoganswerer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <dlfcn.h>
#include <thread>
#include <functional>
#include <string>
#include <vector>

namespace {

class MessageBoxes : public ::testing::Test {
protected:
  static void SetUpTestSuite()
  {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no display";
    LInstallGtkMessageBoxes();
  }
};

TEST_F(MessageBoxes, EachBoxIsTitledVelorinWithItsIconAndButtons)
{
  struct Case {
    const char* name;
    std::function<void()> show;
    GtkMessageType type;
    std::vector<std::string> buttons;
    bool iconShown;
  };
  const std::vector<Case> cases = {
      {"info", [] { PopupBoxInfo(nullptr, "body", "Heading"); }, GTK_MESSAGE_INFO, {"gtk-close"}, true},
      {"no icon", [] { PopupBoxInfoNoIcon(nullptr, "body", "Heading"); }, GTK_MESSAGE_OTHER, {"gtk-close"}, false},
      {"query", [] { EXPECT_TRUE(PopupBoxQueryYes(nullptr, "body", "Heading")); }, GTK_MESSAGE_QUESTION,
       {"gtk-yes", "gtk-no"}, true},
      {"error", [] { PopupBoxError(nullptr, "body"); }, GTK_MESSAGE_ERROR, {"gtk-close"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DialogAnswerer answer({GTK_RESPONSE_YES});
    c.show();
    ASSERT_EQ(answer.Count(), 1);
    EXPECT_EQ(answer.Seen().title, "Velorin");
    EXPECT_EQ(answer.Seen().type, c.type);
    EXPECT_EQ(answer.Seen().buttons, c.buttons);
    EXPECT_EQ(answer.Seen().iconShown, c.iconShown);
    // The error box has one text; the others a heading over the body.
    EXPECT_EQ(answer.Seen().heading, c.type == GTK_MESSAGE_ERROR ? "body" : "Heading");
  }
  for (gint response : {GTK_RESPONSE_NO, GTK_RESPONSE_DELETE_EVENT}) {
    DialogAnswerer answer({response});
    EXPECT_FALSE(PopupBoxQueryYes(nullptr, "body", "Heading")) << "No and closing the box are not Yes";
  }
}

// A capture thread that cannot open its card asks from its own thread: the
// main loop shows the box and the thread gets the answer.
TEST_F(MessageBoxes, BoxAskedOnAWorkerThreadIsShownByTheMainLoop)
{
  DialogAnswerer answer({GTK_RESPONSE_YES});
  std::atomic<int> result{-1};
  std::thread worker([&] { result = PopupBoxQueryYes(nullptr, "body", "From a worker") ? 1 : 0; });
  while (result < 0)
    gtk_main_iteration_do(FALSE) || (g_usleep(1000), true);
  worker.join();
  EXPECT_EQ(result, 1);
  EXPECT_EQ(answer.Seen().heading, "From a worker");
}

TEST_F(MessageBoxes, ConfirmStopAnswersYesNoOrCancel)
{
  const std::vector<std::pair<gint, LAnswer>> cases = {
      {GTK_RESPONSE_YES, LAnswer::Yes},
      {GTK_RESPONSE_NO, LAnswer::No},
      {GTK_RESPONSE_CANCEL, LAnswer::Cancel},
      {GTK_RESPONSE_DELETE_EVENT, LAnswer::Cancel},
  };
  for (const auto& [response, answer] : cases) {
    DialogAnswerer answerer({response});
    EXPECT_EQ(PopupBoxQueryYesNoCancel(nullptr, "Do you want?", "Confirm Stop"), answer);
    EXPECT_EQ(answerer.Seen().buttons, (std::vector<std::string>{"gtk-yes", "gtk-no", "gtk-cancel"}));
  }
}

// Without libnotify the validation message is a box without icon, and the
// dialog stays open until its data is valid.
TEST_F(MessageBoxes, InvalidDataWithoutLibnotifyShowsABoxAndKeepsTheDialogOpen)
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
      // Pressed OK twice: first with spaces only, then with a host.
      g_timeout_add(50, &PressOk, this);
    }
    bool CmOk() override
    {
      ++oks;
      char host[260];
      GetControlText(5, host, sizeof host);
      if (g_strstrip(host)[0] == '\0') {
        PopupControlDataInvalid(5, "Please enter the known host or static IP", "Velorin");
        SetControlText(5, "example.org");
        g_timeout_add(50, &PressOk, this);
        return false;
      }
      return true;
    }

  private:
    static gboolean PressOk(gpointer self)
    {
      auto* d = static_cast<HostDialog*>(self);
      if (d->GetGtkWindow() != nullptr)
        gtk_dialog_response(GTK_DIALOG(d->GetGtkWindow()), GTK_RESPONSE_OK);
      return FALSE;
    }
  };

  HostDialog dialog;
  DialogAnswerer answer({GTK_RESPONSE_CLOSE});
  EXPECT_EQ(dialog.Run(nullptr), kIdOk);
  EXPECT_EQ(dialog.oks, 2);
  ASSERT_EQ(answer.Count(), 1);
  EXPECT_EQ(answer.Seen().title, "Velorin");
  EXPECT_EQ(answer.Seen().heading, "Velorin");
  EXPECT_EQ(answer.Seen().body, "Please enter the known host or static IP");
  EXPECT_FALSE(answer.Seen().iconShown);
}

} // namespace
