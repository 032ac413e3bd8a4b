#include "app/autorun.h"

#include "app/messagebox.h"
#include "app/serviceinstall.h"
#include "app/systemfile.h"
#include "base/file.h"
#include "base/stringtools.h"
#include "settings/datfile.h"
#include "settings/settings.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

const LAutoRunMode kAutoRunModes[kAutoRunModeCount] = {
    {"Start when any user logs on.", LAutoRunScope::AllUsers, false},
    {"Start when this user logs on only.", LAutoRunScope::ThisUser, false},
    {"Start before logon. Show all users' tray.", LAutoRunScope::AllUsers, true},
    {"Start before logon. Show this user only.", LAutoRunScope::ThisUser, true},
    {"Start before logon. Do not show icon.", LAutoRunScope::Nobody, true},
};

namespace {

constexpr const char* kAdministratorAccess =
    "To fully install or deactivate this software as a service Administrator Access is required. Please login "
    "or run as Administrator and try again.";

// Adds or removes the program as a client of a GNOME 2 session file.
void EditGnomeSession(const char* path, bool enable)
{
  LDatFile session(path);
  char key[kPathSize];
  if (enable) {
    const int n = session.GetInt("Default", "num_clients", 0);
    std::snprintf(key, sizeof key, "%d,RestartStyleHint", n);
    session.SetInt("Default", key, 3);
    std::snprintf(key, sizeof key, "%d,Priority", n);
    session.SetInt("Default", key, 50);
    std::snprintf(key, sizeof key, "%d,RestartCommand", n);
    session.SetText("Default", key, "velorin");
    std::snprintf(key, sizeof key, "%d,Program", n);
    session.SetText("Default", key, "velorin");
    session.SetInt("Default", "num_clients", n + 1);
    return;
  }
  for (int i = 0;; ++i) {
    char command[kPathSize];
    std::snprintf(key, sizeof key, "%d,RestartCommand", i);
    session.GetText("Default", key, "", command);
    if (command[0] == 0)
      break;
    if (std::strcmp(command, "velorin") != 0)
      continue;
    for (const char* name : {"RestartStyleHint", "Priority", "RestartCommand", "Program"}) {
      std::snprintf(key, sizeof key, "%d,%s", i, name);
      session.RemoveItem("Default", key);
    }
    // Never raised: after a double enable the second copy must not count
    // the first one's freed slot again.
    const int clients = session.GetInt("Default", "num_clients", 0);
    session.SetInt("Default", "num_clients", i < clients ? i : clients);
  }
}

// The autostart file of a home, editing the GNOME session on the way;
// false when the home has no autostart location.
bool AutoStartTarget(const LUserAccount& account, bool enable, char* target)
{
  char path[kPathSize];
  LFile::MakeFilePath(path, account.home, ".kde/AutoStart");
  if (LFile::IsFolder(path)) {
    LFile::MakeFilePath(target, path, "velorin", ".desktop");
    return true;
  }
  LFile::MakeFilePath(path, account.home, ".gnome2/session-manual");
  if (LFile::TestFileExists(path)) {
    EditGnomeSession(path, enable);
    LFile::MakeFilePath(path, account.home, ".gnome2");
    LFile::MakeFilePath(target, path, "velorin", ".desktop");
    return true;
  }
  LFile::MakeFilePath(path, account.home, ".config");
  if (LFile::IsFolder(path)) {
    LFile::FilePathCat(path, "autostart");
    // Removing an entry never leaves a new folder behind.
    if (!enable && !LFile::IsFolder(path))
      return false;
    if (!LFile::IsFolder(path) && LFile::CreateFolder(path) && geteuid() == 0) {
      // A folder root makes in a home belongs to its user.
      if (::chown(path, static_cast<uid_t>(account.uid), static_cast<gid_t>(account.gid)) != 0)
        return false;
      ::chmod(path, 0755);
    }
    LFile::MakeFilePath(target, path, "velorin", ".desktop");
    return true;
  }
  return false;
}

}  // namespace

bool LAutoRun::IsRun()
{
  return LSettingGet(VLKeys::AutoRun);
}
bool LAutoRun::IsRunUser()
{
  return LSettingGet(VLKeys::UserAutoRun);
}
bool LAutoRun::IsRunService()
{
  return LServiceIsAutoRun();
}

void LAutoRun::SetRun()
{
  SetAllUserRun(true);
  LSettingSet(VLKeys::AutoRun, true);
}

void LAutoRun::RemRun()
{
  SetAllUserRun(false);
  LSettingSet(VLKeys::AutoRun, false);
}

bool LAutoRun::SetRunUser()
{
  if (!SetRunGUIUnderUser(true))
    return false;
  LSettingSet(VLKeys::UserAutoRun, true);
  return true;
}

bool LAutoRun::RemRunUser()
{
  if (!SetRunGUIUnderUser(false))
    return false;
  LSettingSet(VLKeys::UserAutoRun, false);
  return true;
}

bool LAutoRun::SetRunUser(bool enable)
{
  return enable ? SetRunUser() : RemRunUser();
}
bool LAutoRun::SetRunService(bool enable)
{
  return LServiceSetAutoRun(enable);
}
bool LAutoRun::RemRunService()
{
  return LServiceSetAutoRun(false);
}

bool LAutoRun::SetRunForAccount(const LUserAccount& account, bool enable)
{
  char target[kPathSize];
  if (account.home[0] == 0 || !AutoStartTarget(account, enable, target))
    return false;
  if (!enable)
    return LFile::DeleteFile(target);
  char entry[kPathSize];
  LFile::GetDefaultDesktopPath(entry);
  // Readable by all, writable only by its user: whoever could change it
  // would choose what that user runs at logon.
  return LCopySystemFile(entry, target, 0644, static_cast<uid_t>(account.uid), static_cast<gid_t>(account.gid));
}

void LAutoRun::SetAllUserRun(bool enable)
{
  for (const LUserAccount& account : LGetUsersAccounts())
    SetRunForAccount(account, enable);
}

bool LAutoRun::SetRunGUIUnderUser(bool enable)
{
  const LUserAccounts accounts = LGetUsersAccounts();
  const LUserAccount* account = LFindCurrentAccount(accounts);
  return account != nullptr && SetRunForAccount(*account, enable);
}

bool LAutoRunIsAnyOn()
{
  return LAutoRun::IsRun() || LAutoRun::IsRunUser() || LAutoRun::IsRunService();
}

bool LAutoRunApply(bool ticked, int mode, LWindow* parent)
{
  if (mode < 0 || mode >= kAutoRunModeCount)
    return false;
  LAutoRunScope scope = LAutoRunScope::Nobody;
  bool service = false;
  if (ticked) {
    scope = kAutoRunModes[mode].scope;
    service = kAutoRunModes[mode].service;
    LSettingSet(VLKeys::UserRunMode, mode);
  }
  if (LServiceIsAutoRun() != service && !LAutoRun::SetRunService(service))
    PopupBoxInfo(parent, kAdministratorAccess, "Velorin");
  switch (scope) {
  case LAutoRunScope::ThisUser:
    LAutoRun::SetAllUserRun(false);
    LAutoRun::SetRunUser(true);
    LSettingSet(VLKeys::AutoRun, false);
    LSettingSet(VLKeys::UserAutoRun, true);
    break;
  case LAutoRunScope::AllUsers:
    LAutoRun::SetAllUserRun(true);
    LSettingSet(VLKeys::AutoRun, true);
    LSettingSet(VLKeys::UserAutoRun, false);
    break;
  case LAutoRunScope::Nobody:
    LAutoRun::SetAllUserRun(false);
    LSettingSet(VLKeys::AutoRun, false);
    LSettingSet(VLKeys::UserAutoRun, false);
    break;
  }
  return true;
}

const char* LAutoRunAdministratorAccessText()
{
  return kAdministratorAccess;
}
