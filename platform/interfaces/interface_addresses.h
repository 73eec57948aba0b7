#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace interfaces {

// Address families as the system numbers them (Linux values; the adapter checks them
// against the system headers), so that callers need no socket headers to tell them apart.
inline constexpr int kFamilyInet = 2;
inline constexpr int kFamilyInet6 = 10;

// A socket address as the system stored it: its family and its bytes, as many as belong
// to that family (Linux keeps no length inside the address itself).
struct SocketAddress {
  int family = 0;
  std::vector<std::byte> bytes;
};

// One entry of the system's interface address list. An entry can lack an address (an
// interface with no address of some kind) and, in principle, a name.
struct InterfaceAddressEntry {
  std::optional<std::string> name;
  std::optional<SocketAddress> address;
};

// Port: the system's interface addresses. The Linux adapter wraps getifaddrs, freeifaddrs
// and getnameinfo and decides nothing; choosing an interface is the caller's business.
// Stateless; any thread.
class InterfaceAddresses {
 public:
  virtual ~InterfaceAddresses() = default;
  InterfaceAddresses() = default;
  InterfaceAddresses(const InterfaceAddresses&) = delete;
  InterfaceAddresses& operator=(const InterfaceAddresses&) = delete;

  // The entries in the system's order, or nothing when the system could not list them.
  virtual std::optional<std::vector<InterfaceAddressEntry>> list() = 0;

  // getnameinfo with NI_NUMERICHOST alone and no service: writes the address's numeric
  // text, NUL-terminated, into `host` (never more than host.size() bytes) and returns
  // getnameinfo's own result (0 on success). On failure `host` may be left as it was.
  virtual int numericHost(const SocketAddress& address, std::span<char> host) = 0;
};

}  // namespace interfaces
