#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>

namespace dispatch {
class MainQueue;
}
namespace network {
class ConnectionFactory;
}

namespace discovery {

// The permission probe connects here.
inline constexpr const char* kPermissionProbeHost = "127.0.0.1";
inline constexpr uint16_t kPermissionProbePort = 80;
// A loopback connection is accepted or refused within milliseconds; one that is neither
// after this long is stuck (no usable path, a firewall dropping packets) and would
// otherwise leave the interface's call unanswered for good.
inline constexpr std::chrono::milliseconds kPermissionProbeTimeout{5000};

// The permission probe: whether a TCP connection to the loopback address's port 80 becomes
// ready. Each request is one connection attempt that answers exactly once, when the
// connection becomes ready (true), fails (false) or takes longer than
// kPermissionProbeTimeout (false); each answer writes one line to `out` first, and the
// connection is cancelled after it. Requests are independent. Main thread: requests come
// and answers go there.
class PermissionProbe {
 public:
  PermissionProbe(network::ConnectionFactory& connections, dispatch::MainQueue& mainQueue, std::ostream& out)
      : connections_(connections), mainQueue_(mainQueue), out_(out) {}
  PermissionProbe(const PermissionProbe&) = delete;
  PermissionProbe& operator=(const PermissionProbe&) = delete;

  // Starts one attempt and returns; `completion` is called later, never before this has
  // returned. An attempt keeps itself alive until it has answered; this object need not.
  void request(std::function<void(bool granted)> completion) const;

 private:
  class Attempt;

  network::ConnectionFactory& connections_;
  dispatch::MainQueue& mainQueue_;
  std::ostream& out_;
};

}  // namespace discovery
