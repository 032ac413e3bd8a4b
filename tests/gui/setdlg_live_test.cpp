// The Live page and the stream input dialog over test sound cards: the
// list, the limits on adding and removing inputs, and devices already in
// use.  The buttons write at once, so their changes outlive a cancelled
// sheet.
#include <string>
#include <vector>

#include "gui/livesources.h"
#include "gui/settingsdriver.h"
#include "gui/setdlg.h"
#include "gui/setdlglive.h"
#include "gui/sourcesettingsdlg.h"
#include "settings/settings.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr const char* kTooMany =
    "You cannot add any more streaming audio sources as you have reached the maximum allowed.";
constexpr const char* kInUse = "This device is already being used. Please choose another record device.";

class LivePageTest : public LGtkTest {
protected:
  void SetUp() override
  {
    LGtkTest::SetUp();
    // Card 2 is missing: the chooser must still store the card chosen.
    TestAlsaSetCard(0, "silence", nullptr, "Line In A");
    TestAlsaSetCard(1, "silence", nullptr, "Line In B");
    TestAlsaSetCard(3, "silence", nullptr, "USB Mic");
  }

  // Inputs 1..n named and placed on the given cards.
  static void StoreInputs(const std::vector<std::pair<const char*, int>>& inputs)
  {
    LLiveSetSourceCount(static_cast<int>(inputs.size()));
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      int n = static_cast<int>(i) + 1;
      LSettingSet(VLKeys::LiveName, n, inputs[i].first);
      LSoundRecordDevice device;
      device.SetListNumber(inputs[i].second);
      LLiveSetDevice(n, device);
    }
  }

  static std::string DeviceName(int number)
  {
    char name[260];
    LLiveGetDeviceName(number, name);
    return name;
  }
};

} // namespace

TEST_F(LivePageTest, ListsInputsAndEditsTheSelectedOne)
{
  StoreInputs({{"Studio", 0}, {"", 1}});
  LModalScript script;
  script.On("Velorin Settings", [&](GtkWindow* w) {
    EXPECT_EQ(ListRows(w, kIdLiveList), (Rows{{"Studio", "Line In A"}, {"Velorin Live 2", "Line In B"}}));
    SelectRow(w, kIdLiveList, 1);
    Click(w, kIdLiveEdit);
    EXPECT_EQ(ListRows(w, kIdLiveList), (Rows{{"Studio", "Line In A"}, {"Hall", "USB Mic"}}));
    Respond(w, GTK_RESPONSE_OK);
  });
  script.On("Stream Input Settings", [&](GtkWindow* d) {
    EXPECT_EQ(EntryText(d, kIdSourceName), "Velorin Live 2");
    EXPECT_EQ(ComboText(d, kIdSourceDevice), "Line In B");
    gtk_entry_set_text(GTK_ENTRY(FindControl(d, kIdSourceName)), " Hall ");
    SetCombo(d, kIdSourceDevice, "USB Mic");
    Respond(d, GTK_RESPONSE_OK);
  });
  EXPECT_TRUE(RunSettingsDialog(nullptr));
  EXPECT_TRUE(script.Done()) << script.Pending();
  char name[260];
  LSettingGet(VLKeys::LiveName, 2, name);
  EXPECT_STREQ(name, "Hall");
  // Card 3 behind a gap in the numbering: stored by its own name.
  EXPECT_EQ(DeviceName(2), "USB Mic");
  EXPECT_EQ(LLiveGetDevice(2).GetListNumber(), 3);
}

// Each case clicks one button of the page; the stream input dialog, when
// the case opens one, is filled and confirmed, refused or cancelled.
TEST_F(LivePageTest, AddAndRemoveKeepTheirLimits)
{
  struct Case {
    const char* name;
    int sources;
    int button;
    // The dialog's steps: name and device typed, then OK (a refused OK is
    // followed by Cancel); null name: no dialog expected.
    const char* typed;
    const char* device;
    bool questionYes;  // answer to "Confirm Removal", when asked
    bool asked;
    std::vector<std::string> boxes;
    int sourcesAfter;
  };
  const Case cases[] = {
      {"ninth refused", 8, kIdLiveAdd, nullptr, nullptr, false, false, {kTooMany}, 8},
      {"add on a free card", 1, kIdLiveAdd, "Hall", "Line In B", false, false, {}, 2},
      {"add on a used card refused", 1, kIdLiveAdd, "Hall", "Line In A", false, false, {kInUse}, 1},
      {"empty name refused", 1, kIdLiveAdd, "   ", "Line In B", false, false,
       {"Please enter the name of the stream"}, 1},
      {"remove last asks, No keeps it", 1, kIdLiveRemove, nullptr, nullptr, false, true, {}, 1},
      {"remove last asks, Yes removes it", 1, kIdLiveRemove, nullptr, nullptr, true, true, {}, 0},
      {"remove of two does not ask", 2, kIdLiveRemove, nullptr, nullptr, false, false, {}, 1},
      {"remove of none does nothing", 0, kIdLiveRemove, nullptr, nullptr, false, false, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::pair<const char*, int>> inputs = {{"One", 0}, {"Two", 1}};
    inputs.resize(static_cast<std::size_t>(c.sources), {"More", 15});
    StoreInputs(inputs);
    boxes_.shown.clear();
    LModalScript script;
    script.On("Velorin Settings", [&](GtkWindow* w) {
      Click(w, c.button);
      // Cancelling the sheet keeps what the buttons wrote.
      Respond(w, GTK_RESPONSE_CANCEL);
    });
    if (c.typed != nullptr) {
      script.On("Stream Input Settings", [&](GtkWindow* d) {
        gtk_entry_set_text(GTK_ENTRY(FindControl(d, kIdSourceName)), c.typed);
        SetCombo(d, kIdSourceDevice, c.device);
        Respond(d, GTK_RESPONSE_OK);
      });
      if (!c.boxes.empty())
        script.On("Stream Input Settings", [&](GtkWindow* d) { Respond(d, GTK_RESPONSE_CANCEL); });
    }
    if (c.asked) {
      script.OnBox([&](GtkWindow* box) {
        Respond(box, c.questionYes ? GTK_RESPONSE_YES : GTK_RESPONSE_NO);
      });
    }
    EXPECT_FALSE(RunSettingsDialog(nullptr));
    EXPECT_TRUE(script.Done()) << script.Pending();
    EXPECT_EQ(Shown(), c.boxes);
    EXPECT_EQ(LLiveGetSourceCount(), c.sourcesAfter);
  }
  // The input added on a free card (then removed again) keeps its values.
  char name[260];
  LSettingGet(VLKeys::LiveName, 2, name);
  EXPECT_STREQ(name, "Two");
}

// Editing input 2 onto input 1's card is refused; keeping its own card is
// accepted.
TEST_F(LivePageTest, EditRefusesAnotherInputsDeviceButKeepsItsOwn)
{
  StoreInputs({{"One", 0}, {"Two", 1}});
  LModalScript script;
  script.On("Velorin Settings", [&](GtkWindow* w) {
    SelectRow(w, kIdLiveList, 1);
    Click(w, kIdLiveEdit);
    Respond(w, GTK_RESPONSE_OK);
  });
  script.On("Stream Input Settings", [&](GtkWindow* d) {
    SetCombo(d, kIdSourceDevice, "Line In A");
    Respond(d, GTK_RESPONSE_OK);
  });
  script.On("Stream Input Settings", [&](GtkWindow* d) {
    EXPECT_EQ(Shown(), std::vector<std::string>{kInUse});
    SetCombo(d, kIdSourceDevice, "Line In B");
    Respond(d, GTK_RESPONSE_OK);
  });
  EXPECT_TRUE(RunSettingsDialog(nullptr));
  EXPECT_TRUE(script.Done()) << script.Pending();
  EXPECT_EQ(Shown().size(), 1u);
  EXPECT_EQ(DeviceName(1), "Line In A");
  EXPECT_EQ(DeviceName(2), "Line In B");
}
