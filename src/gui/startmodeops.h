#pragma once
// The start-up registration as the settings dialog's start-mode controls
// use it: whether and how the desktop application starts at logon and the
// service at boot.  The system work (autostart entries, the boot link)
// belongs to the install layer, which plugs its implementation in with
// SetStartModeOps; until then the default keeps only the settings
// (shared and user "Settings"/"AutoRun", shared "Service"/"Enabled").
// GTK main thread only.
struct LStartModeOps {
  virtual ~LStartModeOps() = default;
  // Shared "AutoRun": the desktop starts when any user logs on.
  virtual bool IsRun() = 0;
  // User "AutoRun": it starts when this user logs on.
  virtual bool IsRunUser() = 0;
  virtual bool IsRunService() = 0;
  // Whether the service is registered to start at boot.
  virtual bool ServiceIsAutoRun() = 0;
  // False when the change could not be made (no administrator access).
  virtual bool SetRunService(bool enable) = 0;
  // Adds or removes every user's autostart entry.
  virtual void SetAllUserRun(bool enable) = 0;
  // This user's autostart entry; false when it could not be changed.
  virtual bool SetRunUser(bool enable) = 0;
};

LStartModeOps& GetStartModeOps();
// Null restores the default.  The object must outlive its use.
void SetStartModeOps(LStartModeOps* ops);
