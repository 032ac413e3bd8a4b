// The Recordings page adding real files through the file chooser, the raw
// settings question and the progress dialog, with the encoder component
// that tests/isolate installs.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/mp3check.h"
#include "gui/rawsettingsdlg.h"
#include "gui/settingsdriver.h"
#include "gui/setdlg.h"
#include "gui/setdlgrecordings.h"
#include "settings/settings.h"
#include "sound/recordings.h"
#include "sound/soxfiles.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;
namespace fs = std::filesystem;

std::string Recording(bool high, const std::string& name)
{
  char folder[260];
  return std::string(high ? LRecordingsGetHighFolder(folder) : LRecordingsGetLowFolder(folder)) + "/" + name + ".mp3";
}

// A main loop timer that acts once `ready` answers true.
struct LWhen {
  std::function<bool()> ready;
  std::function<void()> act;
  guint timer = 0;

  void Start() { timer = g_timeout_add(10, Tick, this); }
  ~LWhen()
  {
    if (timer != 0)
      g_source_remove(timer);
  }
  static gboolean Tick(gpointer self)
  {
    auto* when = static_cast<LWhen*>(self);
    if (!when->ready())
      return TRUE;
    when->timer = 0;
    when->act();
    return FALSE;
  }
};

class RecordingsPageTest : public LGtkTest {
protected:
  void SetUp() override
  {
    LGtkTest::SetUp();
    // The library is the two folders, which outlive a test in this process.
    for (bool high : {true, false})
      fs::remove_all(fs::path(Recording(high, "x")).parent_path());
    LSettingSet(VLKeys::BroadBandKBPS, 56);
    LSettingSet(VLKeys::DialUpKBPS, 24);
    fs::create_directory(Picked(""));
    LSettingSet(VLKeys::UserMultiple, Picked("").c_str());
  }

  // The folder the chooser opens in, holding just the files to add.
  std::string Picked(const std::string& name) const { return dir_ / ("add/" + name); }

  std::string Tone(const std::string& path, int rate, int channels, double frequency, int seconds)
  {
    soxtest::Sox({"-n", "-r", std::to_string(rate), "-c", std::to_string(channels), "-b", "16", path, "synth",
                  std::to_string(seconds), "sine", std::to_string(frequency)});
    return path;
  }

  // Opens the sheet, presses Add and chooses every file of the chooser's
  // folder once it has loaded it (`count` of them); the page's list
  // afterwards goes to `rows`.
  void AddThroughPage(std::size_t count, LModalScript& script, Rows& rows)
  {
    script.On("Velorin Settings", [&](GtkWindow* w) {
      Click(w, kIdRecAdd);
      rows = ListRows(w, kIdRecList);
      std::sort(rows.begin(), rows.end());
      Respond(w, GTK_RESPONSE_OK);
    });
    script.On("Add Files", [this, count](GtkWindow* chooser) {
      pick_.ready = [chooser, count] {
        GtkWidget* list = FindWidget(GTK_WIDGET(chooser), [](GtkWidget* w) {
          return GTK_IS_TREE_VIEW(w) &&
                 gtk_tree_selection_get_mode(gtk_tree_view_get_selection(GTK_TREE_VIEW(w))) == GTK_SELECTION_MULTIPLE;
        });
        if (list != nullptr)
          gtk_tree_selection_select_all(gtk_tree_view_get_selection(GTK_TREE_VIEW(list)));
        GSList* chosen = gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(chooser));
        guint n = g_slist_length(chosen);
        g_slist_free_full(chosen, g_free);
        return n >= count;
      };
      pick_.act = [chooser] { Respond(chooser, GTK_RESPONSE_ACCEPT); };
      pick_.Start();
    });
  }

  soxtest::TempDir dir_;
  LWhen pick_;
};

} // namespace

// A WAV and an MP3 above both rates become a recording each, at both
// rates, decodable with their tones; the page lists them afterwards.
TEST_F(RecordingsPageTest, AddsWavAndMp3AtBothRates)
{
  Tone(Picked("talk.wav"), 44100, 2, 440, 2);
  std::string source = Tone(dir_ / "song-source.wav", 44100, 1, 660, 2);
  ASSERT_EQ(soxtest::Run({"lame", "--quiet", "-b", "128", source, Picked("song.mp3")}), 0);

  LModalScript script;
  Rows rows;
  bool progressShown = false;
  AddThroughPage(2, script, rows);
  script.On("Velorin", [&](GtkWindow*) { progressShown = true; });
  EXPECT_TRUE(RunSettingsDialog(nullptr));
  EXPECT_EQ(script.Pending(), "");
  EXPECT_TRUE(progressShown);
  EXPECT_EQ(Shown(), std::vector<std::string>{});
  EXPECT_EQ(rows, (Rows{{"song"}, {"talk"}}));
  for (bool high : {true, false}) {
    for (auto [name, tone] : {std::pair{"talk", 440.0}, std::pair{"song", 660.0}}) {
      SCOPED_TRACE(Recording(high, name));
      std::vector<int16_t> samples = DecodeMp3File(Recording(high, name));
      ASSERT_GT(samples.size(), 44100u);
      EXPECT_NEAR(ToneFrequency(samples, 44100, 4410, samples.size() - 4410), tone, tone * 0.02);
    }
  }
  char folder[260];
  LSettingGet(VLKeys::UserMultiple, folder);
  EXPECT_EQ(std::string(folder) + "/", Picked(""));
}

// Cancel, pressed once the encoder has begun writing a long file, deletes
// what was begun of both rates and lists nothing.
TEST_F(RecordingsPageTest, CancelDuringALongFileLeavesNoPartialFile)
{
  Tone(Picked("long.wav"), 8000, 1, 500, 900);
  LModalScript script;
  Rows rows;
  AddThroughPage(1, script, rows);
  bool partialSeen = false;
  // A timer that the progress dialog runs between blocks of the conversion.
  LWhen cancel;
  script.On("Velorin", [&](GtkWindow* progress) {
    GtkWidget* button = FindWidget(GTK_WIDGET(progress), [](GtkWidget* w) {
      return GTK_IS_BUTTON(w) && gtk_button_get_label(GTK_BUTTON(w)) == std::string(GTK_STOCK_CANCEL);
    });
    ASSERT_NE(button, nullptr);
    cancel.ready = [&] { return partialSeen = fs::exists(Recording(true, "long")); };
    cancel.act = [button] { gtk_button_clicked(GTK_BUTTON(button)); };
    cancel.Start();
  });
  EXPECT_TRUE(RunSettingsDialog(nullptr));
  EXPECT_EQ(script.Pending(), "");
  EXPECT_TRUE(partialSeen);
  EXPECT_EQ(Shown(), std::vector<std::string>{});
  EXPECT_FALSE(fs::exists(Recording(true, "long")));
  EXPECT_FALSE(fs::exists(Recording(false, "long")));
  EXPECT_EQ(rows, Rows{});
}

// A raw file asks for its format once; cancelling that question converts
// nothing of the selection, confirming it stores the format and converts.
TEST_F(RecordingsPageTest, RawFileAsksForItsFormatFirst)
{
  soxtest::Sox({"-n", "-r", "8000", "-c", "2", "-b", "16", "-e", "signed-integer", "-t", "raw",
                Picked("dictation.raw"), "synth", "2", "sine", "440"});
  Tone(Picked("other.wav"), 22050, 1, 440, 1);
  for (bool confirm : {false, true}) {
    SCOPED_TRACE(confirm ? "confirmed" : "cancelled");
    LSettingSet(VLKeys::RawSampleRate, 44100);
    LSettingSet(VLKeys::RawChannels, 1);
    LModalScript script;
    Rows rows;
    AddThroughPage(2, script, rows);
    script.On("Audio File Settings", [&](GtkWindow* d) {
      EXPECT_EQ(ComboText(d, kIdRawRate) + " " + ComboText(d, kIdRawChannels), "44100 Mono");
      SetCombo(d, kIdRawRate, "8000");
      SetCombo(d, kIdRawChannels, "Stereo");
      SetCombo(d, kIdRawCodec, "16 bit PCM (Intel Endian)");
      Respond(d, confirm ? GTK_RESPONSE_OK : GTK_RESPONSE_CANCEL);
    });
    EXPECT_TRUE(RunSettingsDialog(nullptr));
    EXPECT_EQ(script.Pending(), "");
    EXPECT_EQ(rows, confirm ? (Rows{{"dictation"}, {"other"}}) : Rows{});
    EXPECT_EQ(LSettingGet(VLKeys::RawSampleRate), confirm ? 8000 : 44100);
    EXPECT_EQ(LSettingGet(VLKeys::RawChannels), confirm ? 2 : 1);
  }
  std::vector<int16_t> samples = DecodeMp3File(Recording(true, "dictation"));
  ASSERT_GT(samples.size(), 44100u);
  EXPECT_NEAR(ToneFrequency(samples, 44100, 4410, samples.size() - 4410), 440, 9);
}
