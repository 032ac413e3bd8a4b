// A minimal notification area: embeds the first icon that docks into a 24 x 24 window at
// (600, 10) and prints "dock <icon>", then "mapped <icon>".  Runs until killed.
#include <X11/Xlib.h>
#include <cstdio>

namespace {

void Send(Display* display, Window window, Window target, Atom type, long mask, long l1, long l2, long l3)
{
  XEvent event = {};
  event.xclient = {ClientMessage, 0, False, display, window, type, 32, {.l = {CurrentTime, l1, l2, l3, 0}}};
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
      Send(display, icon, icon, XInternAtom(display, "_XEMBED", False), NoEventMask, 0, 0, static_cast<long>(socket));
    } else if (ev.type == MapNotify && ev.xmap.window == icon) {
      std::printf("mapped %lu\n", icon);
    }
  }
}
