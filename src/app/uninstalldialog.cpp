#include "app/uninstalldialog.h"

#include "app/autorun.h"
#include "app/installdialog.h"
#include "app/messagebox.h"
#include "app/servicecontrol.h"
#include "app/serviceinstall.h"
#include "base/file.h"
#include "base/stringtools.h"

#include <cstdio>

bool UninstallDialog::Uninstall()
{
  if (!LServiceUninstall()) {
    PopupBoxInfo(nullptr, LAutoRunAdministratorAccessText(), "Velorin");
    return false;
  }
  LAutoRun::RemRun();
  LAutoRun::RemRunUser();
  char folder[kPathSize];
  LFile::DeleteFolderTree(LFile::GetUserDataFolderApp(folder));
  // Nothing may log or write a setting after this: either would create the
  // program's folders again.
  LFile::GetProgramFolderApp(folder);
  if (LIsUserRoot()) {
    LFile::DeleteFolderTree(folder);
  } else {
    char command[kPathSize + 16];
    std::snprintf(command, sizeof command, "rm %s -rf", folder);
    LRunCommandAsRootPrompt(command);
  }
  InstallDialog::RemoveDesktopShortCut();
  return true;
}
