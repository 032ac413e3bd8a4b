#include "gui/setdlggeneral.h"

#include <cstdio>

#include "base/stringtools.h"
#include "gui/autorunsettings.h"
#include "gui/dialoggen.h"
#include "gui/listcontrol.h"
#include "settings/settings.h"
#include "web/weblet.h"

namespace {

// 65535 is left out: the port input has always stopped there.
constexpr int kPortMax = 64535;

constexpr int kDialUpChoices[] = {8, 16, 20, 24, 32, 40};
constexpr int kBroadBandChoices[] = {32, 40, 48, 56, 64, 80, 96, 128, 192, 256};

template <std::size_t N>
void FillRates(LWindow& page, int id, const int (&choices)[N], int current)
{
  char text[16];
  for (int rate : choices) {
    std::snprintf(text, sizeof text, "%d", rate);
    page.AddControlListItem(id, text);
  }
  // A stored rate that is not a choice leaves the list without a selection.
  std::snprintf(text, sizeof text, "%d", current);
  LComboSelectText(page.GetControl(id), text);
}

// The selected rate; a list without a selection keeps the stored value,
// since a bit rate of 0 would leave every encoder unable to start.
void WriteRate(LWindow& page, int id, const LSettingKeyInt& key)
{
  char text[16];
  page.GetControlText(id, text, sizeof text);
  int rate = ttoi(text);
  if (rate > 0)
    LSettingSet(key, rate);
}

}  // namespace

void DlgGenGeneral(LDialogGenContext& gen)
{
  gen.BeginGroup("Startup");
  gen.AddCheck(kIdGenRunAtStart, "Run when computer starts");
  gen.AddCombo(kIdGenStartMode, nullptr, true);
  gen.EndGroup();
  gen.BeginGroup("Connection");
  gen.AddSpin(kIdGenPort, "Server Port (default 1085 but also try 1080)");
  gen.AddRadio(kIdGenDirect, "This PC connects directly with a static IP", 0);
  gen.AddRadio(kIdGenHostKnown, "Use this specified known domain or public IP", kIdGenDirect);
  gen.AddEntry(kIdGenHost, nullptr, true);
  gen.AddLink("Click for help about routing", "http://www.velorin.example/help/routing.html");
  gen.AddCombo(kIdGenDialUp, "Minimum speed for dial-up (kpbs)");
  gen.AddCombo(kIdGenBroadBand, "Minimum speed for broadband (kpbs)");
  gen.EndGroup();
}

LGeneralPage::LGeneralPage() : LPropertyPage("General", "general", DlgGenGeneral) {}

bool LGeneralPage::InitDialog()
{
  LAutoRunSettingsInit(*this, kIdGenRunAtStart, kIdGenStartMode);
  SetControlRange(kIdGenPort, 1, kPortMax);
  SetControlInt(kIdGenPort, LWebletServer::GetWebletServerPort());
  bool known = LSettingGet(VLKeys::WebAccessHostKnown);
  SetControlCheck(known ? kIdGenHostKnown : kIdGenDirect, true);
  char host[kPathSize];
  LSettingGet(VLKeys::WebAccessHost, host);
  SetControlText(kIdGenHost, host);
  FillRates(*this, kIdGenDialUp, kDialUpChoices, LSettingGet(VLKeys::DialUpKBPS));
  FillRates(*this, kIdGenBroadBand, kBroadBandChoices, LSettingGet(VLKeys::BroadBandKBPS));
  return true;
}

void LGeneralPage::EnableControls()
{
  EnableControl(kIdGenStartMode, GetControlCheck(kIdGenRunAtStart));
  EnableControl(kIdGenHost, GetControlCheck(kIdGenHostKnown));
}

bool LGeneralPage::CmOk()
{
  if (!LAutoRunSettingsApply(*this, kIdGenRunAtStart, kIdGenStartMode))
    return false;
  // The host is checked before anything is written, so that a refused page
  // leaves no known-host flag without a host behind when it is cancelled.
  bool known = GetControlCheck(kIdGenHostKnown);
  char host[kPathSize];
  GetControlText(kIdGenHost, host, sizeof host);
  tstrtrimspaces(host);
  if (known && host[0] == '\0') {
    PopupControlDataInvalid(kIdGenHost, "Please enter the known host or static IP", "Velorin");
    return false;
  }
  // Takes a typed number that was not yet committed with Enter.
  if (GtkWidget* port = GetControl(kIdGenPort))
    gtk_spin_button_update(GTK_SPIN_BUTTON(port));
  LWebletServer::SetWebletServerPort(static_cast<unsigned short>(GetControlInt(kIdGenPort)));
  LSettingSet(VLKeys::WebAccessHostKnown, known);
  LSettingSet(VLKeys::WebAccessHost, host);
  WriteRate(*this, kIdGenDialUp, VLKeys::DialUpKBPS);
  WriteRate(*this, kIdGenBroadBand, VLKeys::BroadBandKBPS);
  return true;
}
