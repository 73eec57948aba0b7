#pragma once

// The channels between the host and the application's interface: each one's name, its
// method names and the keys of what travels on it. The host registers its handlers under
// these names and the built-in interface calls them by the same ones, so the two sides
// cannot drift apart. The texts are the host's contract with every interface and never
// change.
namespace channels {

// Event channel: each listen pings every host address of the local /24 once and streams one
// {kIpKey: address, kSuccessKey: replied} map per address as its ping ends, then one null.
namespace scan {
inline constexpr const char* kName = "com.brovak.tessra/scanForPingableDevices";
inline constexpr int kFirstHost = 1;
inline constexpr int kLastHost = 254;
inline constexpr int kAddressCount = kLastHost - kFirstHost + 1;
inline constexpr const char* kIpKey = "ip";
inline constexpr const char* kSuccessKey = "success";
}  // namespace scan

// Method channel: both methods answer whether a connection to the probe address became
// ready (true or false).
namespace permission {
inline constexpr const char* kName = "com.brovak.tessra/localNetworkPermission";
inline constexpr const char* kCheckMethod = "checkPermissions";
inline constexpr const char* kRequestMethod = "requestPermissions";
}  // namespace permission

// Method channel: read the launch-at-login setting (a boolean), or change it with a map
// {kSetEnabledValueKey: bool} (answered with null whatever happened).
namespace launch_at_startup {
inline constexpr const char* kName = "launch_at_startup";
inline constexpr const char* kIsEnabledMethod = "launchAtStartupIsEnabled";
inline constexpr const char* kSetEnabledMethod = "launchAtStartupSetEnabled";
inline constexpr const char* kSetEnabledValueKey = "setEnabledValue";
}  // namespace launch_at_startup

// Host to interface: a quit request of the desktop, for the interface to decide on.
namespace lifecycle {
inline constexpr const char* kName = "app.lifecycle.channel";
inline constexpr const char* kQuitAttemptMethod = "onQuitAttempt";
}  // namespace lifecycle

}  // namespace channels
