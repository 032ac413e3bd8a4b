// The settings dialog's General and Other pages and the start-mode
// controls, driven through the real sheet on the virtual display.
#include <functional>
#include <string>

#include "gui/settingsdriver.h"
#include "gui/setdlg.h"
#include "gui/setdlggeneral.h"
#include "gui/setdlgother.h"
#include "gui/startmodeops.h"
#include "settings/settings.h"

namespace {

std::string Stored(const LSettingKeyString& key)
{
  char text[260];
  LSettingGet(key, text);
  return text;
}

void SetSpin(GtkWindow* w, int id, int value)
{
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(FindControl(w, id)), value);
}

int Spin(GtkWindow* w, int id) { return gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(FindControl(w, id))); }

bool Sensitive(GtkWindow* w, int id) { return gtk_widget_get_sensitive(FindControl(w, id)); }

struct LPageCase {
  const char* name;
  std::function<void()> store;
  // Checks what the page shows, then edits it.
  std::function<void(GtkWindow*)> showAndEdit;
  std::function<void()> verify;
};

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
       EXPECT_EQ(Spin(w, kIdGenPort), 8000);
       EXPECT_TRUE(IsChecked(w, kIdGenDirect));
       EXPECT_EQ(EntryText(w, kIdGenHost), "old.example");
       EXPECT_FALSE(Sensitive(w, kIdGenHost));
       EXPECT_EQ(ComboText(w, kIdGenDialUp), "16");
       EXPECT_EQ(ComboText(w, kIdGenBroadBand), "128");
       SetSpin(w, kIdGenPort, 8100);
       Click(w, kIdGenHostKnown);
       EXPECT_TRUE(Sensitive(w, kIdGenHost));
       gtk_entry_set_text(GTK_ENTRY(FindControl(w, kIdGenHost)), "  radio.example  ");
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
       LSettingSet(VLKeys::WebAccessHost, "known.example");
       LSettingSet(VLKeys::DialUpKBPS, 33);
       LSettingSet(VLKeys::BroadBandKBPS, 56);
     },
     [](GtkWindow* w) {
       EXPECT_EQ(Spin(w, kIdGenPort), 1085);
       EXPECT_TRUE(IsChecked(w, kIdGenHostKnown));
       EXPECT_EQ(ComboText(w, kIdGenDialUp), "");
       SetSpin(w, kIdGenPort, 65535);
       EXPECT_EQ(Spin(w, kIdGenPort), 64535);
       Click(w, kIdGenDirect);
     },
     [] {
       EXPECT_EQ(LSettingGet(VLKeys::WebServerPort), 64535);
       EXPECT_FALSE(LSettingGet(VLKeys::WebAccessHostKnown));
       EXPECT_EQ(LSettingGet(VLKeys::DialUpKBPS), 33);
       EXPECT_EQ(LSettingGet(VLKeys::BroadBandKBPS), 56);
     }},
    {"OtherDefaultToCustomBanner",
     [] {
       LSettingSet(VLKeys::CustomASXBanner, false);
       LSettingSet(VLKeys::CustomASXBannerPath, "");
     },
     [](GtkWindow* w) {
       EXPECT_TRUE(IsChecked(w, kIdOtherDefaultBanner));
       EXPECT_EQ(EntryText(w, kIdOtherURL), VLKeys::CustomASXBannerURLPage.def);
       for (int id : {kIdOtherPath, kIdOtherBrowse, kIdOtherURL})
         EXPECT_FALSE(Sensitive(w, id)) << id;
       Click(w, kIdOtherCustomBanner);
       for (int id : {kIdOtherPath, kIdOtherBrowse, kIdOtherURL})
         EXPECT_TRUE(Sensitive(w, id)) << id;
       gtk_entry_set_text(GTK_ENTRY(FindControl(w, kIdOtherPath)), " /srv/banner.jpg");
       gtk_entry_set_text(GTK_ENTRY(FindControl(w, kIdOtherURL)), "  http://listen.example/  ");
     },
     [] {
       EXPECT_TRUE(LSettingGet(VLKeys::CustomASXBanner));
       EXPECT_EQ(Stored(VLKeys::CustomASXBannerPath), " /srv/banner.jpg"); // as entered
       EXPECT_EQ(Stored(VLKeys::CustomASXBannerURL), "http://listen.example/");
     }},
    {"OtherCustomBackToDefault",
     [] {
       LSettingSet(VLKeys::CustomASXBanner, true);
       LSettingSet(VLKeys::CustomASXBannerPath, "/a/b.jpg");
       LSettingSet(VLKeys::CustomASXBannerURL, "http://u.example/");
     },
     [](GtkWindow* w) {
       EXPECT_TRUE(IsChecked(w, kIdOtherCustomBanner));
       EXPECT_EQ(EntryText(w, kIdOtherPath), "/a/b.jpg");
       EXPECT_EQ(EntryText(w, kIdOtherURL), "http://u.example/");
       Click(w, kIdOtherDefaultBanner);
     },
     [] {
       EXPECT_FALSE(LSettingGet(VLKeys::CustomASXBanner));
       EXPECT_EQ(Stored(VLKeys::CustomASXBannerPath), "/a/b.jpg");
     }},
};

void PrintTo(const LPageCase& c, std::ostream* os) { *os << c.name; }

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
  EXPECT_TRUE(script.Done());
  EXPECT_TRUE(Shown().empty());
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
    SetSpin(w, kIdGenPort, 9000);
    Click(w, kIdGenHostKnown);
    gtk_entry_set_text(GTK_ENTRY(FindControl(w, kIdGenHost)), "   ");
    Respond(w, GTK_RESPONSE_OK);
  });
  script.On("Velorin Settings", [&](GtkWindow* w) {
    EXPECT_EQ(Shown(), std::vector<std::string>{"Please enter the known host or static IP"});
    Respond(w, GTK_RESPONSE_CANCEL);
  });
  EXPECT_FALSE(RunSettingsDialog(nullptr));
  EXPECT_TRUE(script.Done());
  EXPECT_FALSE(LSettingGet(VLKeys::WebAccessHostKnown));
  EXPECT_EQ(Stored(VLKeys::WebAccessHost), "old.example");
  EXPECT_EQ(LSettingGet(VLKeys::WebServerPort), 8000);
}

namespace {

// Start-up registration that records what the page asks of it.
struct LFakeStartModeOps final : LStartModeOps {
  bool run = false, runUser = false, service = false, serviceSetOk = true;
  std::string calls;
  bool IsRun() override { return run; }
  bool IsRunUser() override { return runUser; }
  bool IsRunService() override { return service; }
  bool ServiceIsAutoRun() override { return service; }
  bool SetRunService(bool enable) override
  {
    calls += enable ? "service:1 " : "service:0 ";
    return serviceSetOk;
  }
  void SetAllUserRun(bool enable) override { calls += enable ? "all:1 " : "all:0 "; }
  bool SetRunUser(bool enable) override
  {
    calls += enable ? "user:1 " : "user:0 ";
    return true;
  }
};

constexpr const char* kAdminText = "To fully install or deactivate this software as a service Administrator Access is "
                                   "required. Please login or run as Administrator and try again.";

} // namespace

TEST_F(SettingsDialogTest, StartModeControlsApplyTheChosenMode)
{
  struct Case {
    bool run, runUser, service, serviceSetOk; // registration before
    bool shownChecked;
    bool check;
    int mode;
    const char* calls;
    bool adminBox, autoRun, userAutoRun;
    int runMode; // stored RunMode afterwards (2 before)
  };
  const Case cases[] = {
      {false, false, false, true, false, true, 0, "all:1 ", false, true, false, 0},
      {true, false, false, true, true, true, 3, "service:1 all:0 user:1 ", false, false, true, 3},
      {false, true, false, false, true, true, 4, "service:1 all:0 ", true, false, false, 4},
      // Clearing the box stops the boot start and keeps the stored mode.
      {false, false, true, true, true, false, 1, "service:0 all:0 ", false, false, false, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.calls);
    LFakeStartModeOps ops;
    ops.run = c.run;
    ops.runUser = c.runUser;
    ops.service = c.service;
    ops.serviceSetOk = c.serviceSetOk;
    SetStartModeOps(&ops);
    LSettingSet(VLKeys::UserRunMode, 2);
    boxes_.shown.clear();
    LModalScript script;
    script.On("Velorin Settings", [&](GtkWindow* w) {
      EXPECT_EQ(IsChecked(w, kIdGenRunAtStart), c.shownChecked);
      EXPECT_EQ(gtk_combo_box_get_active(GTK_COMBO_BOX(FindControl(w, kIdGenStartMode))), 2);
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(FindControl(w, kIdGenRunAtStart)), c.check);
      EXPECT_EQ(Sensitive(w, kIdGenStartMode), c.check);
      gtk_combo_box_set_active(GTK_COMBO_BOX(FindControl(w, kIdGenStartMode)), c.mode);
      Respond(w, GTK_RESPONSE_OK);
    });
    EXPECT_TRUE(RunSettingsDialog(nullptr));
    SetStartModeOps(nullptr);
    EXPECT_EQ(ops.calls, c.calls);
    EXPECT_EQ(Shown(), c.adminBox ? std::vector<std::string>{kAdminText} : std::vector<std::string>{});
    EXPECT_EQ(LSettingGet(VLKeys::AutoRun), c.autoRun);
    EXPECT_EQ(LSettingGet(VLKeys::UserAutoRun), c.userAutoRun);
    EXPECT_EQ(LSettingGet(VLKeys::UserRunMode), c.runMode);
  }
}
