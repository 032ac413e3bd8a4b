#include "gui/notifybubble.h"

#include <dlfcn.h>

namespace {

// The library's functions, looked up by name once.
struct LNotifyLib {
  using InitFn = gboolean (*)(const char*);
  using NewFn = GObject* (*)(const char*, const char*, const char*);
  using TimeoutFn = void (*)(GObject*, gint);
  using HintFn = void (*)(GObject*, const char*, gint);
  using ShowFn = gboolean (*)(GObject*, GError**);

  bool loaded = false;
  InitFn init = nullptr;
  NewFn create = nullptr;
  TimeoutFn setTimeout = nullptr;
  HintFn setHintInt32 = nullptr;
  ShowFn show = nullptr;

  LNotifyLib()
  {
    // The development name first, then the run-time package's soname.
    void* lib = dlopen("libnotify.so", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr)
      lib = dlopen("libnotify.so.4", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr)
      return;
    // The library stays loaded for the life of the process: bubbles may
    // still be open at exit.
    init = reinterpret_cast<InitFn>(dlsym(lib, "notify_init"));
    create = reinterpret_cast<NewFn>(dlsym(lib, "notify_notification_new"));
    setTimeout = reinterpret_cast<TimeoutFn>(dlsym(lib, "notify_notification_set_timeout"));
    setHintInt32 = reinterpret_cast<HintFn>(dlsym(lib, "notify_notification_set_hint_int32"));
    show = reinterpret_cast<ShowFn>(dlsym(lib, "notify_notification_show"));
    loaded = init != nullptr && create != nullptr && setTimeout != nullptr && show != nullptr && init("Velorin");
  }
};

void GSBubbleClosed(GObject* bubble, gpointer)
{
  g_object_unref(bubble);
}

}  // namespace

bool LShowNotifyBubble(GtkWidget* anchor, const char* summary, const char* body)
{
  static LNotifyLib lib;
  if (!lib.loaded)
    return false;
  GObject* bubble = lib.create(summary, body, "gtk-stop");
  if (bubble == nullptr)
    return false;
  lib.setTimeout(bubble, 15000);
  // Anchor at the control: the bubble points at its middle on the screen.
  if (anchor != nullptr && lib.setHintInt32 != nullptr && gtk_widget_get_realized(anchor)) {
    gint x = 0;
    gint y = 0;
    gdk_window_get_origin(gtk_widget_get_window(anchor), &x, &y);
    GtkAllocation a;
    gtk_widget_get_allocation(anchor, &a);
    if (!gtk_widget_get_has_window(anchor)) {
      x += a.x;
      y += a.y;
    }
    lib.setHintInt32(bubble, "x", x + a.width / 2);
    lib.setHintInt32(bubble, "y", y + a.height / 2);
  }
  if (!lib.show(bubble, nullptr)) {
    g_object_unref(bubble);
    return false;
  }
  g_signal_connect(bubble, "closed", G_CALLBACK(GSBubbleClosed), nullptr);
  return true;
}
