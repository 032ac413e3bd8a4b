#pragma once
#include "app/useraccounts.h"

class LWindow;

// Starting the desktop application at logon (for all users or for the user
// named by USERNAME) and the service at boot.  Each user's autostart entry
// goes to the first of: ~/.kde/AutoStart, the GNOME 2 session file
// ~/.gnome2/session-manual (plus ~/.gnome2/velorin.desktop), ~/.config/autostart.
// Called on the GUI thread or the main thread of a console run.
class LAutoRun {
public:
  static bool IsRun();         // shared "Settings"/"AutoRun"
  static bool IsRunUser();     // user "Settings"/"AutoRun"
  static bool IsRunService();  // shared "Service"/"Enabled"

  static void SetRun();
  static void RemRun();
  static bool SetRunUser();
  static bool RemRunUser();
  static bool SetRunUser(bool enable);
  static bool SetRunService(bool enable);
  static bool RemRunService();

  // Every account with a home; results are not collected.
  static void SetAllUserRun(bool enable);
  // The USERNAME account only; false when it is unknown, has no home or no
  // autostart location, or the entry could not be written or removed.
  static bool SetRunGUIUnderUser(bool enable);
  // One account's entry (the rule above); false without a location.
  static bool SetRunForAccount(const LUserAccount& account, bool enable);
};

// The five start modes of the General page.
enum class LAutoRunScope { AllUsers, ThisUser, Nobody };

struct LAutoRunMode {
  const char* text;
  LAutoRunScope scope;
  bool service;
};

inline constexpr int kAutoRunModeCount = 5;
extern const LAutoRunMode kAutoRunModes[kAutoRunModeCount];

// Whether the General page's start box starts ticked.
bool LAutoRunIsAnyOn();
// The General page's start controls applied: the box ticked or not and the
// selected mode (stored as the user "Settings"/"RunMode" when ticked).  A
// service change that fails shows the Administrator Access box over parent.
// Returns false only for a mode index out of range.
bool LAutoRunApply(bool ticked, int mode, LWindow* parent = nullptr);
// "To fully install or deactivate this software as a service Administrator
// Access is required. ..." (the box's secondary text is "Velorin").
const char* LAutoRunAdministratorAccessText();
