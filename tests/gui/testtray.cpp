// A minimal notification area for the tray tests: owns _NET_SYSTEM_TRAY_S<n>,
// announces itself with MANAGER, embeds every icon that asks to dock into a
// 24 x 24 window of its own at (600, 10), tells it so with XEMBED, and
// reports on standard output, one line each:
//   dock <icon window id>   a dock request arrived
//   mapped <icon window id> the embedded icon window was mapped
// Runs until killed.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>

int main()
{
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fputs("no display\n", stderr);
    return 1;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  char name[64];
  std::snprintf(name, sizeof name, "_NET_SYSTEM_TRAY_S%d", screen);
  const Atom selection = XInternAtom(display, name, False);
  const Atom opcode = XInternAtom(display, "_NET_SYSTEM_TRAY_OPCODE", False);
  const Atom xembed = XInternAtom(display, "_XEMBED", False);
  const Atom manager = XInternAtom(display, "MANAGER", False);

  Window owner = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(display, selection, owner, CurrentTime);
  if (XGetSelectionOwner(display, selection) != owner) {
    std::fputs("tray selection taken\n", stderr);
    return 1;
  }
  XEvent announce = {};
  announce.xclient.type = ClientMessage;
  announce.xclient.window = root;
  announce.xclient.message_type = manager;
  announce.xclient.format = 32;
  announce.xclient.data.l[0] = CurrentTime;
  announce.xclient.data.l[1] = static_cast<long>(selection);
  announce.xclient.data.l[2] = static_cast<long>(owner);
  XSendEvent(display, root, False, StructureNotifyMask, &announce);
  XFlush(display);

  Window icon = None;
  for (;;) {
    XEvent ev;
    XNextEvent(display, &ev);
    if (ev.type == ClientMessage && ev.xclient.message_type == opcode && ev.xclient.data.l[1] == 0) {
      if (icon != None)
        continue;  // one icon is enough for the tests
      icon = static_cast<Window>(ev.xclient.data.l[2]);
      std::printf("dock %lu\n", icon);
      Window socket = XCreateSimpleWindow(display, root, 600, 10, 24, 24, 0, 0, 0xffffff);
      XSelectInput(display, icon, StructureNotifyMask);
      XReparentWindow(display, icon, socket, 0, 0);
      XMapWindow(display, socket);
      XEvent notify = {};
      notify.xclient.type = ClientMessage;
      notify.xclient.window = icon;
      notify.xclient.message_type = xembed;
      notify.xclient.format = 32;
      notify.xclient.data.l[0] = CurrentTime;
      notify.xclient.data.l[1] = 0;  // XEMBED_EMBEDDED_NOTIFY
      notify.xclient.data.l[3] = static_cast<long>(socket);
      notify.xclient.data.l[4] = 0;
      XSendEvent(display, icon, False, NoEventMask, &notify);
      XFlush(display);
    } else if (ev.type == MapNotify && ev.xmap.window == icon) {
      std::printf("mapped %lu\n", icon);
    }
  }
}
