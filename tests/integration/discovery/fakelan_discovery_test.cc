// Discovery over the real adapters inside a fakelan namespace: real getifaddrs, real ping
// children, the GLib main loop and real loopback connections. Everything here sends
// packets, so the binary refuses to run anywhere else.
#include <arpa/inet.h>
#include <dirent.h>
#include <glib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>

#include "Runner/discovery/local_network_discovery.h"
#include "platform/dispatch/glib_main_queue.h"
#include "platform/interfaces/linux_interface_addresses.h"
#include "platform/network/socket_connection_factory.h"
#include "platform/process/descriptor_limit.h"
#include "platform/process/posix_spawn_launcher.h"

namespace {

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

int openDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

bool noChildren() {
  siginfo_t info{};
  return waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == -1 && errno == ECHILD;
}

// The real adapters, wired as the program wires them.
class RealDiscovery : public ::testing::Test {
 protected:
  RealDiscovery() {
    discovery = std::make_shared<LocalNetworkDiscovery>(
        DiscoveryServices{interfaces, processes, mainQueue, connections, out});
  }

  dispatch::GlibMainQueue mainQueue;
  netif::LinuxInterfaceAddresses interfaces;
  process::PosixSpawnLauncher processes;
  network::SocketConnectionFactory connections{mainQueue};
  std::ostringstream out;
  std::shared_ptr<LocalNetworkDiscovery> discovery;
};

TEST_F(RealDiscovery, TheSubnetPrefixComesFromTheNamespacesInterfaces) {
  // Usually the /24 of en0; runs with other layouts set the expectation themselves.
  const std::string expected = env("EXPECTED_PREFIX").empty() ? env("FAKELAN_PREFIX") : env("EXPECTED_PREFIX");
  EXPECT_EQ(discovery->getLocalSubnetPrefix(), expected);
}

TEST_F(RealDiscovery, ASweepFindsExactlyTheRespondersAndItselfThenCompletesLeavingNothingBehind) {
  const int descriptorsBefore = openDescriptors();
  std::set<std::string> seen, answered;
  size_t results = 0;
  bool completed = false;
  bool resultAfterCompletion = false;

  discovery->onListenWithArguments(flutter::EncodableValue(), [&](const flutter::EncodableValue& event) {
    if (event.IsNull()) {
      completed = true;
      return;
    }
    resultAfterCompletion |= completed;
    const auto& map = std::get<flutter::EncodableMap>(event);
    const std::string ip = std::get<std::string>(*flutter::Find(map, "ip"));
    seen.insert(ip);
    ++results;
    if (std::get<bool>(*flutter::Find(map, "success"))) answered.insert(ip);
  });
  while (!completed) g_main_context_iteration(nullptr, TRUE);

  std::set<std::string> expected;
  std::stringstream hosts(env("FAKELAN_RESPONDERS") + "," + env("FAKELAN_SELF"));
  for (std::string host; std::getline(hosts, host, ',');) {
    if (!host.empty()) expected.insert(env("FAKELAN_PREFIX") + "." + host);
  }
  EXPECT_EQ(results, 254u);
  EXPECT_EQ(seen.size(), 254u);
  EXPECT_FALSE(resultAfterCompletion);
  EXPECT_EQ(seen.count(env("FAKELAN_PREFIX") + ".0") + seen.count(env("FAKELAN_PREFIX") + ".255"), 0u);
  EXPECT_EQ(answered, expected);
  EXPECT_EQ(processes.running(), 0u);
  EXPECT_TRUE(noChildren()) << "a ping child or zombie is left";
  EXPECT_EQ(openDescriptors(), descriptorsBefore) << "descriptors leaked by the sweep";
  EXPECT_EQ(out.str(), "");
}

// A TCP listener on 127.0.0.1:80 inside the namespace.
class Port80Listener {
 public:
  Port80Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(80);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 && listen(fd_, 4) == 0;
  }
  ~Port80Listener() { close(fd_); }
  bool ok() const { return ok_; }

 private:
  int fd_ = -1;
  bool ok_ = false;
};

class RealPermissionProbe : public RealDiscovery {
 protected:
  // Both methods in turn; returns their answers.
  std::vector<bool> askBoth() {
    std::vector<bool> answers;
    for (const char* method : {"checkPermissions", "requestPermissions"}) {
      std::optional<bool> answer;
      handleLocalNetworkPermissionCall(*discovery, flutter::FlutterMethodCall(method, flutter::EncodableValue()),
                                       flutter::FlutterResult(method, [&answer](flutter::FlutterReply reply) {
                                         answer = std::get<bool>(std::get<flutter::EncodableValue>(reply));
                                       }));
      while (!answer) g_main_context_iteration(nullptr, TRUE);
      answers.push_back(*answer);
    }
    return answers;
  }
};

TEST_F(RealPermissionProbe, AListenerOnLoopbackPort80GrantsPermission) {
  Port80Listener listener;
  ASSERT_TRUE(listener.ok()) << "could not listen on 127.0.0.1:80 in the namespace";
  EXPECT_EQ(askBoth(), (std::vector<bool>{true, true}));
  EXPECT_EQ(out.str(), "🔹 Network permission granted\n🔹 Network permission granted\n");
}

TEST_F(RealPermissionProbe, NoListenerIsARefusalAnsweredFalse) {
  EXPECT_EQ(askBoth(), (std::vector<bool>{false, false}));
  EXPECT_EQ(out.str(),
            "Network permission request failed: Connection refused\n"
            "Network permission request failed: Connection refused\n");
}

}  // namespace

int main(int argc, char** argv) {
  // Sweeps send packets: only inside a throw-away fakelan namespace, never on a real LAN.
  if (env("FAKELAN_NS_SCAN").empty()) {
    std::cerr << "refusing to run: this test pings a whole /24 and must run inside "
                 "../shared/lab/fakelan run -- (FAKELAN_NS_SCAN is not set)\n";
    return 1;
  }
  process::raiseDescriptorLimit();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
