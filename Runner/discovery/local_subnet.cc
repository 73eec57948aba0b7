#include "Runner/discovery/local_subnet.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "platform/interfaces/interface_addresses.h"

namespace discovery {
namespace {

// The system's NI_MAXHOST.
constexpr size_t kHostBufferSize = 1025;

// The pieces of `text` between dots, empty pieces dropped.
std::vector<std::string_view> nonEmptyPieces(std::string_view text) {
  std::vector<std::string_view> pieces;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find('.', begin);
    if (end == std::string_view::npos) end = text.size();
    if (end > begin) pieces.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return pieces;
}

// Interface names that can be the user's local network, in order of preference: "en" is
// Ethernet under systemd's names (enp3s0, eno1, enx...), "wl" is Wi-Fi (wlp2s0, wlan0), the
// only network of most laptops. Nothing else: "eth" names are the kernel's, which Linux gives
// the virtual links of virtual machines and containers (a sweep there would probe the
// hypervisor's or the container host's network, not the user's LAN); loopback, bridges,
// tunnels, docker*, veth* and virbr* are no LAN either.
constexpr std::string_view kLocalNetworkNamePrefixes[] = {"en", "wl"};

bool qualifies(const interfaces::InterfaceAddressEntry& entry, std::string_view namePrefix) {
  return entry.address && entry.address->family == interfaces::kFamilyInet && entry.name &&
         entry.name->starts_with(namePrefix);
}

}  // namespace

std::optional<std::string> LocalSubnet::prefix() const {
  const auto entries = interfaces_.list();
  if (!entries) return std::nullopt;

  // A kind of interface is only looked at when no interface of the kinds before it gave an
  // address: wired wins even when Wi-Fi is listed first.
  for (const std::string_view namePrefix : kLocalNetworkNamePrefixes) {
    for (const auto& entry : *entries) {
      if (!qualifies(entry, namePrefix)) continue;

      std::array<char, kHostBufferSize> host{};
      // Not examined: a failed lookup leaves the text empty, and an empty text does not
      // split into four pieces.
      (void)interfaces_.numericHost(*entry.address, host);
      const std::string_view text(host.data(), std::find(host.begin(), host.end(), '\0') - host.begin());

      const auto pieces = nonEmptyPieces(text);
      if (pieces.size() == 4) {
        std::string prefix;
        prefix.append(pieces[0]).append(".").append(pieces[1]).append(".").append(pieces[2]);
        return prefix;
      }
    }
  }
  return std::nullopt;
}

}  // namespace discovery
