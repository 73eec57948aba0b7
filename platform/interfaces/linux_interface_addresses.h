#pragma once

#include "platform/interfaces/interface_addresses.h"

namespace interfaces {

// InterfaceAddresses over getifaddrs/freeifaddrs/getnameinfo.
class LinuxInterfaceAddresses : public InterfaceAddresses {
 public:
  std::optional<std::vector<InterfaceAddressEntry>> list() override;
  int numericHost(const SocketAddress& address, std::span<char> host) override;
};

}  // namespace interfaces
