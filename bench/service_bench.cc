// Per-call latency of the permission probe and of the launch-at-login read and write over
// the real adapters, each beside the least the system calls underneath can do:
//   - probe (refused, and accepted by a listener): requestNetworkPermission to its answer,
//     beside a bare non-blocking connect to 127.0.0.1:80 polled to its outcome;
//   - a burst of probes back to back (a fast driver): the last thousand calls beside the first
//     thousand, and the main thread's CPU time while the burst's time limits come due;
//   - launch-at-login read: LaunchAtLogin::isEnabled, beside reading the autostart entry;
//   - launch-at-login write: LaunchAtLogin::setIsEnabled, beside writing the entry durably
//     (g_file_set_contents_full, as the adapter does) or removing it.
// The probe needs the loopback of a fakelan namespace (port 80 must be ours); the
// launch-at-login figures use scratch XDG folders. Prints "ROW|..." lines.
//   service_bench CALLS
#include <arpa/inet.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "LaunchAtLogin/launch_at_login.h"
#include "Runner/discovery/local_network_discovery.h"
#include "Runner/linux_adapters.h"
#include "platform/dispatch/glib_main_queue.h"
#include "platform/interfaces/linux_interface_addresses.h"
#include "platform/network/socket_connection_factory.h"
#include "platform/process/clone_launcher.h"
#include "platform/xdg/xdg_folders.h"

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Microseconds per call of `call`, `calls` times; the median.
double perCall(int calls, const std::function<void(int)>& call) {
  std::vector<double> us;
  for (int i = 0; i < calls; ++i) {
    const auto start = Clock::now();
    call(i);
    us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  return median(us);
}

void row(const char* figure, double value, double baseline, const char* baselineName) {
  std::printf("ROW|%s|%.1f us|%.1f us (%s)|%.2f|-\n", figure, value, baseline, baselineName, value / baseline);
}

// Accepts on 127.0.0.1:80 and hangs up, on a thread of its own.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(80);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd_, 128) != 0) {
      std::perror("listen on 127.0.0.1:80");
      std::exit(1);
    }
    thread_ = std::thread([this] {
      while (!stop_) {
        pollfd ready{fd_, POLLIN, 0};
        if (poll(&ready, 1, 20) > 0) {
          const int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
          if (c >= 0) close(c);
        }
      }
    });
  }
  ~Listener() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }

 private:
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The bare system calls of one probe.
void bareConnect() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(80);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    pollfd ready{fd, POLLOUT, 0};
    poll(&ready, 1, -1);
    int error = 0;
    socklen_t length = sizeof(error);
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
  }
  close(fd);
}

// The discovery services over the real adapters, as the application makes them.
struct RealDiscovery {
  dispatch::GlibMainQueue mainQueue;
  interfaces::LinuxInterfaceAddresses interfaces;
  process::CloneLauncher processes;
  network::SocketConnectionFactory connections{mainQueue};
  std::ostringstream quiet;
  std::shared_ptr<discovery::LocalNetworkDiscovery> discovery = std::make_shared<discovery::LocalNetworkDiscovery>(
      discovery::DiscoveryServices{interfaces, processes, mainQueue, connections, quiet});
};

void probes(int calls) {
  RealDiscovery real;
  auto& discovery = real.discovery;
  auto probe = [&](int) {
    bool answered = false;
    discovery->requestNetworkPermission([&](bool) { answered = true; });
    while (!answered) g_main_context_iteration(nullptr, TRUE);
  };
  // Let earlier probes' cancellations drain so each call starts on a quiet loop.
  auto settle = [] {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
  };
  const double refused = perCall(calls, [&](int i) {
    probe(i);
    settle();
  });
  const double bareRefused = perCall(calls, [](int) { bareConnect(); });
  row("permission probe, refused", refused, bareRefused, "bare connect");
  Listener listener;
  const double accepted = perCall(calls, [&](int i) {
    probe(i);
    settle();
  });
  const double bareAccepted = perCall(calls, [](int) { bareConnect(); });
  row("permission probe, accepted", accepted, bareAccepted, "bare connect");
}

double cpuMilliseconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Each probe holds a time limit; one left behind after the answer costs every later turn
// of the main loop a little, and its firing a lookup among all the others.
void probeBurst(int probes) {
  RealDiscovery real;
  auto& discovery = real.discovery;
  constexpr int kSlice = 1000;
  std::vector<double> first, last;
  for (int i = 0; i < probes; ++i) {
    const auto start = Clock::now();
    bool answered = false;
    discovery->requestNetworkPermission([&](bool) { answered = true; });
    while (!answered) g_main_context_iteration(nullptr, TRUE);
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (i < kSlice) first.push_back(us);
    if (i >= probes - kSlice) last.push_back(us);
    real.quiet.str("");
  }
  // Run the loop until every time limit of the burst has come due.
  const double cpuBefore = cpuMilliseconds();
  bool passed = false;
  g_timeout_add(
      static_cast<guint>(discovery::kPermissionProbeTimeout.count() + 500),
      [](gpointer flag) -> gboolean {
        *static_cast<bool*>(flag) = true;
        return G_SOURCE_REMOVE;
      },
      &passed);
  while (!passed) g_main_context_iteration(nullptr, TRUE);
  const double cpu = cpuMilliseconds() - cpuBefore;
  char figure[96];
  std::snprintf(figure, sizeof(figure), "permission probe, last %d of %d back to back", kSlice, probes);
  char baselineName[64];
  std::snprintf(baselineName, sizeof(baselineName), "the first %d", kSlice);
  row(figure, median(last), median(first), baselineName);
  std::printf("ROW|main-thread CPU while the %d probes' time limits come due|%.1f ms|-|-|-\n", probes, cpu);
}

void launchAtLogin(int calls) {
  char scratch[] = "/tmp/tessra-bench-XXXXXX";
  if (!mkdtemp(scratch)) return;
  const std::string home = scratch;
  LinuxAdapters adapters(xdg::Folders{home + "/config", {home + "/system"}});
  LaunchAtLogin::installPlatform(adapters.loginItemPlatform());

  LaunchAtLogin::setIsEnabled(true);
  std::string entry;
  if (GDir* dir = g_dir_open((home + "/config/autostart").c_str(), 0, nullptr)) {
    if (const char* name = g_dir_read_name(dir)) entry = home + "/config/autostart/" + name;
    g_dir_close(dir);
  }
  gchar* contents = nullptr;
  gsize length = 0;
  if (entry.empty() || !g_file_get_contents(entry.c_str(), &contents, &length, nullptr)) {
    std::cerr << "service_bench: enabling wrote no autostart entry\n";
    std::exit(1);
  }
  const std::string bytes(contents, length);
  g_free(contents);

  const double read = perCall(calls, [](int) { (void)LaunchAtLogin::isEnabled(); });
  const double bareRead = perCall(calls, [&](int) {
    gchar* data = nullptr;
    g_file_get_contents(entry.c_str(), &data, nullptr, nullptr);
    g_free(data);
  });
  row("launch-at-login read", read, bareRead, "read the entry");

  const double write = perCall(calls, [](int i) { LaunchAtLogin::setIsEnabled(i % 2 == 1); });
  const double bareWrite = perCall(calls, [&](int i) {
    if (i % 2 == 1) {
      g_file_set_contents_full(
          entry.c_str(), bytes.data(), static_cast<gssize>(bytes.size()),
          static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT | G_FILE_SET_CONTENTS_DURABLE), 0644,
          nullptr);
    } else {
      g_unlink(entry.c_str());
    }
  });
  row("launch-at-login write (on/off)", write, bareWrite, "write or remove the entry");
  std::system(("rm -rf '" + home + "'").c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  if (std::getenv("FAKELAN_NS_SCAN")) {
    probes(calls);
    probeBurst(calls * 100);
  } else {
    std::printf("(permission probe: skipped outside a fakelan namespace)\n");
  }
  launchAtLogin(calls / 2);
  return 0;
}
