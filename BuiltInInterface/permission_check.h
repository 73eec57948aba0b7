#pragma once

#include <functional>
#include <string>

#include "Runner/channels/channels.h"
#include "engine/messaging/interface_side.h"
#include "platform/dispatch/lifetime.h"

namespace built_in_interface {

// The "Check permission" action apart from its look: each check is one "checkPermissions"
// call; several may be pending at once and each answer replaces the one before, so the
// last answer stays in view while a newer call is pending. Main thread only.
class PermissionCheck {
 public:
  enum class Answer {
    kNone,      // never answered yet
    kGranted,   // true
    kDenied,    // false
    kNoAnswer,  // not implemented, an error, or a value that is no boolean; see problem()
  };

  explicit PermissionCheck(engine::messaging::InterfaceSide& interface);
  PermissionCheck(const PermissionCheck&) = delete;
  PermissionCheck& operator=(const PermissionCheck&) = delete;

  // Called after every change: a call sent, an answer received.
  void setOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

  void check();

  int pending() const { return pending_; }
  Answer answer() const { return answer_; }
  const std::string& problem() const { return problem_; }

 private:
  void onReply(const flutter::FlutterReply& reply);
  void changed();

  engine::messaging::InterfaceSide& interface_;
  std::function<void()> onChange_;
  int pending_ = 0;
  Answer answer_ = Answer::kNone;
  std::string problem_;
  dispatch::Lifetime lifetime_;
};

}  // namespace built_in_interface
