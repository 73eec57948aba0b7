#include "Runner/discovery/local_subnet.h"

#include <gtest/gtest.h>

#include "Runner/discovery/testing/discovery_fixture.h"

namespace discovery {
namespace {

using Fake = interfaces::testing::FakeInterfaceAddresses;

class LocalSubnetTest : public testing::DiscoveryFixture {
 protected:
  LocalSubnet subnet{interfaces};
};

TEST_F(LocalSubnetTest, TakesTheIpv4EntryOfAnEnInterfaceFromALinuxOrderedList) {
  // getifaddrs on Linux: link entries first, then IPv4, then IPv6.
  interfaces.entries = {Fake::link("lo"),
                        Fake::link("en0"),
                        Fake::ipv4("lo", "127.0.0.1"),
                        Fake::ipv4("en0", "192.168.1.37"),
                        Fake::ipv6("lo", "::1"),
                        Fake::ipv6("en0", "fe80::1")};
  EXPECT_EQ(subnet.prefix(), "192.168.1");
  // Only the qualifying entry is rendered, with a host buffer of NI_MAXHOST bytes.
  ASSERT_EQ(interfaces.numericHostCalls.size(), 1u);
  EXPECT_EQ(interfaces.numericHostCalls[0].family, interfaces::kFamilyInet);
  EXPECT_EQ(interfaces.numericHostCalls[0].bufferSize, 1025u);
  // Nothing is kept between calls.
  EXPECT_EQ(subnet.prefix(), "192.168.1");
  EXPECT_EQ(interfaces.listCalls, 2);
}

TEST_F(LocalSubnetTest, IsAbsentWhenNoEnOrWlInterfaceHasAnIpv4Address) {
  interfaces.entries = {Fake::ipv4("lo", "127.0.0.1"),
                        Fake::ipv4("tun0", "10.8.0.2"),
                        Fake::ipv4("bridge0", "172.17.0.1"),
                        Fake::ipv4("eth0", "192.168.1.2"),
                        Fake::ipv4("En0", "192.168.2.2"),
                        Fake::ipv4("e", "192.168.3.2"),
                        Fake::ipv4("docker0", "172.18.0.1"),
                        Fake::ipv4("veth1a2b3c", "172.18.0.2"),
                        Fake::ipv4("virbr0", "192.168.122.1"),
                        Fake::ipv4("Wlan0", "192.168.4.2"),
                        Fake::ipv4("w", "192.168.5.2"),
                        Fake::ipv6("wlp2s0", "2001:db8::20"),
                        Fake::ipv6("en0", "2001:db8::10"),
                        Fake::link("en1"),
                        Fake::link("wlan0")};
  EXPECT_EQ(subnet.prefix(), std::nullopt);
  EXPECT_TRUE(interfaces.numericHostCalls.empty());

  // The kernel's name of a virtual machine's or container's link, alone.
  interfaces.entries = {Fake::ipv4("eth0", "172.17.0.5")};
  EXPECT_EQ(subnet.prefix(), std::nullopt);

  interfaces.entries = {};
  EXPECT_EQ(subnet.prefix(), std::nullopt);

  interfaces.entries = {Fake::ipv4("en0", "192.168.1.2")};
  interfaces.failList = true;
  EXPECT_EQ(subnet.prefix(), std::nullopt);
}

TEST_F(LocalSubnetTest, TheFirstQualifyingEntryWinsWhateverFollows) {
  // An IPv6-only en0 is passed over; en1 further down is taken; en2 is never looked at.
  interfaces.entries = {Fake::ipv6("en0", "2001:db8::1"), Fake::ipv4("lo", "127.0.0.1"), Fake::ipv4("en1", "10.1.2.3"),
                        Fake::ipv4("en2", "192.168.7.7")};
  EXPECT_EQ(subnet.prefix(), "10.1.2");
  EXPECT_EQ(interfaces.numericHostCalls.size(), 1u);

  // Any name that begins with "en" counts.
  interfaces.entries = {Fake::ipv4("enp3s0", "172.16.5.4"), Fake::ipv4("en0", "192.168.1.2")};
  EXPECT_EQ(subnet.prefix(), "172.16.5");
}

TEST_F(LocalSubnetTest, WiFiCountsOnlyWhereNoEnInterfaceHasAnIpv4Address) {
  struct Case {
    const char* name;
    std::vector<interfaces::InterfaceAddressEntry> entries;
    std::optional<std::string> prefix;
  };
  const Case cases[] = {
      {"Wi-Fi alone, as on most laptops",
       {Fake::link("lo"), Fake::link("wlp2s0"), Fake::ipv4("lo", "127.0.0.1"), Fake::ipv4("wlp2s0", "192.168.178.23"),
        Fake::ipv6("wlp2s0", "fe80::2")},
       "192.168.178"},
      {"the first of two Wi-Fi interfaces",
       {Fake::ipv4("eth0", "172.17.0.5"), Fake::ipv4("wlan0", "10.0.0.8"), Fake::ipv4("wlp3s0", "10.0.1.8")},
       "10.0.0"},
      {"en listed after wl still wins",
       {Fake::ipv4("wlp2s0", "192.168.178.23"), Fake::ipv4("enp0s31f6", "192.168.1.40")},
       "192.168.1"},
      {"en without IPv4, wl with it",
       {Fake::link("enp0s31f6"), Fake::ipv6("enp0s31f6", "2001:db8::40"), Fake::ipv4("wlp2s0", "192.168.178.23")},
       "192.168.178"},
  };
  for (const auto& c : cases) {
    interfaces.entries = c.entries;
    EXPECT_EQ(subnet.prefix(), c.prefix) << c.name;
  }
}

TEST_F(LocalSubnetTest, EntriesWithoutAddressOrNameOrRenderingArePassedOver) {
  interfaces::InterfaceAddressEntry nameless = Fake::ipv4("x", "192.168.9.9");
  nameless.name.reset();
  interfaces.entries = {Fake::withoutAddress("en0"), nameless, Fake::ipv4("en1", "192.168.5.5")};
  EXPECT_EQ(subnet.prefix(), "192.168.5");

  // A failed getnameinfo leaves the text empty: no four pieces, no prefix.
  interfaces.failNumericHost = true;
  EXPECT_EQ(subnet.prefix(), std::nullopt);
}

TEST_F(LocalSubnetTest, SplitsTheTextAtDotsDroppingEmptyPieces) {
  interfaces.entries = {Fake::ipv4("en0", "0.0.0.0")};
  struct Case {
    std::string text;
    std::optional<std::string> prefix;
  };
  const Case cases[] = {
      {"198.51.100.10", "198.51.100"}, {"10..20.30.40", "10.20.30"}, {".1.2.3.4.", "1.2.3"}, {"1.2.3", std::nullopt},
      {"1.2.3.4.5", std::nullopt},     {"", std::nullopt},           {"....", std::nullopt},
  };
  for (const auto& c : cases) {
    interfaces.hostTextOverride = c.text;
    EXPECT_EQ(subnet.prefix(), c.prefix) << "text \"" << c.text << "\"";
  }
}

}  // namespace
}  // namespace discovery
