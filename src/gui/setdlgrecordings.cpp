#include "gui/setdlgrecordings.h"

#include "base/stringtools.h"
#include "gui/dialoggen.h"
#include "gui/filedialog.h"
#include "gui/listcontrol.h"
#include "gui/progressdialog.h"
#include "gui/rawsettingsdlg.h"
#include "settings/settings.h"
#include "sound/gensource.h"
#include "sound/recordings.h"
#include "sound/recordingsload.h"

namespace {

// The add dialog's filter list; the chooser puts every pattern into one
// filter, so every file name with an extension is offered.
constexpr char kAddFilters[] =
    "Audio Files\0*.wav;*.mp3;*.ogg;*.aif;*.aiff;*.au;*.flac;*.aac;*.gsm;*.vox;*.raw;*.dct;*.m4a;*.amr\0"
    "Video Files (*.avi, *.mpg, *.mpeg)\0*.avi;*.mpg;*.mpeg\0"
    "Wave Files (*.wav)\0*.wav\0"
    "MPEG Layer-3 Files (*.mp3, *.mp2, *.mpga)\0*.mp3;*.mp2;*.mpga\0"
    "Ogg Vorbis Files (*.ogg)\0*.ogg\0"
    "Apple AIFF Files (*.aif, *.aiff)\0*.aif;*.aiff\0"
    "Sun AU Files (*.au)\0*.au\0"
    "FLAC Files (*.flac)\0*.flac\0"
    "AAC Files (*.aac, *.m4a)\0*.aac;*.m4a\0"
    "GSM Files (*.gsm)\0*.gsm\0"
    "Dialogic Vox Files (*.vox)\0*.vox\0"
    "Raw Audio Files (*.raw)\0*.raw\0"
    "Dictation Files (*.dct)\0*.dct\0"
    "AMR Narrowband Audio Files (*.amr)\0*.amr\0"
    "MPEG Video Files (*.mpg, *.mpeg)\0*.mpg;*.mpeg\0"
    "Audio Video Interleave Files (*.avi)\0*.avi\0"
    "All Files\0*.*\0";

}  // namespace

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
  case kIdRecAdd: CmAdd(); break;
  case kIdRecRemove: CmDelete(); break;
  case kIdRecSelection: EnableControls(); break;
  default: break;
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
  // The chooser stores the folder of the first chosen file as the next
  // start folder.
  char folder[kPathSize];
  LSettingGet(VLKeys::UserMultiple, folder);
  std::vector<std::string> paths;
  if (!LBrowseMultipleReadFiles(GetGtkWindow(), paths, "Add Files", folder, kAddFilters) || paths.empty())
    return;
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
