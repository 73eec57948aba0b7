#pragma once

#include "Runner/embedding/method_call.h"
#include "Runner/embedding/method_result.h"

// The handler of the "launch_at_startup" method channel: reads and writes
// LaunchAtLogin::isEnabled. Holds no state; answers every call exactly once, synchronously,
// before it returns. Main thread.
void handleLaunchAtStartupCall(const flutter::FlutterMethodCall& call, flutter::FlutterResult result);
