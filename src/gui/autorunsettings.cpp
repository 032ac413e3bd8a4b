#include "gui/autorunsettings.h"

#include "app/autorun.h"
#include "gui/window.h"
#include "settings/settings.h"

// The start modes and what applying one does are the install layer's
// (app/autorun.h); these functions only read and fill the controls.

static_assert(kStartModeCount == kAutoRunModeCount);

const char* LStartModeText(int mode)
{
  return mode >= 0 && mode < kStartModeCount ? kAutoRunModes[mode].text : "";
}

void LAutoRunSettingsInit(LWindow& dialog, int checkId, int listId)
{
  dialog.SetControlCheck(checkId, LAutoRunIsAnyOn());
  for (const LAutoRunMode& mode : kAutoRunModes)
    dialog.AddControlListItem(listId, mode.text);
  dialog.SetControlInt(listId, LSettingGet(VLKeys::UserRunMode));
}

bool LAutoRunSettingsApply(LWindow& dialog, int checkId, int listId)
{
  int index = dialog.GetControlInt(listId);
  // A list without a selection counts as the first mode.
  if (index < 0 || index >= kStartModeCount)
    index = 0;
  LAutoRunApply(dialog.GetControlCheck(checkId), index, &dialog);
  return true;
}
