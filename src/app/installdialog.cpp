#include "app/installdialog.h"

#include "app/autorun.h"
#include "app/installreport.h"
#include "app/messagebox.h"
#include "app/servicecontrol.h"
#include "app/serviceinstall.h"
#include "app/systemfile.h"
#include "app/useraccounts.h"
#include "base/file.h"
#include "base/folderiterator.h"
#include "base/stringtools.h"
#include "net/processcommand.h"
#include "settings/log.h"
#include "settings/settings.h"

#include <cstdio>
#include <string>

namespace {

constexpr size_t kCommandSize = 1024;
constexpr const char* kMenuFolder = "/usr/share/applications/desktop";

std::string MenuEntryText()
{
  char executable[kPathSize];
  char icon[kPathSize];
  LFile::GetProgramExecutablePath(executable);
  GetResourcePath(1, icon);
  return std::string("[Desktop Entry]\n") + "Type=Application\n" + "Encoding=UTF-8\n" + "Name=Velorin\n" +
         "Comment=Velorin\n" + "Exec=" + executable + "\n" + "Icon=" + icon + "\n" + "Terminal=false\n" +
         "StartupNotify=false\n" + "InitialPreference=11\n" +
         "Categories=Audio;AudioVideo;Mixer;Sequencer;Player;Recorder;DiscBurning;MusicalSoftware;\n" + "MimeType=\n";
}

bool DesktopIconPath(const LUserAccount& account, char* out)
{
  char folder[kPathSize];
  LFile::MakeFilePath(folder, account.home, "Desktop");
  LFile::MakeFilePath(out, folder, "velorin", ".desktop");
  return account.home[0] != 0;
}

bool RunFormatted(const char* format, const char* argument, bool asRoot)
{
  char command[kCommandSize];
  std::snprintf(command, sizeof command, format, argument);
  return asRoot ? LRunCommandAsRootPrompt(command) : RunCommandLineProcess(command);
}

}  // namespace

bool InstallDialog::Initialize()
{
  char folder[kPathSize];
  LFile::CreateFolder(LFile::GetProgramFolderBinary(folder));
  LFile::CreateFolder(LFile::GetProgramFolderResources(folder));
  LFile::CreateFolder(LFile::GetHelpFolder(folder));
  LFile::CreateFolder(LFile::GetHelpFolder(folder));
  return true;
}

bool InstallDialog::AddDesktopShortCut()
{
  char entry[kPathSize];
  char folder[kPathSize];
  LFile::GetDefaultDesktopPath(entry);
  LFile::GetDefaultDesktopFolder(folder);
  LFile::DeleteFile(entry);
  if (!LWriteSystemFile(entry, MenuEntryText().c_str(), 0644))
    return false;
  // The desktop database is refreshed where the tool exists; a machine
  // without it (a server) still gets its entry and icons.
  RunFormatted("command -v update-desktop-database >/dev/null || exit 0; update-desktop-database --quiet %s", folder,
               false);
  // Readable by all, writable by root only: the entry names the program
  // every user starts (and is copied as each user's autostart entry).
  if (!RunFormatted("chmod u=rwX,go=rX %s -R -f", folder, false))
    return false;
  for (const LUserAccount& account : LGetUsersAccounts()) {
    char icon[kPathSize];
    char desktop[kPathSize];
    LFile::MakeFilePath(desktop, account.home, "Desktop");
    if (DesktopIconPath(account, icon) && LFile::IsFolder(desktop))
      LCopySystemFile(entry, icon, 0644, static_cast<uid_t>(account.uid), static_cast<gid_t>(account.gid));
  }
  return LFile::TestFileExists(entry);
}

void InstallDialog::RemoveDesktopShortCut()
{
  for (const LUserAccount& account : LGetUsersAccounts()) {
    char icon[kPathSize];
    if (DesktopIconPath(account, icon))
      LFile::DeleteFile(icon);
  }
  // Named without LFile::GetDefaultDesktopPath, which would create the
  // folder again.
  char entry[kPathSize];
  LFile::MakeFilePath(entry, kMenuFolder, "velorin", ".desktop");
  LFile::DeleteFile(entry);
  UpdateFileTypes();
  // The folder is the install's own; anything else in it keeps it.
  LFile::DeleteFolder(kMenuFolder);
}

void InstallDialog::UpdateFileTypes()
{
  char folder[kPathSize];
  tlstrcpy(folder, kMenuFolder);
  if (LFile::IsFolder(folder))
    RunFormatted("command -v update-desktop-database >/dev/null && update-desktop-database --quiet %s ", folder, false);
}

bool InstallComponentFromResource(const char* component)
{
  char folder[kPathSize];
  char installer[kPathSize];
  LFile::GetProgramFolderBinary(folder);
  LFile::MakeFilePath(installer, folder, component, ".component");
  RunFormatted("bash %s", installer, true);
  RunFormatted("bash %s", installer, false);
  char path[kPathSize];
  if (GetComponentPath(component, path) && LFile::TestFileExists(path))
    return true;
  char text[kCommandSize];
  std::snprintf(text, sizeof text, "Velorin requires '%s' to run successfully. The component %s failed to install.",
                component, component);
  PopupBoxInfo(nullptr, "Missing Component", text);
  return false;
}

void LInstallComponents()
{
  for (const char* component : {"lyrenc", "tarnel", "wendrik"})
    InstallComponentFromResource(component);
}

bool InstallDialog::Finalize()
{
  char executable[kPathSize];
  char folder[kPathSize];
  LFile::GetProgramExecutablePath(executable);
  // Copied files arrive without execute rights: the programs (and the
  // component installers' programs) must be executable before they run.
  RunFormatted("chmod 755 %s -R -f", LFile::GetProgramFolderBinary(folder), true);
  if (!AddDesktopShortCut())
    LOGERROR("Unable to create the menu entry");
  LAutoRun::SetRun();
  if (!LServiceInstall(executable))
    LOGERROR("Unable to install the service");
  LInstallComponents();
  RunFormatted("chmod 755 %s -R -f", LFile::GetProgramFolderBinary(folder), true);
  // Only the shared data folder is everybody's: whoever could rename the
  // program's folders could swap the programs (and components) that root
  // and every user run.
  RunFormatted("chmod 755 %s", LFile::GetProgramFolder(folder), true);
  RunFormatted("chmod 755 %s", LFile::GetProgramFolderApp(folder), true);
  RunFormatted("chmod u=rwX,go=rX %s -R -f", LFile::GetProgramFolderResources(folder), true);
  // Desktop users write the shared settings and logs the root service writes.
  RunFormatted("chmod 777 %s", LFile::GetSharedDataFolder(folder), true);
  if (!LSettingGet(VLKeys::Installed)) {
    LSettingSet(VLKeys::Installed, true);
    LSendInstallReport();
  }
  return true;
}

void LForEachReleaseFolder(const char* release,
                           const std::function<void(const char* name, const char* source, const char* target)>& each)
{
  char app[kPathSize];
  LFile::GetProgramFolderApp(app);
  for (LFile::FolderIteratorAllFiles it(release); it; it.Next()) {
    char source[kPathSize];
    char target[kPathSize];
    if (it.IsDotOrDotDot() || !it.IsFolder() || !it.GetFilePath(source) ||
        !LFile::MakeFilePathWhole(target, app, it.GetFile()))
      continue;
    each(it.GetFile(), source, target);
  }
}
