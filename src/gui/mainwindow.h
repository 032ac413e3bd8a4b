#pragma once

#include "app/mainengineproxy.h"
#include "gui/runonce.h"
#include "gui/statuswin.h"
#include "gui/trayicon.h"
#include "gui/window.h"

// Command ids: one number space for the menu, the toolbar, the tray menu
// and the keyboard shortcuts.
enum : int {
  kCmConnect = 2003,
  kCmSettings = 2001,
  kCmViewLogs = 2002,
  kCmOpen = 1007,
  kCmCloseToTray = 802,
  kCmExitStopServer = 801,
  kCmHelpContents = 9001,
  kCmHelpProductHome = 9005,
  kCmHelpSupport = 9006,
  kCmHelpMakerHome = 9009,
  kCmHelpProductPage = 9080,
  kCmHelpAbout = 9090,
};

// The status pane's control id.
inline constexpr int kIdStatusPane = 198;

// The desktop's main window: menu, toolbar, status bar, the status pane and
// the tray icon.  It owns the engine proxy: the engine starts with the
// window and stops when it is destroyed.  Closing the window only hides it.
// GUI thread only.
class MainDialog : public LWindow, public LRunOnceTarget, public LTrayIconHandler {
public:
  MainDialog();
  ~MainDialog() override;

  // Builds and shows the window, hands it the command line and runs the
  // main loop until the program is told to quit.
  int Run(int argc, const char* const* argv);

  // Arguments a second start forwards are ignored.
  void EvRunArguments(const char* const* args, int count) override;
  void CmOpen() override;

  bool InitDialog() override;
  void DestroyDialog() override;
  // "Confirm Stop": true (stop the server) only for No; Yes hides the window.
  bool CmCancel() override;
  void Command(int id) override;
  void CmClose() override;
  void CmExit() override;
  void EvNotifyIconContextMenu(guint button, guint32 time);

  void EvTrayLeftClick() override;
  void EvTrayRightClick(guint button, guint32 time) override;
  void EvTrayClosed() override;

  bool IsVisible() const;

private:
  GtkWidget* BuildMenu(GtkAccelGroup* accel);
  GtkWidget* BuildToolBar();
  void RestoreGeometry();
  void StoreGeometry();
  static gboolean GSDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
  static gboolean GSWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer self);
  static void GSMenuItem(GtkMenuItem* item, gpointer self);
  static gboolean GSQuit(gpointer self);

  LLogWindow log_;
  MainEngineProxy proxy_;
  LTrayIcon tray_;
  int messageCounter_ = 0;
  bool maximized_ = false;
  GtkWidget* statusBar_ = nullptr;
  GtkWidget* trayMenu_ = nullptr;
};
