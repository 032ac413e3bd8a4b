#pragma once

#include <X11/Xlib.h>
#include <gtk/gtk.h>

// What the tray icon reports.  GUI thread.
class LTrayIconHandler {
public:
  virtual void EvTrayLeftClick() = 0;
  virtual void EvTrayRightClick(guint button, guint32 time) = 0;
  // The icon window was closed from outside.
  virtual void EvTrayClosed() = 0;

protected:
  ~LTrayIconHandler() = default;
};

// The notification-area icon, docked by the X11 system tray protocol: a
// 24 x 24 top-level window "TrayIcon" whose _XEMBED_INFO says version 1,
// mapped, sent to the owner of _NET_SYSTEM_TRAY_S<screen> with a dock
// request, and mapped once the tray reports that it embedded it.  GUI
// thread only.
class LTrayIcon {
public:
  LTrayIcon() = default;
  LTrayIcon(const LTrayIcon&) = delete;
  LTrayIcon& operator=(const LTrayIcon&) = delete;
  ~LTrayIcon() { Remove(); }

  // Reads (Settings, TrayID) (above 1000 counts as 0), writes it back and
  // answers it; builds the icon window and asks the tray to dock it.
  int Add(LTrayIconHandler& handler);
  void Remove();

  bool IsEmbedded() const { return embedded_; }
  // The icon window's X id (0 before Add).
  Window GetXWindow() const;

private:
  void RequestDock();
  static GdkFilterReturn GCIconFilter(GdkXEvent* xevent, GdkEvent* event, gpointer self);
  static GdkFilterReturn GCRootFilter(GdkXEvent* xevent, GdkEvent* event, gpointer self);
  static gboolean GSButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static gboolean GSDelete(GtkWidget* widget, GdkEvent* event, gpointer self);

  LTrayIconHandler* handler_ = nullptr;
  GtkWidget* window_ = nullptr;
  Display* display_ = nullptr;
  Atom selection_ = None;
  Atom opcode_ = None;
  Atom xembed_ = None;
  Atom manager_ = None;
  bool embedded_ = false;
  bool filters_ = false;
};
