// A minimal notification area for the tray tests: owns _NET_SYSTEM_TRAY_S<n>,
// announces itself with MANAGER, embeds the first icon that asks to dock into
// a 24 x 24 window at (600, 10), tells it so with XEMBED, and reports
// "dock <icon>" and then "mapped <icon>" on standard output.  Runs until killed.
#include <X11/Xlib.h>
#include <cstdio>

namespace {

// A 32-bit client message: CurrentTime, then l1..l3.
void Send(Display* display, Window window, Window target, Atom type, long mask, long l1, long l2, long l3)
{
  XEvent event = {};
  event.xclient = {ClientMessage, 0, False, display, window, type, 32, {}};
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
  if (display == nullptr)
    return std::fputs("no display\n", stderr), 1;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const Window root = DefaultRootWindow(display);
  char name[64];
  std::snprintf(name, sizeof name, "_NET_SYSTEM_TRAY_S%d", DefaultScreen(display));
  const Atom selection = XInternAtom(display, name, False);
  const Atom opcode = XInternAtom(display, "_NET_SYSTEM_TRAY_OPCODE", False);
  const Window owner = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(display, selection, owner, CurrentTime);
  if (XGetSelectionOwner(display, selection) != owner)
    return std::fputs("tray selection taken\n", stderr), 1;
  Send(display, root, root, XInternAtom(display, "MANAGER", False), StructureNotifyMask, static_cast<long>(selection),
       static_cast<long>(owner), 0);

  for (Window icon = None;;) {
    XEvent ev;
    XNextEvent(display, &ev);
    if (icon == None && ev.type == ClientMessage && ev.xclient.message_type == opcode && ev.xclient.data.l[1] == 0) {
      icon = static_cast<Window>(ev.xclient.data.l[2]);
      std::printf("dock %lu\n", icon);
      Window socket = XCreateSimpleWindow(display, root, 600, 10, 24, 24, 0, 0, 0xffffff);
      XSelectInput(display, icon, StructureNotifyMask);
      XReparentWindow(display, icon, socket, 0, 0);
      XMapWindow(display, socket);
      // XEMBED_EMBEDDED_NOTIFY (0), with the embedder's window.
      Send(display, icon, icon, XInternAtom(display, "_XEMBED", False), NoEventMask, 0, 0, static_cast<long>(socket));
    } else if (ev.type == MapNotify && ev.xmap.window == icon) {
      std::printf("mapped %lu\n", icon);
    }
  }
}
