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

namespace {

// Sends a 32-bit client message with data.l[0] = CurrentTime and the rest.
void SendMessage(Display* display, Window window, Window target, Atom type, long mask, long l1, long l2, long l3)
{
  XEvent event = {};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = type;
  event.xclient.format = 32;
  event.xclient.data.l[0] = CurrentTime;
  event.xclient.data.l[1] = l1;
  event.xclient.data.l[2] = l2;
  event.xclient.data.l[3] = l3;
  XSendEvent(display, target, False, mask, &event);
  XFlush(display);
}

}  // namespace

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
  SendMessage(display, root, root, manager, StructureNotifyMask, static_cast<long>(selection), static_cast<long>(owner),
              0);

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
      // XEMBED_EMBEDDED_NOTIFY (0), with the embedder's window.
      SendMessage(display, icon, icon, xembed, NoEventMask, 0, 0, static_cast<long>(socket));
    } else if (ev.type == MapNotify && ev.xmap.window == icon) {
      std::printf("mapped %lu\n", icon);
    }
  }
}
