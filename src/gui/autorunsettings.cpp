#include "gui/autorunsettings.h"

#include "app/messagebox.h"
#include "gui/startmodeops.h"
#include "gui/window.h"
#include "settings/settings.h"

namespace {

enum class LScope { AllUsers, ThisUser, Nobody };

struct LStartMode {
  const char* text;
  LScope scope;
  bool service;
};

constexpr LStartMode kModes[kStartModeCount] = {
    {"Start when any user logs on.", LScope::AllUsers, false},
    {"Start when this user logs on only.", LScope::ThisUser, false},
    {"Start before logon. Show all users' tray.", LScope::AllUsers, true},
    {"Start before logon. Show this user only.", LScope::ThisUser, true},
    {"Start before logon. Do not show icon.", LScope::Nobody, true},
};

} // namespace

const char* LStartModeText(int mode) { return mode >= 0 && mode < kStartModeCount ? kModes[mode].text : ""; }

void LAutoRunSettingsInit(LWindow& dialog, int checkId, int listId)
{
  LStartModeOps& ops = GetStartModeOps();
  dialog.SetControlCheck(checkId, ops.IsRun() || ops.IsRunUser() || ops.IsRunService());
  for (const LStartMode& mode : kModes)
    dialog.AddControlListItem(listId, mode.text);
  dialog.SetControlInt(listId, LSettingGet(VLKeys::UserRunMode));
}

bool LAutoRunSettingsApply(LWindow& dialog, int checkId, int listId)
{
  LStartModeOps& ops = GetStartModeOps();
  LScope scope = LScope::Nobody;
  bool service = false;
  if (dialog.GetControlCheck(checkId)) {
    int index = dialog.GetControlInt(listId);
    // A list without a selection counts as the first mode.
    if (index < 0 || index >= kStartModeCount)
      index = 0;
    scope = kModes[index].scope;
    service = kModes[index].service;
    LSettingSet(VLKeys::UserRunMode, index);
  }
  if (ops.ServiceIsAutoRun() != service && !ops.SetRunService(service)) {
    PopupBoxInfo(&dialog,
                 "To fully install or deactivate this software as a service Administrator Access is required. "
                 "Please login or run as Administrator and try again.",
                 "Velorin");
  }
  switch (scope) {
  case LScope::ThisUser:
    ops.SetAllUserRun(false);
    ops.SetRunUser(true);
    LSettingSet(VLKeys::AutoRun, false);
    LSettingSet(VLKeys::UserAutoRun, true);
    break;
  case LScope::AllUsers:
    ops.SetAllUserRun(true);
    LSettingSet(VLKeys::AutoRun, true);
    LSettingSet(VLKeys::UserAutoRun, false);
    break;
  case LScope::Nobody:
    ops.SetAllUserRun(false);
    LSettingSet(VLKeys::AutoRun, false);
    LSettingSet(VLKeys::UserAutoRun, false);
    break;
  }
  return true;
}
