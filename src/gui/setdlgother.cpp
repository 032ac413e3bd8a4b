#include "gui/setdlgother.h"

#include "base/file.h"
#include "base/stringtools.h"
#include "gui/dialoggen.h"
#include "gui/filedialog.h"
#include "settings/settings.h"

void DlgGenOther(LDialogGenContext& gen)
{
  gen.BeginGroup("Windows Media Player (Special Options)");
  gen.AddRadio(kIdOtherDefaultBanner, "Use the default Velorin banner", 0);
  gen.AddRadio(kIdOtherCustomBanner, "Use a custom banner file (jpg 194 x 32)", kIdOtherDefaultBanner);
  gen.AddEntryBrowse(kIdOtherPath, "File Path", kIdOtherBrowse, "...", true);
  gen.AddEntry(kIdOtherURL, "Click URL", true);
  gen.EndGroup();
}

LOtherPage::LOtherPage() : LPropertyPage("Other", "other", DlgGenOther) {}

bool LOtherPage::InitDialog()
{
  SetControlCheck(LSettingGet(VLKeys::CustomASXBanner) ? kIdOtherCustomBanner : kIdOtherDefaultBanner, true);
  char text[kPathSize];
  LSettingGet(VLKeys::CustomASXBannerPath, text);
  SetControlText(kIdOtherPath, text);
  LSettingGet(VLKeys::CustomASXBannerURLPage, text);
  SetControlText(kIdOtherURL, text);
  return true;
}

void LOtherPage::EnableControls()
{
  bool custom = GetControlCheck(kIdOtherCustomBanner);
  for (int id : {kIdOtherPath, kIdOtherBrowse, kIdOtherURL})
    EnableControl(id, custom);
}

void LOtherPage::Command(int id)
{
  if (id == kIdOtherBrowse)
    CmBrowse();
}

void LOtherPage::CmBrowse()
{
  char folder[kPathSize];
  LSettingGet(VLKeys::LastPath, folder);
  char path[kPathSize] = "";
  if (!LBrowseReadFilePath(GetGtkWindow(), path, "Browse for Banner", folder, "Banner Image\0*.jpg\0"))
    return;
  LSettingSet(VLKeys::LastPath, LFile::GetFolderFromPath(folder, path));
  SetControlText(kIdOtherPath, path);
}

bool LOtherPage::CmOk()
{
  LSettingSet(VLKeys::CustomASXBanner, GetControlCheck(kIdOtherCustomBanner));
  char text[kPathSize];
  GetControlText(kIdOtherPath, text, sizeof text);
  LSettingSet(VLKeys::CustomASXBannerPath, text);
  GetControlText(kIdOtherURL, text, sizeof text);
  LSettingSet(VLKeys::CustomASXBannerURL, tstrtrimspaces(text));
  return true;
}
