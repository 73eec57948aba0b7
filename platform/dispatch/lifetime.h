#pragma once

#include <memory>

namespace dispatch {

// The one way a callback that runs later (a queued task, a reply, a GLib callback) finds out
// whether the object that asked for it still lives: the object owns a Lifetime, the
// callback holds a Watch and asks it before touching the object.
//
//   interface_.invokeMethod(..., [this, watch = lifetime_.watch()](const FlutterReply& reply) {
//     if (Lifetime::alive(watch)) onReply(reply);
//   });
//
// Main thread only: a Watch says nothing about an object another thread may be destroying.
class Lifetime {
 public:
  using Watch = std::weak_ptr<const char>;

  Lifetime() : token_(std::make_shared<const char>('\0')) {}
  Lifetime(const Lifetime&) = delete;
  Lifetime& operator=(const Lifetime&) = delete;

  Watch watch() const { return token_; }
  static bool alive(const Watch& watch) { return !watch.expired(); }

 private:
  std::shared_ptr<const char> token_;
};

}  // namespace dispatch
