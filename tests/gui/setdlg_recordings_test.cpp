// The Recordings page adding real files through the file chooser, the raw
// settings question and the progress dialog, with the encoder component
// that tests/isolate installs.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/mp3check.h"
#include "base/stringtools.h"
#include "gui/rawsettingsdlg.h"
#include "gui/settingsdriver.h"
#include "gui/setdlg.h"
#include "gui/setdlgrecordings.h"
#include "settings/settings.h"
#include "sound/recordings.h"
#include "sound/soxfiles.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string RateFolder(bool high)
{
  char folder[260];
  return high ? LRecordingsGetHighFolder(folder) : LRecordingsGetLowFolder(folder);
}

bool Exists(const std::string& path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// The button showing `label` (a stock id) inside `root`.
GtkWidget* FindButton(GtkWidget* root, const char* label)
{
  if (GTK_IS_BUTTON(root)) {
    const gchar* text = gtk_button_get_label(GTK_BUTTON(root));
    if (text != nullptr && std::string(text) == label)
      return root;
  }
  GtkWidget* found = nullptr;
  if (GTK_IS_CONTAINER(root)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(root));
    for (GList* c = children; c != nullptr && found == nullptr; c = c->next)
      found = FindButton(static_cast<GtkWidget*>(c->data), label);
    g_list_free(children);
  }
  return found;
}

class RecordingsPageTest : public LGtkTest {
protected:
  void SetUp() override
  {
    LGtkTest::SetUp();
    // The library is the two folders, which outlive a test in this process.
    for (bool high : {true, false})
      std::filesystem::remove_all(RateFolder(high));
    LSettingSet(VLKeys::BroadBandKBPS, 56);
    LSettingSet(VLKeys::DialUpKBPS, 24);
    mkdir(Picked("").c_str(), 0755);
    LSettingSet(VLKeys::UserMultiple, Picked("").c_str());
  }

  // The folder the chooser opens in, and the files to add, in it.
  std::string Picked(const std::string& name) const { return dir_ / ("add/" + name); }

  std::string Tone(const std::string& path, int rate, int channels, double frequency, int seconds)
  {
    soxtest::Sox({"-n", "-r", std::to_string(rate), "-c", std::to_string(channels), "-b", "16", path, "synth",
                  std::to_string(seconds), "sine", std::to_string(frequency)});
    return path;
  }

  // Opens the sheet, presses Add, chooses `files` in the chooser (which
  // opens in the stored folder) and then runs `more` steps; the sheet's
  // list afterwards goes to `rows`.
  void AddThroughPage(const std::vector<std::string>& files, LModalScript& script, Rows& rows)
  {
    script.On("Velorin Settings", [&](GtkWindow* w) {
      Click(w, kIdRecAdd);
      rows = ListRows(w, kIdRecList);
      Respond(w, GTK_RESPONSE_OK);
    });
    // The chooser opens in the stored folder, which holds just these files,
    // and loads it in the background: select all of its list once loaded.
    script.On("Add Files", [this, files](GtkWindow* chooser) {
      pick_ = {chooser, files.size(), 0};
      pick_.timer = g_timeout_add(20, GSPick, &pick_);
    });
  }

  void TearDown() override
  {
    if (pick_.timer != 0)
      g_source_remove(pick_.timer);
    LGtkTest::TearDown();
  }

  struct Pick {
    GtkWindow* chooser;
    std::size_t count;
    guint timer;
  };

  static GtkTreeView* FileList(GtkWidget* root)
  {
    if (GTK_IS_TREE_VIEW(root) &&
        gtk_tree_selection_get_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(root))) == GTK_SELECTION_MULTIPLE)
      return GTK_TREE_VIEW(root);
    GtkTreeView* found = nullptr;
    if (GTK_IS_CONTAINER(root)) {
      GList* children = gtk_container_get_children(GTK_CONTAINER(root));
      for (GList* c = children; c != nullptr && found == nullptr; c = c->next)
        found = FileList(static_cast<GtkWidget*>(c->data));
      g_list_free(children);
    }
    return found;
  }

  static gboolean GSPick(gpointer data)
  {
    auto* pick = static_cast<Pick*>(data);
    if (GtkTreeView* list = FileList(GTK_WIDGET(pick->chooser)))
      gtk_tree_selection_select_all(gtk_tree_view_get_selection(list));
    GSList* chosen = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(pick->chooser));
    guint count = g_slist_length(chosen);
    g_slist_free_full(chosen, g_free);
    if (count < pick->count)
      return TRUE;
    pick->timer = 0;
    Respond(pick->chooser, GTK_RESPONSE_ACCEPT);
    return FALSE;
  }

  Pick pick_{nullptr, 0, 0};
  soxtest::TempDir dir_;
};

} // namespace

// A WAV and an MP3 above both rates become a recording each, at both
// rates, decodable with their tones; the page lists them afterwards.
TEST_F(RecordingsPageTest, AddsWavAndMp3AtBothRates)
{
  std::string wav = Tone(Picked("talk.wav"), 44100, 2, 440, 2);
  std::string source = Tone(dir_ / "song-source.wav", 44100, 1, 660, 2);
  std::string mp3 = Picked("song.mp3");
  ASSERT_EQ(soxtest::Run({"lame", "--quiet", "-b", "128", source, mp3}), 0);

  LModalScript script;
  Rows rows;
  bool progressShown = false;
  AddThroughPage({wav, mp3}, script, rows);
  script.On("Velorin", [&](GtkWindow*) { progressShown = true; });
  EXPECT_TRUE(RunSettingsDialog(nullptr));
  EXPECT_TRUE(script.Done()) << script.Pending();
  EXPECT_TRUE(progressShown);
  EXPECT_TRUE(Shown().empty());

  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (Rows{{"song"}, {"talk"}}));
  for (bool high : {true, false}) {
    for (auto [name, tone] : {std::pair{"talk", 440.0}, std::pair{"song", 660.0}}) {
      std::string file = RateFolder(high) + "/" + name + ".mp3";
      SCOPED_TRACE(file);
      std::vector<int16_t> samples = DecodeMp3File(file);
      ASSERT_GT(samples.size(), 44100u);
      EXPECT_NEAR(ToneFrequency(samples, 44100, 4410, samples.size() - 4410), tone, tone * 0.02);
    }
  }
  char folder[260];
  LSettingGet(VLKeys::UserMultiple, folder);
  EXPECT_EQ(std::string(folder) + "/", Picked(""));
}

// Cancel while a long file is being encoded: the files of that recording,
// already begun, are deleted and nothing is listed.
TEST_F(RecordingsPageTest, CancelDuringALongFileLeavesNoPartialFile)
{
  std::string wav = Tone(Picked("long.wav"), 8000, 1, 500, 900);
  std::string high = RateFolder(true) + "/long.mp3";
  std::string low = RateFolder(false) + "/long.mp3";

  LModalScript script;
  Rows rows;
  bool partialSeen = false;
  AddThroughPage({wav}, script, rows);
  // Cancel once the encoder has begun writing: a timer that the progress
  // dialog's event handling runs between blocks of the conversion.
  struct Watch {
    std::string file;
    GtkWidget* cancel = nullptr;
    bool* seen;
    static gboolean Tick(gpointer data)
    {
      auto* watch = static_cast<Watch*>(data);
      if (!Exists(watch->file))
        return TRUE;
      *watch->seen = true;
      gtk_button_clicked(GTK_BUTTON(watch->cancel));
      return FALSE;
    }
  } watch{high, nullptr, &partialSeen};
  guint timer = 0;
  script.On("Velorin", [&](GtkWindow* progress) {
    watch.cancel = FindButton(GTK_WIDGET(progress), GTK_STOCK_CANCEL);
    ASSERT_NE(watch.cancel, nullptr);
    timer = g_timeout_add(10, Watch::Tick, &watch);
  });
  EXPECT_TRUE(RunSettingsDialog(nullptr));
  EXPECT_TRUE(script.Done()) << script.Pending();
  if (!partialSeen && timer != 0)
    g_source_remove(timer);
  EXPECT_TRUE(partialSeen);
  EXPECT_EQ(Shown(), std::vector<std::string>{});
  EXPECT_FALSE(Exists(high));
  EXPECT_FALSE(Exists(low));
  EXPECT_TRUE(rows.empty());
}

// A raw file asks for its format once; cancelling that question converts
// nothing of the selection, confirming it stores the format and converts.
TEST_F(RecordingsPageTest, RawFileAsksForItsFormatFirst)
{
  std::string raw = Picked("dictation.raw");
  soxtest::Sox({"-n", "-r", "8000", "-c", "2", "-b", "16", "-e", "signed-integer", "-t", "raw", raw, "synth", "2",
                "sine", "440"});
  std::string wav = Tone(Picked("other.wav"), 22050, 1, 440, 1);
  for (bool confirm : {false, true}) {
    SCOPED_TRACE(confirm ? "confirmed" : "cancelled");
    LSettingSet(VLKeys::RawSampleRate, 44100);
    LSettingSet(VLKeys::RawChannels, 1);
    LModalScript script;
    Rows rows;
    AddThroughPage({raw, wav}, script, rows);
    script.On("Audio File Settings", [&](GtkWindow* d) {
      EXPECT_EQ(ComboText(d, kIdRawRate), "44100");
      EXPECT_EQ(ComboText(d, kIdRawChannels), "Mono");
      SetCombo(d, kIdRawRate, "8000");
      SetCombo(d, kIdRawChannels, "Stereo");
      SetCombo(d, kIdRawCodec, "16 bit PCM (Intel Endian)");
      Respond(d, confirm ? GTK_RESPONSE_OK : GTK_RESPONSE_CANCEL);
    });
    EXPECT_TRUE(RunSettingsDialog(nullptr));
    EXPECT_TRUE(script.Done()) << script.Pending();
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, confirm ? (Rows{{"dictation"}, {"other"}}) : Rows{});
    EXPECT_EQ(LSettingGet(VLKeys::RawSampleRate), confirm ? 8000 : 44100);
    EXPECT_EQ(LSettingGet(VLKeys::RawChannels), confirm ? 2 : 1);
  }
  std::vector<int16_t> samples = DecodeMp3File(RateFolder(true) + "/dictation.mp3");
  ASSERT_GT(samples.size(), 44100u);
  EXPECT_NEAR(ToneFrequency(samples, 44100, 4410, samples.size() - 4410), 440, 9);
}
