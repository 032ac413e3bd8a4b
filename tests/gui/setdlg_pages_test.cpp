// The settings dialog's General and Other pages and the start-mode
// controls, driven through the real sheet on the virtual display.
#include <functional>
#include <string>

#include "gui/settingsdriver.h"
#include "gui/setdlg.h"
#include "gui/setdlggeneral.h"
#include "gui/setdlgother.h"
#include "settings/settings.h"

namespace {

using Texts = std::vector<std::string>;

std::string Stored(const LSettingKeyString& key)
{
  char text[260];
  LSettingGet(key, text);
  return text;
}

GtkSpinButton* Port(GtkWindow* w) { return GTK_SPIN_BUTTON(FindControl(w, kIdGenPort)); }
bool Sensitive(GtkWindow* w, int id) { return gtk_widget_get_sensitive(FindControl(w, id)); }

struct LPageCase {
  const char* name;
  std::function<void()> store;
  // Checks what the page shows, then edits it.
  std::function<void(GtkWindow*)> showAndEdit;
  std::function<void()> verify;
};

void PrintTo(const LPageCase& c, std::ostream* os) { *os << c.name; }

const LPageCase kPageCases[] = {
    {"GeneralDirectToKnownHost",
     [] {
       LSettingSet(VLKeys::WebServerPort, 8000);
       LSettingSet(VLKeys::WebAccessHostKnown, false);
       LSettingSet(VLKeys::WebAccessHost, "old.example");
       LSettingSet(VLKeys::DialUpKBPS, 16);
       LSettingSet(VLKeys::BroadBandKBPS, 128);
     },
     [](GtkWindow* w) {
       EXPECT_EQ(gtk_spin_button_get_value_as_int(Port(w)), 8000);
       EXPECT_TRUE(IsChecked(w, kIdGenDirect));
       EXPECT_EQ(EntryText(w, kIdGenHost), "old.example");
       EXPECT_FALSE(Sensitive(w, kIdGenHost));
       EXPECT_EQ(ComboText(w, kIdGenDialUp) + " " + ComboText(w, kIdGenBroadBand), "16 128");
       gtk_spin_button_set_value(Port(w), 8100);
       Click(w, kIdGenHostKnown);
       EXPECT_TRUE(Sensitive(w, kIdGenHost));
       SetText(w, kIdGenHost, "  radio.example  ");
       SetCombo(w, kIdGenDialUp, "32");
       SetCombo(w, kIdGenBroadBand, "64");
     },
     [] {
       EXPECT_EQ(LSettingGet(VLKeys::WebServerPort), 8100);
       EXPECT_TRUE(LSettingGet(VLKeys::WebAccessHostKnown));
       EXPECT_EQ(Stored(VLKeys::WebAccessHost), "radio.example");
       EXPECT_EQ(LSettingGet(VLKeys::DialUpKBPS), 32);
       EXPECT_EQ(LSettingGet(VLKeys::BroadBandKBPS), 64);
     }},
    // Port 0 means 1085; the input stops at 64535; a stored rate that is
    // no choice shows no selection and is kept rather than written as 0.
    {"GeneralPortBoundsAndUnlistedRate",
     [] {
       LSettingSet(VLKeys::WebServerPort, 0);
       LSettingSet(VLKeys::WebAccessHostKnown, true);
       LSettingSet(VLKeys::DialUpKBPS, 33);
     },
     [](GtkWindow* w) {
       EXPECT_EQ(gtk_spin_button_get_value_as_int(Port(w)), 1085);
       EXPECT_TRUE(IsChecked(w, kIdGenHostKnown));
       EXPECT_EQ(ComboText(w, kIdGenDialUp), "");
       gtk_spin_button_set_value(Port(w), 65535);
       Click(w, kIdGenDirect);
     },
     [] {
       EXPECT_EQ(LSettingGet(VLKeys::WebServerPort), 64535);
       EXPECT_FALSE(LSettingGet(VLKeys::WebAccessHostKnown));
       EXPECT_EQ(LSettingGet(VLKeys::DialUpKBPS), 33);
     }},
    {"OtherDefaultToCustomBanner",
     [] {
       LSettingSet(VLKeys::CustomASXBanner, false);
       LSettingSet(VLKeys::CustomASXBannerPath, "/a/b.jpg");
     },
     [](GtkWindow* w) {
       EXPECT_TRUE(IsChecked(w, kIdOtherDefaultBanner));
       EXPECT_EQ(EntryText(w, kIdOtherPath), "/a/b.jpg");
       EXPECT_EQ(EntryText(w, kIdOtherURL), VLKeys::CustomASXBannerURLPage.def);
       for (bool custom : {false, true}) {
         for (int id : {kIdOtherPath, kIdOtherBrowse, kIdOtherURL})
           EXPECT_EQ(Sensitive(w, id), custom) << id;
         Click(w, kIdOtherCustomBanner);
       }
       SetText(w, kIdOtherPath, " /srv/banner.jpg");
       SetText(w, kIdOtherURL, "  http://listen.example/  ");
     },
     [] {
       EXPECT_TRUE(LSettingGet(VLKeys::CustomASXBanner));
       EXPECT_EQ(Stored(VLKeys::CustomASXBannerPath), " /srv/banner.jpg"); // as entered
       EXPECT_EQ(Stored(VLKeys::CustomASXBannerURL), "http://listen.example/");
     }},
};

class SettingsPagesTest : public LGtkTest, public testing::WithParamInterface<LPageCase> {};
class SettingsDialogTest : public LGtkTest {};

} // namespace

TEST_P(SettingsPagesTest, ShowsStoredSettingsAndWritesEditsOnOk)
{
  const LPageCase& c = GetParam();
  c.store();
  LModalScript script;
  script.On("Velorin Settings", [&](GtkWindow* w) {
    c.showAndEdit(w);
    Respond(w, GTK_RESPONSE_OK);
  });
  EXPECT_TRUE(RunSettingsDialog(nullptr));
  EXPECT_EQ(script.Pending(), "");
  EXPECT_EQ(Shown(), Texts{});
  c.verify();
}

INSTANTIATE_TEST_SUITE_P(Pages, SettingsPagesTest, testing::ValuesIn(kPageCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A known host of only spaces is refused against the host input; the
// sheet stays open and nothing of the page is written, even once cancelled.
TEST_F(SettingsDialogTest, HostOfOnlySpacesIsRefused)
{
  LSettingSet(VLKeys::WebServerPort, 8000);
  LSettingSet(VLKeys::WebAccessHostKnown, false);
  LSettingSet(VLKeys::WebAccessHost, "old.example");
  LModalScript script;
  script.On("Velorin Settings", [&](GtkWindow* w) {
    gtk_spin_button_set_value(Port(w), 9000);
    Click(w, kIdGenHostKnown);
    SetText(w, kIdGenHost, "   ");
    Respond(w, GTK_RESPONSE_OK);
  });
  script.On("Velorin Settings", [&](GtkWindow* w) {
    EXPECT_EQ(Shown(), Texts{"Please enter the known host or static IP"});
    Respond(w, GTK_RESPONSE_CANCEL);
  });
  EXPECT_FALSE(RunSettingsDialog(nullptr));
  EXPECT_EQ(script.Pending(), "");
  EXPECT_FALSE(LSettingGet(VLKeys::WebAccessHostKnown));
  EXPECT_EQ(Stored(VLKeys::WebAccessHost), "old.example");
  EXPECT_EQ(LSettingGet(VLKeys::WebServerPort), 8000);
}

namespace {

constexpr const char* kAdminText = "To fully install or deactivate this software as a service Administrator Access is "
                                   "required. Please login or run as Administrator and try again.";

} // namespace

// The page applies the modes through the install layer for real: the tests
// of the desktop run with private system folders (tests/isolate-system),
// where no init script is installed, so a mode that starts the service at
// boot cannot be had and the page says so.
TEST_F(SettingsDialogTest, StartModeControlsApplyTheChosenMode)
{
  struct Case {
    bool run, runUser, service; // stored before
    bool check;
    int mode;
    bool adminBox, autoRun, userAutoRun;
    int runMode; // stored RunMode afterwards (2 before)
  };
  const Case cases[] = {
      {false, false, false, true, 0, false, true, false, 0},
      {true, false, false, true, 1, false, false, true, 1},
      {false, true, false, true, 4, true, false, false, 4},
      // Clearing the box stops the boot start and keeps the stored mode.
      {false, false, true, false, 1, false, false, false, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    LSettingSet(VLKeys::AutoRun, c.run);
    LSettingSet(VLKeys::UserAutoRun, c.runUser);
    LSettingSet(VLKeys::ServiceEnabled, c.service);
    LSettingSet(VLKeys::UserRunMode, 2);
    boxes_.shown.clear();
    LModalScript script;
    script.On("Velorin Settings", [&](GtkWindow* w) {
      GtkComboBox* modes = GTK_COMBO_BOX(FindControl(w, kIdGenStartMode));
      EXPECT_EQ(IsChecked(w, kIdGenRunAtStart), c.run || c.runUser || c.service);
      EXPECT_EQ(gtk_combo_box_get_active(modes), 2);
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(FindControl(w, kIdGenRunAtStart)), c.check);
      EXPECT_EQ(Sensitive(w, kIdGenStartMode), c.check);
      gtk_combo_box_set_active(modes, c.mode);
      Respond(w, GTK_RESPONSE_OK);
    });
    EXPECT_TRUE(RunSettingsDialog(nullptr));
    EXPECT_EQ(Shown(), c.adminBox ? Texts{kAdminText} : Texts{});
    EXPECT_EQ(LSettingGet(VLKeys::AutoRun), c.autoRun);
    EXPECT_EQ(LSettingGet(VLKeys::UserAutoRun), c.userAutoRun);
    EXPECT_EQ(LSettingGet(VLKeys::UserRunMode), c.runMode);
    EXPECT_FALSE(LSettingGet(VLKeys::ServiceEnabled));
  }
}
