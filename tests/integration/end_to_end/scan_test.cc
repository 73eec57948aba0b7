// The scan and permission channels of the real binary, driven through the driver socket
// inside a fakelan namespace (en0 on a documentation /24 with a few responders). Nothing
// here may run outside such a namespace.
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <thread>

#include "tests/integration/support/app_process.h"
#include "tests/integration/support/driver_client.h"

namespace tessra::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kScanChannel = "com.brovak.tessra/scanForPingableDevices";
constexpr const char* kPermissionChannel = "com.brovak.tessra/localNetworkPermission";

std::string env(const char* name) {
  const char* value = getenv(name);
  return value ? value : "";
}

// Every address that must answer: the responders and the namespace's own address.
std::set<std::string> expectedResponders() {
  std::set<std::string> result;
  std::stringstream list(env("FAKELAN_RESPONDERS") + "," + env("FAKELAN_SELF"));
  std::string host;
  while (std::getline(list, host, ',')) {
    if (!host.empty()) result.insert(env("FAKELAN_PREFIX") + "." + host);
  }
  return result;
}

int countEntries(const std::string& dir) {
  int count = 0;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* entry = readdir(d)) count += entry->d_name[0] != '.';
    closedir(d);
  }
  return count;
}

// Children of `pid` (zombies included), from every thread's children list.
std::string childrenOf(pid_t pid) {
  std::string all;
  std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  if (DIR* d = opendir(tasks.c_str())) {
    while (dirent* entry = readdir(d)) {
      if (entry->d_name[0] == '.') continue;
      all += readFile(tasks + "/" + entry->d_name + "/children");
    }
    closedir(d);
  }
  return all;
}

class InsideFakeLan : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(env("FAKELAN_NS_SCAN").empty()) << "refusing to scan outside a fakelan namespace";
    if (env("DISPLAY").empty()) GTEST_SKIP() << "needs an X display (tests/run-tests starts Xvfb)";
    socket_ = dir_.path() + "/driver.sock";
    app_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{TESSRA_BINARY},
        std::map<std::string, std::string>{{"TESSRA_DRIVER_SOCKET", socket_},
                                           {"XDG_CONFIG_HOME", dir_.path() + "/config"},
                                           {"HOME", dir_.path()}},
        dir_.path());
    driver_ = DriverClient::connect(socket_);
    ASSERT_TRUE(driver_) << app_->standardError();
  }

  std::string fdDir() const { return "/proc/" + std::to_string(app_->pid()) + "/fd"; }

  // Collects one sweep: the result maps until the null that completes it.
  struct Sweep {
    std::vector<nlohmann::json> results;
    bool completed = false;
  };
  Sweep collectSweep() {
    Sweep sweep;
    while (auto message = driver_->nextUnsolicited(20s)) {
      EXPECT_EQ(message->value("event", ""), kScanChannel) << message->dump();
      const auto& value = (*message)["value"];
      if (value.is_null()) {
        sweep.completed = true;
        break;
      }
      sweep.results.push_back(value);
    }
    return sweep;
  }

  TempDir dir_;
  std::string socket_;
  std::unique_ptr<ChildProcess> app_;
  std::optional<DriverClient> driver_;
};

TEST_F(InsideFakeLan, ASweepReportsEveryAddressOnceThenCompletesAndLeavesNothingBehind) {
  // Let start-up settle before counting descriptors.
  std::this_thread::sleep_for(500ms);
  const int descriptorsBefore = countEntries(fdDir());

  auto reply = driver_->listen(kScanChannel);
  ASSERT_TRUE(reply);
  EXPECT_TRUE((*reply)["reply"].is_null()) << reply->dump();
  Sweep sweep = collectSweep();
  ASSERT_TRUE(sweep.completed);
  ASSERT_EQ(sweep.results.size(), 254u);

  std::set<std::string> seen, answered;
  for (const auto& result : sweep.results) {
    ASSERT_EQ(result.size(), 2u) << result.dump();
    const std::string ip = result["ip"];
    EXPECT_TRUE(seen.insert(ip).second) << ip << " reported twice";
    if (result["success"].get<bool>()) answered.insert(ip);
  }
  EXPECT_EQ(seen.count(env("FAKELAN_PREFIX") + ".0"), 0u);
  EXPECT_EQ(seen.count(env("FAKELAN_PREFIX") + ".255"), 0u);
  EXPECT_EQ(answered, expectedResponders());

  EXPECT_TRUE(eventually([&] { return childrenOf(app_->pid()).empty(); }, 5s))
      << "children left: " << childrenOf(app_->pid());
  EXPECT_TRUE(eventually([&] { return countEntries(fdDir()) == descriptorsBefore; }, 5s))
      << countEntries(fdDir()) << " descriptors open, " << descriptorsBefore << " before";
  EXPECT_EQ(app_->standardOutput(), "");
}

TEST_F(InsideFakeLan, CancellingStopsDeliveryAndListeningAgainStartsAFreshSweep) {
  ASSERT_TRUE(driver_->listen(kScanChannel));
  ASSERT_TRUE(driver_->cancel(kScanChannel));
  // Results of the fastest responders may come before the cancel; after it, whatever the
  // first sweep still has to say is dropped, and its pings run to their end.
  driver_->discardUnsolicited();
  std::this_thread::sleep_for(3s);
  EXPECT_TRUE(driver_->drainUnsolicited(200ms).empty());
  EXPECT_TRUE(eventually([&] { return childrenOf(app_->pid()).empty(); }, 5s));

  ASSERT_TRUE(driver_->listen(kScanChannel));
  Sweep sweep = collectSweep();
  EXPECT_TRUE(sweep.completed);
  EXPECT_EQ(sweep.results.size(), 254u);
}

// A listener on 127.0.0.1:80 of the namespace's own loopback.
class LoopbackListener {
 public:
  LoopbackListener() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    int yes = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(80);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 && ::listen(fd_, 16) == 0;
  }
  ~LoopbackListener() { close(fd_); }
  bool ok() const { return ok_; }

 private:
  int fd_;
  bool ok_ = false;
};

TEST_F(InsideFakeLan, ThePermissionProbeAnswersWhetherLoopbackPort80Accepts) {
  auto refused = driver_->invoke(kPermissionChannel, "checkPermissions");
  ASSERT_TRUE(refused);
  EXPECT_EQ((*refused)["reply"], false);
  EXPECT_EQ(app_->standardOutput().rfind("Network permission request failed: ", 0), 0u) << app_->standardOutput();

  LoopbackListener listener;
  ASSERT_TRUE(listener.ok());
  for (const char* method : {"checkPermissions", "requestPermissions"}) {
    auto granted = driver_->invoke(kPermissionChannel, method);
    ASSERT_TRUE(granted);
    EXPECT_EQ((*granted)["reply"], true) << method;
  }
  std::stringstream out(app_->standardOutput());
  std::vector<std::string> lines;
  for (std::string line; std::getline(out, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "🔹 Network permission granted");
  EXPECT_EQ(lines[2], "🔹 Network permission granted");
}

}  // namespace
}  // namespace tessra::testing
