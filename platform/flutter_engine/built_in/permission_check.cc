#include "platform/flutter_engine/built_in/permission_check.h"

#include "platform/flutter_engine/built_in/reply_problem.h"

namespace engine::built_in {

PermissionCheck::PermissionCheck(InterfaceSide& interface) : interface_(interface) {}

void PermissionCheck::check() {
  ++pending_;
  changed();
  auto watch = lifetime_.watch();
  interface_.invokeMethod(kChannel, "checkPermissions", flutter::EncodableValue(),
                          [this, watch](const flutter::FlutterReply& reply) {
                            if (Lifetime::alive(watch)) onReply(reply);
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

}  // namespace engine::built_in
