#include "BuiltInInterface/permission_check.h"

#include "BuiltInInterface/reply_problem.h"

namespace built_in_interface {

PermissionCheck::PermissionCheck(engine::messaging::InterfaceSide& interface) : interface_(interface) {}

void PermissionCheck::check() {
  ++pending_;
  changed();
  auto watch = lifetime_.watch();
  interface_.invokeMethod(channels::kPermission.name, channels::kPermission.checkMethod, flutter::EncodableValue(),
                          [this, watch](const flutter::FlutterReply& reply) {
                            if (dispatch::Lifetime::alive(watch)) onReply(reply);
                          });
}

void PermissionCheck::onReply(const flutter::FlutterReply& reply) {
  --pending_;
  problem_.clear();
  if (auto problem = replyProblem(reply)) {
    answer_ = Answer::kNoAnswer;
    problem_ = *problem;
  } else if (const auto* granted = std::get_if<bool>(&std::get<flutter::EncodableValue>(reply))) {
    answer_ = *granted ? Answer::kGranted : Answer::kDenied;
  } else {
    answer_ = Answer::kNoAnswer;
    problem_ = "an answer that is not a boolean";
  }
  changed();
}

void PermissionCheck::changed() {
  if (onChange_) onChange_();
}

}  // namespace built_in_interface
