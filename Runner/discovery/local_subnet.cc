#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "Runner/discovery/local_network_discovery.h"
#include "platform/interfaces/interface_addresses.h"

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

bool qualifies(const netif::InterfaceAddressEntry& entry) {
  return entry.address && entry.address->family == netif::kFamilyInet && entry.name &&
         entry.name->starts_with("en");
}

}  // namespace

std::optional<std::string> LocalNetworkDiscovery::getLocalSubnetPrefix() {
  const auto entries = services_.interfaces.list();
  if (!entries) return std::nullopt;

  for (const auto& entry : *entries) {
    if (!qualifies(entry)) continue;

    std::array<char, kHostBufferSize> host{};
    // Not examined: a failed lookup leaves the text empty, and an empty text does not
    // split into four pieces.
    (void)services_.interfaces.numericHost(*entry.address, host);
    const std::string_view text(host.data(), std::find(host.begin(), host.end(), '\0') - host.begin());

    const auto pieces = nonEmptyPieces(text);
    if (pieces.size() == 4) {
      std::string prefix;
      prefix.append(pieces[0]).append(".").append(pieces[1]).append(".").append(pieces[2]);
      return prefix;
    }
  }
  return std::nullopt;
}
