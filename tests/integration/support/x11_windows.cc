#include "tests/integration/support/x11_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <vector>

namespace tessra::testing {

X11Windows::X11Windows() : display_(XOpenDisplay(nullptr)) {}

X11Windows::~X11Windows() {
  if (display_) XCloseDisplay(display_);
}

namespace {

std::optional<long> windowPid(Display* display, ::Window window) {
  Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
  if (pidAtom == None) return std::nullopt;
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                         &data) != Success || !data) {
    return std::nullopt;
  }
  long pid = count == 1 ? static_cast<long>(*reinterpret_cast<unsigned long*>(data)) : -1;
  XFree(data);
  return pid;
}

std::string windowName(Display* display, ::Window window) {
  char* name = nullptr;
  if (!XFetchName(display, window, &name) || !name) return {};
  std::string result(name);
  XFree(name);
  return result;
}

void readFrameExtents(Display* display, ::Window window, X11Windows::Window& found) {
  Atom extentsAtom = XInternAtom(display, "_GTK_FRAME_EXTENTS", True);
  if (extentsAtom == None) return;
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, extentsAtom, 0, 4, False, XA_CARDINAL, &type, &format, &count, &after,
                         &data) != Success || !data) {
    return;
  }
  if (count == 4) {
    const auto* extents = reinterpret_cast<unsigned long*>(data);
    found.frameLeft = static_cast<int>(extents[0]);
    found.frameRight = static_cast<int>(extents[1]);
    found.frameTop = static_cast<int>(extents[2]);
    found.frameBottom = static_cast<int>(extents[3]);
  }
  XFree(data);
}

}  // namespace

std::optional<X11Windows::Window> X11Windows::find(const std::string& title, long pid) {
  if (!display_) return std::nullopt;
  ::Window root = DefaultRootWindow(display_), rootReturn, parent;
  ::Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display_, root, &rootReturn, &parent, &children, &count)) return std::nullopt;
  std::vector<::Window> windows(children, children + count);
  if (children) XFree(children);
  // GDK also names its small, never-mapped client leader window after the application, so
  // of the matches the largest is the real window.
  std::optional<Window> best;
  for (::Window window : windows) {
    if (windowName(display_, window) != title || windowPid(display_, window) != pid) continue;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, window, &attributes)) continue;
    Window found{window, attributes.map_state == IsViewable, attributes.width, attributes.height};
    readFrameExtents(display_, window, found);
    if (!best || found.width * found.height > best->width * best->height) best = found;
  }
  return best;
}

void X11Windows::requestClose(unsigned long window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display_, window, False, NoEventMask, &event);
  XFlush(display_);
}

}  // namespace tessra::testing
