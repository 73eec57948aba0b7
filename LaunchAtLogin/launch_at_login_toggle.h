#pragma once

#include <concepts>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "LaunchAtLogin/launch_at_login.h"
#include "LaunchAtLogin/launch_at_login_observable.h"
#include "platform/view/view.h"

// A ready-made settings switch for launching at login: its state is a fresh read of
// LaunchAtLogin::isEnabled each time it is drawn, flipping it is one full write, and it is
// redrawn whenever the shared observable announces a change. Host its body() with a view
// host (view::gtk::ToggleHost on Linux).
template <typename Label>
class LaunchAtLogin::Toggle {
 public:
  // clang-format 14 cannot keep a requires-clause on a line of its own.
  // clang-format off
  // Any label, built once by `label` during construction.
  template <typename Builder>
    requires std::is_invocable_r_v<Label, Builder>
  explicit Toggle(Builder&& label)
      : _launchAtLogin(LaunchAtLogin::observable()), label(std::forward<Builder>(label)()) {}

  // A text label looked up in the application's translations.
  explicit Toggle(view::LocalizedStringKey titleKey)
    requires std::same_as<Label, view::Text>
      : _launchAtLogin(LaunchAtLogin::observable()), label(view::Text(std::move(titleKey))) {}

  // A text label shown verbatim.
  template <typename Title>
    requires(std::same_as<Label, view::Text> && std::convertible_to<const Title&, std::string_view>)
  explicit Toggle(const Title& title)
      : _launchAtLogin(LaunchAtLogin::observable()),
        label(view::Text::verbatim(std::string(std::string_view(title)))) {}

  // "Launch at login", verbatim in every language.
  Toggle()
    requires std::same_as<Label, view::Text>
      : Toggle("Launch at login") {}
  // clang-format on

  view::Toggle<Label> body() const {
    return {_launchAtLogin.binding(&Observable::isEnabled, &Observable::setIsEnabled), label};
  }

 private:
  view::ObservedObject<Observable> _launchAtLogin;
  Label label;
};
