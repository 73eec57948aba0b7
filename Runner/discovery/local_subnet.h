#pragma once

#include <optional>
#include <string>

namespace interfaces {
class InterfaceAddresses;
}

namespace discovery {

// Subnet detection: which /24 the host sits on. The first three components of the first
// IPv4 address on an "en" (Ethernet) interface or, where there is none, on a "wl" (Wi-Fi)
// interface; nothing when no such address exists. Keeps nothing between calls and has no
// effect beyond reading the system's list. Main thread (it is synchronous).
class LocalSubnet {
 public:
  explicit LocalSubnet(interfaces::InterfaceAddresses& interfaces) : interfaces_(interfaces) {}
  LocalSubnet(const LocalSubnet&) = delete;
  LocalSubnet& operator=(const LocalSubnet&) = delete;

  // "192.168.1" for an address 192.168.1.37.
  std::optional<std::string> prefix() const;

 private:
  interfaces::InterfaceAddresses& interfaces_;
};

}  // namespace discovery
