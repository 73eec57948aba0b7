#include "BuiltInInterface/launch_at_login_setting.h"

#include "BuiltInInterface/reply_problem.h"

namespace built_in_interface {

LaunchAtLoginSetting::LaunchAtLoginSetting(engine::messaging::InterfaceSide& interface) : interface_(interface) {}

void LaunchAtLoginSetting::refresh() { read(std::nullopt); }

void LaunchAtLoginSetting::request(bool enabled) {
  ++calls_;
  refused_ = false;
  changed();
  const auto& channel = channels::kLaunchAtStartup;
  flutter::EncodableMap arguments{
      {flutter::EncodableValue(channel.setEnabledValueKey), flutter::EncodableValue(enabled)}};
  auto watch = lifetime_.watch();
  interface_.invokeMethod(channel.name, channel.setEnabledMethod, flutter::EncodableValue(std::move(arguments)),
                          [this, watch, enabled](const flutter::FlutterReply& reply) {
                            if (!dispatch::Lifetime::alive(watch)) return;
                            --calls_;
                            problem_ = replyProblem(reply).value_or("");
                            // Whatever the write answered, only a read tells what holds now.
                            read(enabled);
                          });
}

void LaunchAtLoginSetting::read(std::optional<bool> expected) {
  ++calls_;
  changed();
  auto watch = lifetime_.watch();
  interface_.invokeMethod(channels::kLaunchAtStartup.name, channels::kLaunchAtStartup.isEnabledMethod,
                          flutter::EncodableValue(), [this, watch, expected](const flutter::FlutterReply& reply) {
                            if (!dispatch::Lifetime::alive(watch)) return;
                            --calls_;
                            if (auto problem = replyProblem(reply)) {
                              enabled_.reset();
                              problem_ = *problem;
                            } else if (const auto* value =
                                           std::get_if<bool>(&std::get<flutter::EncodableValue>(reply))) {
                              enabled_ = *value;
                              // After a change, what its write answered stays in view.
                              if (!expected) problem_.clear();
                              refused_ = expected.has_value() && *value != *expected;
                            } else {
                              enabled_.reset();
                              problem_ = "an answer that is not a boolean";
                            }
                            changed();
                          });
}

void LaunchAtLoginSetting::changed() {
  if (onChange_) onChange_();
}

}  // namespace built_in_interface
