#include "tests/integration/support/x11_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <vector>

namespace tessra::testing {

namespace {
// Windows come and go while they are looked at (a window manager's frames above all); a
// request about one that has just gone is no reason to end the test.
int ignoreErrors(Display*, XErrorEvent*) { return 0; }
}  // namespace

X11Windows::X11Windows() : display_(XOpenDisplay(nullptr)) { XSetErrorHandler(ignoreErrors); }

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
  if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) !=
          Success ||
      !data) {
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

std::vector<::Window> childrenOf(Display* display, ::Window window) {
  ::Window rootReturn, parent;
  ::Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, window, &rootReturn, &parent, &children, &count)) return {};
  std::vector<::Window> result(children, children + count);
  if (children) XFree(children);
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
                         &data) != Success ||
      !data) {
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
  // Top-level windows are the root's children, or, under a window manager that reparents
  // them into frames of its own, the frames' children.
  std::vector<::Window> windows;
  for (::Window frame : childrenOf(display_, DefaultRootWindow(display_))) {
    windows.push_back(frame);
    for (::Window inner : childrenOf(display_, frame)) windows.push_back(inner);
  }
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

unsigned long X11Windows::serverTime() {
  if (!display_) return 0;
  // A property change is stamped with the server's time: make one on a window of our own.
  ::Window window = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
  XSelectInput(display_, window, PropertyChangeMask);
  Atom atom = XInternAtom(display_, "TESSRA_TEST_TIME", False);
  XChangeProperty(display_, window, atom, XA_STRING, 8, PropModeReplace, nullptr, 0);
  XEvent event;
  XWindowEvent(display_, window, PropertyChangeMask, &event);
  XDestroyWindow(display_, window);
  XFlush(display_);
  return event.xproperty.time;
}

}  // namespace tessra::testing
