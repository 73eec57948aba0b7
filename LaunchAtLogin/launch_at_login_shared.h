#pragma once

// Internal to LaunchAtLogin's sources: the component's process-wide objects.

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "LaunchAtLogin/launch_at_login.h"
#include "LaunchAtLogin/launch_at_login_kvo.h"
#include "LaunchAtLogin/launch_at_login_observable.h"

// Each object is created at most once, by its first user, under its own once_flag (so a
// creation that reads the system never waits on, or deadlocks with, another one).
struct LaunchAtLogin::Shared {
  std::optional<LoginItemPlatform> platform;

  std::once_flag idOnce;
  std::optional<std::string> id;

  std::once_flag loggerOnce;
  std::unique_ptr<system_log::Logger> logger;

  std::once_flag observableOnce;
  std::shared_ptr<Observable> observable;

  std::once_flag kvoOnce;
  std::shared_ptr<KVO> kvo;

  std::once_flag publisherOnce;
  std::shared_ptr<observation::CurrentValueSubject<bool>> publisher;
};
