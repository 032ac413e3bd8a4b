#include "gui/setdlglive.h"

#include "audio/audioengine.h"
#include "base/stringtools.h"
#include "gui/dialoggen.h"
#include "gui/listcontrol.h"
#include "gui/livesources.h"
#include "gui/messagebox.h"
#include "gui/sourcesettingsdlg.h"

void DlgGenLive(LDialogGenContext& gen)
{
  gen.BeginGroup("Live Audio Streams");
  gen.AddStatic("This list is for real live sound input through the sound in socket or other sound devices "
                "connected to this computer. You can add multiple sound devices to stream multiple sources.");
  gen.AddList(kIdLiveList, {{"Name", 150}, {"Device", 150}}, kIdLiveSelection);
  gen.AddButtons({{kIdLiveAdd, "Add Stream"}, {kIdLiveRemove, "Remove Stream"}, {kIdLiveEdit, "Edit Stream"}});
  gen.EndGroup();
}

LLivePage::LLivePage() : LPropertyPage("Live", "live", DlgGenLive) {}

bool LLivePage::InitDialog()
{
  FillList();
  return true;
}

void LLivePage::Command(int id)
{
  switch (id) {
  case kIdLiveAdd: CmAdd(); break;
  case kIdLiveRemove: CmRemove(); break;
  case kIdLiveEdit: CmEdit(); break;
  default: break;
  }
}

void LLivePage::FillList()
{
  GtkWidget* list = GetControl(kIdLiveList);
  LListClear(list);
  int count = LLiveGetSourceCount();
  char name[kPathSize];
  char device[kPathSize];
  for (int n = 1; n <= count; ++n) {
    LLiveGetDeviceName(n, device);
    LAudioGetSourceDisplayName(n, name);
    LListAdd(list, {name, device});
  }
  LListSelect(list, LListCount(list) - 1);
}

void LLivePage::CmAdd()
{
  int count = LLiveGetSourceCount();
  if (count >= static_cast<int>(LAudioEngine::kMaxSources)) {
    PopupControlDataInvalid(kIdLiveAdd,
                            "You cannot add any more streaming audio sources as you have reached the maximum allowed.",
                            "Velorin");
    return;
  }
  // A stored negative count means no inputs: the new one is input 1.
  if (count < 0)
    count = 0;
  LSourceSettingsDlg dialog(count);
  if (dialog.Run(GetGtkWindow()) == kIdOk) {
    LLiveSetSourceCount(count + 1);
    FillList();
  }
}

void LLivePage::CmRemove()
{
  // Always the last input, whichever row is selected; its name and device
  // stay stored and come back when an input is added again.
  int count = LLiveGetSourceCount();
  if (count <= 0)
    return;
  if (count == 1 && PopupBoxQueryYesNoCancel(GetGtkWindow(), "Are you sure you want to remove this input stream?",
                                             "Confirm Removal") != LAnswer::Yes)
    return;
  LLiveSetSourceCount(count - 1);
  FillList();
}

void LLivePage::CmEdit()
{
  GtkWidget* list = GetControl(kIdLiveList);
  int row = LListGetSel(list);
  if (row < 0)
    return;
  LSourceSettingsDlg dialog(row);
  if (dialog.Run(GetGtkWindow()) == kIdOk) {
    FillList();
    LListSelect(list, row);
  }
}
