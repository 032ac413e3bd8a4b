#pragma once

// The roles one executable can take, chosen from the command line and from
// whether a display is available.
enum class LRunMode {
  Service,           // no display and no arguments, or "-service" anywhere
  InstallConsole,    // "-install" without a display
  UninstallConsole,  // "-uninstall" without a display
  NoDisplay,         // any other argument without a display: no window can open
  InstallWizard,     // "-install" with a display
  UninstallWizard,   // "-uninstall" with a display
  SetupExit,         // a program file named like "...setup...": ends at once
  Desktop,           // the desktop application
};

// argv[0] is the program; argc counts it.  Only argument 1 selects a switch.
LRunMode LChooseRunMode(int argc, const char* const* argv, bool hasDisplay);

// Whether the desktop start waits for a service started at boot: exactly one
// argument, "-logon", and the service set to start at boot.
bool LIsLogonDelayed(int argc, const char* const* argv, bool serviceStartsAtBoot);
inline constexpr unsigned int kLogonDelayMs = 9000;
