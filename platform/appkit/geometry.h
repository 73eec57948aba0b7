#pragma once

namespace appkit {

// A window's frame in screen points: origin and size. Only the size is reliable on X11 and
// Wayland (see WindowBackend), but the origin is carried so that a frame read and applied
// again is the same value.
struct NSRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;

  friend bool operator==(const NSRect&, const NSRect&) = default;
};

}  // namespace appkit
