#include "gui/setdlgrecordings.h"

#include "base/file.h"
#include "base/stringtools.h"
#include "gui/dialoggen.h"
#include "gui/listcontrol.h"
#include "gui/progressdialog.h"
#include "gui/rawsettingsdlg.h"
#include "gui/setdlgbrowse.h"
#include "settings/settings.h"
#include "sound/gensource.h"
#include "sound/recordings.h"
#include "sound/recordingsload.h"

void DlgGenRecordings(LDialogGenContext& gen)
{
  gen.BeginGroup("Recorded Audio Files");
  gen.AddStatic("This list is for prerecorded audio. That is files which you have produced in advance. You can "
                "load wav, mp3, aiff, wma and a number of other file types using the Add option.");
  gen.AddList(kIdRecList, {{"Name", 100}}, kIdRecSelection, true);
  gen.AddButtons({{kIdRecAdd, "Add"}, {kIdRecRemove, "Remove"}});
  gen.EndGroup();
}

LRecordingsPage::LRecordingsPage() : LPropertyPage("Recordings", "recordings", DlgGenRecordings) {}

bool LRecordingsPage::InitDialog()
{
  SetupList();
  return true;
}

void LRecordingsPage::Command(int id)
{
  switch (id) {
  case kIdRecAdd:
    CmAdd();
    break;
  case kIdRecRemove:
    CmDelete();
    break;
  case kIdRecSelection:
    EnableControls();
    break;
  default:
    break;
  }
}

void LRecordingsPage::EnableControls()
{
  EnableControl(kIdRecRemove, !LListGetSelRows(GetControl(kIdRecList)).empty());
}

void LRecordingsPage::SetupList()
{
  GtkWidget* list = GetControl(kIdRecList);
  LListClear(list);
  char name[kPathSize];
  for (LRecordingsIterator it; it; it.Next())
    LListAdd(list, {it.GetName(name)});
  EnableControls();
}

void LRecordingsPage::CmDelete()
{
  GtkWidget* list = GetControl(kIdRecList);
  char name[kPathSize];
  for (int row : LListGetSelRows(list)) {
    LListGetText(list, row, 0, name);
    LRecordingsRemove(name);
  }
  SetupList();
}

void LRecordingsPage::CmAdd()
{
  char folder[kPathSize];
  LSettingGet(VLKeys::UserMultiple, folder);
  std::vector<std::string> paths = LBrowseAddFiles(GetGtkWindow(), folder);
  if (paths.empty())
    return;
  LFile::GetFolderFromPath(folder, paths.front().c_str());
  LSettingSet(VLKeys::UserMultiple, folder);
  AddFiles(paths);
}

void LRecordingsPage::AddFiles(const std::vector<std::string>& paths)
{
  // One question for the whole selection: the first raw or VOX file asks
  // for its settings, and cancelling it converts nothing.
  LRawSettingsDialogPrompt prompt(GetGtkWindow());
  bool askOnce = true;
  for (const std::string& path : paths) {
    if (LGenSourceOpenPrompt(path.c_str(), askOnce, &prompt) != kProcessDone) {
      SetupList();
      return;
    }
  }
  LRecordingsPageLoadProcess op;
  for (const std::string& path : paths)
    op.AddPath(path.c_str());
  ProcessDialogRun(GetControl(kIdRecList), "Adding files...", op);
  SetupList();
}
