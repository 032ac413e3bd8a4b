#include "gui/desktop.h"

#include "app/messagebox.h"
#include "app/servicecontrol.h"
#include "app/uninstalldialog.h"
#include "base/queuednotify.h"
#include "base/ticks.h"
#include "gui/install.h"
#include "gui/mainwindow.h"
#include "gui/messagebox.h"
#include "gui/runonce.h"
#include "settings/settings.h"

#include <cstdio>
#include <gtk/gtk.h>
#include <memory>

namespace {

// Toolkit messages never reach the terminal.
void GLIBLogFunc(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

void InstallToolkitLogHandler()
{
  static const char* const kDomains[] = {nullptr, "Glib", "GLib", "ALSA", "Gtk", "Gdk"};
  for (const char* domain : kDomains)
    g_log_set_handler(domain, GLogLevelFlags(255), &GLIBLogFunc, nullptr);
}

// The GDK lock is recursive: a handler that runs under it may spin the main
// loop itself (a progress dialog answering its window), and the idle
// callbacks that run then (status pane lines, engine notices) take the lock
// again.  The toolkit's own lock would deadlock there.
GRecMutex gGdkLock;
void LockGdk()
{
  g_rec_mutex_lock(&gGdkLock);
}
void UnlockGdk()
{
  g_rec_mutex_unlock(&gGdkLock);
}

void EnterLock()
{
  gdk_threads_enter();
}
void LeaveLock()
{
  gdk_flush();
  gdk_threads_leave();
}

int RunFirstInstance(LRunMode mode, int argc, char** argv, LRunOnceSocket& guard)
{
  if (mode == LRunMode::InstallWizard) {
    RunInstallWizard();
    return 0;
  }
  if (mode == LRunMode::UninstallWizard) {
    if (LIsUserRoot() && RunUninstallWizard() && UninstallDialog::Uninstall())
      PopupBoxInfoNoIcon(nullptr,
                         "Velorin has been removed. You can download it again from http://www.ostrel.com/velorin/",
                         "Uninstall Complete");
    return 0;
  }
  if (mode == LRunMode::SetupExit)
    return 0;
  if (LIsLogonDelayed(argc, argv, LSettingGet(VLKeys::ServiceEnabled)))
    Sleep(kLogonDelayMs);
  auto window = std::make_unique<MainDialog>();
  guard.Watch(*window);
  window->Run(argc, argv);
  guard.Close();
  return 0;
}

}  // namespace

int RunDesktopApplication(LRunMode mode, int argc, char** argv)
{
  gdk_threads_set_lock_functions(&LockGdk, &UnlockGdk);
  gdk_threads_init();
  gtk_init(&argc, &argv);
  gdk_threads_enter();
  InstallToolkitLogHandler();
  LSetMainLoopLockHooks(&EnterLock, &LeaveLock);
  LInstallGtkMessageBoxes();

  int status = 0;
  {
    LRunOnceSocket guard;
    if (guard.Take(argc, argv))
      status = RunFirstInstance(mode, argc, argv, guard);
  }
  gdk_threads_leave();
  return status;
}
