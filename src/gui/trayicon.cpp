#include "gui/trayicon.h"

#include "base/file.h"
#include "settings/settings.h"

#include <X11/Xatom.h>
#include <cstdio>
#include <gdk/gdkx.h>

namespace {

constexpr long kRequestDock = 0;
constexpr long kXEmbedEmbeddedNotify = 0;
constexpr int kIconSize = 24;
constexpr int kTrayIdWrap = 1000;

}  // namespace

int LTrayIcon::Add(LTrayIconHandler& handler)
{
  Remove();
  handler_ = &handler;
  int trayId = LSettingGetInt("Settings", "TrayID", 0);
  if (trayId > kTrayIdWrap)
    trayId = 0;
  LSettingSetInt("Settings", "TrayID", trayId);

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), "TrayIcon");
  gtk_widget_set_size_request(window_, kIconSize, kIconSize);
  gtk_widget_add_events(window_, GDK_BUTTON_PRESS_MASK);
  char path[260];
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file_at_size(GetResourcePath(12, path), kIconSize, kIconSize, nullptr);
  GtkWidget* image = pixbuf != nullptr ? gtk_image_new_from_pixbuf(pixbuf) : gtk_image_new();
  if (pixbuf != nullptr)
    g_object_unref(pixbuf);
  gtk_container_add(GTK_CONTAINER(window_), image);
  gtk_widget_show(image);
  g_signal_connect(window_, "button-press-event", G_CALLBACK(GSButtonPress), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(GSDelete), this);
  gtk_widget_realize(window_);

  GdkWindow* gdkWindow = gtk_widget_get_window(window_);
  display_ = GDK_WINDOW_XDISPLAY(gdkWindow);
  char name[64];
  std::snprintf(name, sizeof name, "_NET_SYSTEM_TRAY_S%d", DefaultScreen(display_));
  selection_ = XInternAtom(display_, name, False);
  opcode_ = XInternAtom(display_, "_NET_SYSTEM_TRAY_OPCODE", False);
  xembed_ = XInternAtom(display_, "_XEMBED", False);
  manager_ = XInternAtom(display_, "MANAGER", False);
  long info[2] = {1, 1};  // XEMBED version 1, mapped
  Atom infoAtom = XInternAtom(display_, "_XEMBED_INFO", False);
  XChangeProperty(display_, GetXWindow(), infoAtom, infoAtom, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(info), 2);

  gdk_window_add_filter(gdkWindow, &LTrayIcon::GCIconFilter, this);
  // A tray that starts later announces itself with MANAGER on the root window.
  GdkWindow* root = gdk_get_default_root_window();
  gdk_window_set_events(root, GdkEventMask(gdk_window_get_events(root) | GDK_STRUCTURE_MASK));
  gdk_window_add_filter(root, &LTrayIcon::GCRootFilter, this);
  filters_ = true;
  RequestDock();
  return trayId;
}

void LTrayIcon::Remove()
{
  if (window_ == nullptr)
    return;
  if (filters_) {
    gdk_window_remove_filter(gtk_widget_get_window(window_), &LTrayIcon::GCIconFilter, this);
    gdk_window_remove_filter(gdk_get_default_root_window(), &LTrayIcon::GCRootFilter, this);
    filters_ = false;
  }
  gtk_widget_destroy(window_);
  window_ = nullptr;
  embedded_ = false;
}

Window LTrayIcon::GetXWindow() const
{
  return window_ != nullptr && gtk_widget_get_window(window_) != nullptr
             ? GDK_WINDOW_XID(gtk_widget_get_window(window_))
             : 0;
}

void LTrayIcon::RequestDock()
{
  Window icon = GetXWindow();
  XUnmapWindow(display_, icon);
  XGrabServer(display_);
  Window tray = XGetSelectionOwner(display_, selection_);
  if (tray != None)
    XSelectInput(display_, tray, StructureNotifyMask);
  XUngrabServer(display_);
  XFlush(display_);
  if (tray != None) {
    XEvent ev = {};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = tray;
    ev.xclient.message_type = opcode_;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = CurrentTime;
    ev.xclient.data.l[1] = kRequestDock;
    ev.xclient.data.l[2] = static_cast<long>(icon);
    XSendEvent(display_, tray, False, NoEventMask, &ev);
  }
  XSync(display_, False);
}

// Waits for the tray's "embedded" notice.  The icon does not nudge itself
// with messages to its own window while it waits: that loop would spin the
// CPU for as long as no tray exists.  A tray that appears later says so on
// the root window (GCRootFilter), and the request is sent again then.
GdkFilterReturn LTrayIcon::GCIconFilter(GdkXEvent* xevent, GdkEvent*, gpointer self)
{
  auto* tray = static_cast<LTrayIcon*>(self);
  auto* ev = static_cast<XEvent*>(xevent);
  if (tray->embedded_)
    return GDK_FILTER_CONTINUE;
  if (ev->type == ClientMessage && ev->xclient.message_type == tray->xembed_ &&
      ev->xclient.data.l[1] == kXEmbedEmbeddedNotify) {
    tray->embedded_ = true;
    gtk_widget_show(tray->window_);
    XMapWindow(tray->display_, tray->GetXWindow());
  }
  return GDK_FILTER_CONTINUE;
}

GdkFilterReturn LTrayIcon::GCRootFilter(GdkXEvent* xevent, GdkEvent*, gpointer self)
{
  auto* tray = static_cast<LTrayIcon*>(self);
  auto* ev = static_cast<XEvent*>(xevent);
  if (!tray->embedded_ && ev->type == ClientMessage && ev->xclient.message_type == tray->manager_ &&
      static_cast<Atom>(ev->xclient.data.l[1]) == tray->selection_)
    tray->RequestDock();
  return GDK_FILTER_CONTINUE;
}

gboolean LTrayIcon::GSButtonPress(GtkWidget*, GdkEventButton* event, gpointer self)
{
  auto* tray = static_cast<LTrayIcon*>(self);
  if (event->type != GDK_BUTTON_PRESS)
    return FALSE;
  if (event->button == 1)
    tray->handler_->EvTrayLeftClick();
  else if (event->button == 3)
    tray->handler_->EvTrayRightClick(event->button, event->time);
  return TRUE;
}

gboolean LTrayIcon::GSDelete(GtkWidget*, GdkEvent*, gpointer self)
{
  static_cast<LTrayIcon*>(self)->handler_->EvTrayClosed();
  return TRUE;
}
