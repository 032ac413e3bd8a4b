// The file choosers, in process on the virtual display: a name that is not
// an existing file is refused and the chooser stays open; the folder of a
// multiple choice is remembered whatever the answer.
#include "gui/boxanswerer.h"
#include "gui/filedialog.h"
#include "gui/messagebox.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace {

// Answers each visible file chooser in turn with the next response; the
// first only once `ready` says so.
class ChooserAnswerer {
public:
  explicit ChooserAnswerer(std::vector<gint> responses,
                           std::function<bool(GtkFileChooser*)> ready = [](GtkFileChooser*) { return true; })
      : responses_(std::move(responses)), ready_(std::move(ready))
  {
    timer_ = g_timeout_add(50, &Tick, this);
  }
  ~ChooserAnswerer() { g_source_remove(timer_); }
  size_t Answered() const { return next_; }

private:
  static gboolean Tick(gpointer self)
  {
    auto* a = static_cast<ChooserAnswerer*>(self);
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w != nullptr; w = w->next)
      if (GTK_IS_FILE_CHOOSER_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data)) &&
          a->next_ < a->responses_.size() && !a->BoxOpen(windows) &&
          (a->next_ > 0 || a->ready_(GTK_FILE_CHOOSER(w->data)))) {
        gtk_dialog_response(GTK_DIALOG(w->data), a->responses_[a->next_++]);
        break;
      }
    g_list_free(windows);
    return TRUE;
  }
  // While a message box is up the chooser waits for it.
  bool BoxOpen(GList* windows) const
  {
    for (GList* w = windows; w != nullptr; w = w->next)
      if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data)))
        return true;
    return false;
  }

  std::vector<gint> responses_;
  std::function<bool(GtkFileChooser*)> ready_;
  size_t next_ = 0;
  guint timer_ = 0;
};

class FileDialogs : public ::testing::Test {
protected:
  static void SetUpTestSuite()
  {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no display";
    LInstallGtkMessageBoxes();
  }
};

// The chosen file vanishes before Open: refused with a message, and the
// chooser stays open for another choice.
TEST_F(FileDialogs, OpenOnAFileThatIsGoneIsRefusedAndTheChooserStaysOpen)
{
  char path[260] = "/tmp/banner.jpg";
  std::ofstream(path) << "jpeg";
  BoxAnswerer box(GTK_RESPONSE_CLOSE);
  ChooserAnswerer chooser({GTK_RESPONSE_ACCEPT, GTK_RESPONSE_CANCEL}, [&](GtkFileChooser* c) {
    gchar* selected = gtk_file_chooser_get_filename(c);
    bool ready = selected != nullptr && std::string(selected) == path;
    g_free(selected);
    if (ready)
      unlink(path);
    return ready;
  });
  EXPECT_FALSE(LBrowseReadFilePath(nullptr, path, "Browse for Banner", "/tmp", "Banner\0*.jpg\0\0"));
  EXPECT_EQ(chooser.Answered(), 2u) << "the chooser must stay open after the refusal";
  ASSERT_EQ(box.Count(), 1);
  EXPECT_EQ(box.Seen().heading, "The File /tmp/banner.jpg is not valid. Please choose another file.");
  EXPECT_STREQ(path, "/tmp/banner.jpg");
}

TEST_F(FileDialogs, MultipleChoiceRemembersItsFolderEvenWhenCancelled)
{
  struct Case {
    const char* folder;
    const char* stored;
  };
  const Case cases[] = {
      {"", "file:/media"}, // nothing stored yet: the default start folder
      {"/tmp", "/tmp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    char folder[260];
    std::snprintf(folder, sizeof folder, "%s", c.folder);
    std::vector<std::string> paths;
    ChooserAnswerer chooser({GTK_RESPONSE_CANCEL});
    EXPECT_FALSE(LBrowseMultipleReadFiles(nullptr, paths, "Add Files", folder, "Audio\0*.wav;*.mp3\0\0"));
    EXPECT_TRUE(paths.empty());
    char stored[260];
    LUserSettingGetString("Settings", "Multiple", "", stored);
    EXPECT_STREQ(stored, c.stored);
  }
}

} // namespace
