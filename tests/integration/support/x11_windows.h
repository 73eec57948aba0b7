#pragma once

#include <optional>
#include <string>

struct _XDisplay;

namespace tessra::testing {

// Looks at top-level windows of the X display named by DISPLAY, as a window manager or a
// person would see them.
class X11Windows {
 public:
  X11Windows();
  ~X11Windows();
  X11Windows(const X11Windows&) = delete;
  X11Windows& operator=(const X11Windows&) = delete;

  bool connected() const { return display_ != nullptr; }

  struct Window {
    unsigned long id = 0;
    bool mapped = false;
    int width = 0;
    int height = 0;
    // The invisible border GTK draws around a window it decorates itself (its header bar
    // then also sits inside the window), from _GTK_FRAME_EXTENTS; zero for other windows.
    int frameLeft = 0;
    int frameRight = 0;
    int frameTop = 0;
    int frameBottom = 0;
  };
  // The first top-level window of process `pid` titled `title` (_NET_WM_PID and WM_NAME).
  std::optional<Window> find(const std::string& title, long pid);
  // Asks the window to close the way a window manager's close button does (WM_DELETE_WINDOW).
  void requestClose(unsigned long window);
  // The X server's time now, as a launcher puts it in a startup notification id ("_TIME<t>").
  unsigned long serverTime();

 private:
  ::_XDisplay* display_ = nullptr;
};

}  // namespace tessra::testing
