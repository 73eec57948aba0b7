#pragma once

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/interfaces/interface_addresses.h"

namespace interfaces::testing {

// Hands out whatever list a test sets up, and renders addresses the way getnameinfo
// would (inet_ntop on the bytes). Records what it was asked.
class FakeInterfaceAddresses : public InterfaceAddresses {
 public:
  // Entry builders.
  static InterfaceAddressEntry ipv4(std::string name, const std::string& text) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, text.c_str(), &address.sin_addr);
    return {std::move(name), bytesOf(AF_INET, &address, sizeof(address))};
  }
  static InterfaceAddressEntry ipv6(std::string name, const std::string& text) {
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    inet_pton(AF_INET6, text.c_str(), &address.sin6_addr);
    return {std::move(name), bytesOf(AF_INET6, &address, sizeof(address))};
  }
  // A link-layer entry, as Linux lists one per interface before its IP addresses.
  static InterfaceAddressEntry link(std::string name) {
    std::byte bytes[20] = {};
    return {std::move(name), bytesOf(17 /* AF_PACKET */, bytes, sizeof(bytes))};
  }
  static InterfaceAddressEntry withoutAddress(std::string name) { return {std::move(name), std::nullopt}; }

  std::optional<std::vector<InterfaceAddressEntry>> list() override {
    ++listCalls;
    if (failList) return std::nullopt;
    return entries;
  }

  int numericHost(const SocketAddress& address, std::span<char> host) override {
    numericHostCalls.push_back({address.family, host.size()});
    if (failNumericHost) return EAI_FAMILY;
    if (hostTextOverride) {
      std::strncpy(host.data(), hostTextOverride->c_str(), host.size() - 1);
      return 0;
    }
    const void* raw = nullptr;
    if (address.family == AF_INET && address.bytes.size() >= sizeof(sockaddr_in)) {
      raw = &reinterpret_cast<const sockaddr_in*>(address.bytes.data())->sin_addr;
    } else if (address.family == AF_INET6 && address.bytes.size() >= sizeof(sockaddr_in6)) {
      raw = &reinterpret_cast<const sockaddr_in6*>(address.bytes.data())->sin6_addr;
    }
    if (!raw) return EAI_FAMILY;
    return inet_ntop(address.family, raw, host.data(), static_cast<socklen_t>(host.size())) ? 0 : EAI_OVERFLOW;
  }

  struct NumericHostCall {
    int family;
    size_t bufferSize;
  };

  std::vector<InterfaceAddressEntry> entries;
  bool failList = false;
  bool failNumericHost = false;                 // returns an error and writes nothing
  std::optional<std::string> hostTextOverride;  // written instead of the real text
  int listCalls = 0;
  std::vector<NumericHostCall> numericHostCalls;

 private:
  static SocketAddress bytesOf(int family, const void* data, size_t size) {
    const auto* begin = static_cast<const std::byte*>(data);
    return {family, std::vector<std::byte>(begin, begin + size)};
  }
};

}  // namespace interfaces::testing
