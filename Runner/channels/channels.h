#pragma once

// The channels between the host and the application's interface: each one's name, its
// method names and the keys of what travels on it. The host registers its handlers under
// these names and the built-in interface calls them by the same ones, so the two sides
// cannot drift apart. The texts are the host's contract with every interface and never
// change.
namespace channels {

// Event channel: each listen pings host numbers firstHost to lastHost of the local /24 once
// (every address but the network's and the broadcast) and streams one map per address as
// its ping ends, {ipKey: "a.b.c.d", successKey: replied}, then one null.
struct ScanChannel {
  const char* name;
  int firstHost;
  int lastHost;
  const char* ipKey;
  const char* successKey;

  constexpr int addressCount() const { return lastHost - firstHost + 1; }
};
inline constexpr ScanChannel kScan{"com.brovak.tessra/scanForPingableDevices", 1, 254, "ip", "success"};

// Method channel: both methods answer whether a connection to the probe address became
// ready (true or false); on this platform nobody is asked.
struct PermissionChannel {
  const char* name;
  const char* checkMethod;
  const char* requestMethod;
};
inline constexpr PermissionChannel kPermission{"com.brovak.tessra/localNetworkPermission", "checkPermissions",
                                               "requestPermissions"};

// Method channel: reading answers a boolean; a change takes a map {setEnabledValueKey: bool}
// and is answered with null whatever happened.
struct LaunchAtStartupChannel {
  const char* name;
  const char* isEnabledMethod;
  const char* setEnabledMethod;
  const char* setEnabledValueKey;
};
inline constexpr LaunchAtStartupChannel kLaunchAtStartup{"launch_at_startup", "launchAtStartupIsEnabled",
                                                         "launchAtStartupSetEnabled", "setEnabledValue"};

// Host to interface: a quit request of the desktop, for the interface to decide on.
struct LifecycleChannel {
  const char* name;
  const char* quitAttemptMethod;
};
inline constexpr LifecycleChannel kLifecycle{"app.lifecycle.channel", "onQuitAttempt"};

}  // namespace channels
