// The file choosers, in process on the virtual display: a name that is not
// an existing file is refused and the chooser stays open; the folder of a
// multiple choice is remembered whatever the answer.
#include "gui/dialoganswerer.h"
#include "gui/filedialog.h"
#include "gui/messagebox.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace {

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
  DialogAnswerer box({GTK_RESPONSE_CLOSE});
  DialogAnswerer chooser({GTK_RESPONSE_ACCEPT, GTK_RESPONSE_CANCEL}, GTK_TYPE_FILE_CHOOSER_DIALOG, [&](GtkWidget* c) {
    gchar* selected = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(c));
    bool ready = selected != nullptr && std::string(selected) == path;
    g_free(selected);
    if (ready)
      unlink(path);
    return ready;
  });
  EXPECT_FALSE(LBrowseReadFilePath(nullptr, path, "Browse for Banner", "/tmp", "Banner\0*.jpg\0\0"));
  EXPECT_EQ(chooser.Count(), 2) << "the chooser must stay open after the refusal";
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
    DialogAnswerer chooser({GTK_RESPONSE_CANCEL}, GTK_TYPE_FILE_CHOOSER_DIALOG);
    EXPECT_FALSE(LBrowseMultipleReadFiles(nullptr, paths, "Add Files", folder, "Audio\0*.wav;*.mp3\0\0"));
    EXPECT_TRUE(paths.empty());
    char stored[260];
    LUserSettingGetString("Settings", "Multiple", "", stored);
    EXPECT_STREQ(stored, c.stored);
  }
}

} // namespace
