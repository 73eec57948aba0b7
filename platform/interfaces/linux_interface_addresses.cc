#include "platform/interfaces/linux_interface_addresses.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace interfaces {

static_assert(kFamilyInet == AF_INET);
static_assert(kFamilyInet6 == AF_INET6);

namespace {

struct IfaddrsDeleter {
  void operator()(ifaddrs* list) const { freeifaddrs(list); }
};
using IfaddrsList = std::unique_ptr<ifaddrs, IfaddrsDeleter>;

// The size of a socket address of `family`, the length getnameinfo expects. Linux has no
// sa_len field, so the family is the only guide.
socklen_t addressLength(int family) {
  switch (family) {
    case AF_INET:
      return sizeof(sockaddr_in);
    case AF_INET6:
      return sizeof(sockaddr_in6);
    case AF_PACKET:
      return sizeof(sockaddr_ll);
    default:
      return sizeof(sockaddr);
  }
}

}  // namespace

std::optional<std::vector<InterfaceAddressEntry>> LinuxInterfaceAddresses::list() {
  ifaddrs* head = nullptr;
  if (getifaddrs(&head) != 0) return std::nullopt;
  IfaddrsList owned(head);

  std::vector<InterfaceAddressEntry> entries;
  for (const ifaddrs* entry = head; entry != nullptr; entry = entry->ifa_next) {
    InterfaceAddressEntry copy;
    if (entry->ifa_name) copy.name = entry->ifa_name;
    if (entry->ifa_addr) {
      SocketAddress address;
      address.family = entry->ifa_addr->sa_family;
      const auto* bytes = reinterpret_cast<const std::byte*>(entry->ifa_addr);
      address.bytes.assign(bytes, bytes + addressLength(address.family));
      copy.address = std::move(address);
    }
    entries.push_back(std::move(copy));
  }
  return entries;
}

int LinuxInterfaceAddresses::numericHost(const SocketAddress& address, std::span<char> host) {
  // The bytes carry no alignment of their own; getnameinfo reads a sockaddr.
  sockaddr_storage storage{};
  const size_t length = std::min(address.bytes.size(), sizeof(storage));
  std::memcpy(&storage, address.bytes.data(), length);
  return getnameinfo(reinterpret_cast<const sockaddr*>(&storage), static_cast<socklen_t>(length), host.data(),
                     static_cast<socklen_t>(host.size()), nullptr, 0, NI_NUMERICHOST);
}

}  // namespace interfaces
