// Sweep figures over the real adapters, each beside its baselines in the same run and the
// same namespace, rounds interleaved so that the machine's mood hits all of them alike:
//   - the host: onListenWithArguments to the completion null, and the launch loop inside it;
//   - bare_sweep: 254 posix_spawn'ed pings with unread pipes (the floor of this design);
//   - fping over the /24 with the same timeout, at its default interval;
//   - a shell loop of 254 background pings.
// Also the lag from the host learning of a child's end (the child-launcher process's answer
// reaching the host's reading thread) to its event reaching the sink, how long
// the main thread waited for a core, and the host's own CPU time beside its children's.
// Prints "ROW|..." lines for bench/run.
//   sweep_bench ROUNDS BARE_SWEEP       (inside a fakelan namespace only; bench/run runs it)
#include <dirent.h>
#include <glib.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "Runner/discovery/local_network_discovery.h"
#include "platform/dispatch/glib_main_queue.h"
#include "platform/dispatch/main_thread_scheduling.h"
#include "platform/interfaces/linux_interface_addresses.h"
#include "platform/network/socket_connection_factory.h"
#include "platform/process/child_launcher_process.h"
#include "platform/process/descriptor_limit.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double cpuMs(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// CPU time of the child-launcher process `pid`: its own threads' (their schedstat, in ns),
// and its collected children's (stat's cutime and cstime, in clock ticks).
struct LauncherCpu {
  double own = 0, children = 0;
};
LauncherCpu launcherCpuMs(pid_t pid) {
  LauncherCpu cpu;
  if (pid <= 0) return cpu;
  const std::string proc = "/proc/" + std::to_string(pid);
  if (DIR* tasks = opendir((proc + "/task").c_str())) {
    while (dirent* task = readdir(tasks)) {
      if (task->d_name[0] == '.') continue;
      std::ifstream schedstat(proc + "/task/" + task->d_name + "/schedstat");
      unsigned long long ran = 0;
      if (schedstat >> ran) cpu.own += ran / 1e6;
    }
    closedir(tasks);
  }
  std::ifstream statFile(proc + "/stat");
  std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));  // from field 3 on
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 17 && fields >> field; ++i) {
    if (i >= 16) ticks += std::stod(field);
  }
  cpu.children = ticks * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
  return cpu;
}

// How long the calling thread has waited, runnable, for a core (the kernel's schedstat).
double threadWaitMs() {
  FILE* file = std::fopen("/proc/thread-self/schedstat", "r");
  if (!file) return 0;
  unsigned long long ran = 0, waited = 0;
  const bool read = std::fscanf(file, "%llu %llu", &ran, &waited) == 2;
  std::fclose(file);
  return read ? waited / 1e6 : 0;
}

// CPU time of the calling thread.
double threadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The real launcher, noting when the host learns of each child's end.
class TimingLauncher : public process::ProcessLauncher {
 public:
  explicit TimingLauncher(process::ProcessLauncher& real) : real_(real) {}
  std::optional<process::LaunchError> launch(const std::string& path, const std::vector<std::string>& arguments,
                                             process::TerminationHandler onTermination) override {
    return real_.launch(path, arguments,
                        [this, address = arguments.back(), next = std::move(onTermination)](process::Termination t) {
                          {
                            std::lock_guard lock(mutex_);
                            collected_[address] = Clock::now();
                          }
                          next(t);
                        });
  }
  Clock::time_point collectedAt(const std::string& address) {
    std::lock_guard lock(mutex_);
    return collected_[address];
  }

 private:
  process::ProcessLauncher& real_;
  std::mutex mutex_;
  std::map<std::string, Clock::time_point> collected_;
};

// Runs a program to its end; its standard output, or nothing when it failed.
std::optional<std::string> run(const std::vector<std::string>& argv) {
  int ends[2];
  if (pipe(ends) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
  posix_spawn_file_actions_addclose(&actions, ends[0]);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  if (error != 0) {
    close(ends[0]);
    return std::nullopt;
  }
  std::string out;
  char chunk[4096];
  for (ssize_t n; (n = read(ends[0], chunk, sizeof chunk)) > 0;) out.append(chunk, static_cast<size_t>(n));
  close(ends[0]);
  int status;
  while (waitpid(pid, &status, 0) < 0) {
  }
  return out;
}

// A sweep's unanswered ARP requests give up about 3 s after they went out, and each then
// sends a "host unreachable" to every raw ICMP socket open at that moment (ping's filter
// lets them through): run back to back, one sweep woke every ping of the next one some 200
// times. So every sweep here starts, as a lone sweep would, once no neighbour is unresolved.
void waitForSettledNeighbours() {
  for (const auto giveUp = Clock::now() + std::chrono::seconds(10); Clock::now() < giveUp;) {
    const auto unresolved = run({"ip", "-4", "neigh", "show", "nud", "incomplete"});
    if (!unresolved || unresolved->empty()) return;
    usleep(50'000);
  }
}

struct Figures {
  std::vector<double> hostTotal, hostLaunch, bareTotal, bareLaunch, fping, shell, cpuShare;
  // Per round: the host's launch loop over the bare program's, and the worst wait of a
  // child that ended during the host's loop over that loop.
  std::vector<double> launchRatio, duringLaunchOverLoop;
  // From the reaper collecting a child to its event: for children collected once the launch
  // loop had returned, and for those collected while it still held the main thread.
  std::vector<double> lags, lagsDuringLaunch;
  // Per round: how long the main thread waited, runnable, for a core during the host's sweep.
  std::vector<double> mainWaits;
};

}  // namespace

int main(int argc, char** argv) {
  const char* prefixVariable = std::getenv("FAKELAN_PREFIX");
  if (!std::getenv("FAKELAN_NS_SCAN") || !prefixVariable || argc != 3) {
    std::cerr << "usage: sweep_bench ROUNDS BARE_SWEEP (inside a fakelan namespace only)\n";
    return 1;
  }
  const std::string prefix = prefixVariable;
  const int rounds = std::max(1, std::atoi(argv[1]));
  const std::string bare = argv[2];

  process::raiseDescriptorLimit();
  process::reserveDescriptorTable();  // as the host's main() does
  dispatch::preferPromptWakeups();    // as the host's main() does
  dispatch::GlibMainQueue mainQueue;
  interfaces::LinuxInterfaceAddresses interfaces;
  process::ChildLauncherProcess realProcesses(TESSRA_CHILD_LAUNCHER_BINARY);  // as the host has it
  TimingLauncher processes(realProcesses);
  network::SocketConnectionFactory connections(mainQueue);
  auto discovery = std::make_shared<discovery::LocalNetworkDiscovery>(
      discovery::DiscoveryServices{interfaces, processes, mainQueue, connections, std::cout});

  Figures f;
  auto hostSweep = [&] {
    waitForSettledNeighbours();
    bool completed = false;
    int results = 0, answered = 0;
    // The children are the child-launcher process's; its own time counts as the host's.
    const LauncherCpu launcherBefore = launcherCpuMs(realProcesses.launcherPid());
    const double selfBefore = cpuMs(RUSAGE_SELF) + launcherBefore.own, childrenBefore = launcherBefore.children;
    const double loopCpuBefore = threadCpuMs();
    const double waitBefore = threadWaitMs();
    const auto start = Clock::now();
    std::vector<std::pair<Clock::time_point, Clock::time_point>> deliveries;  // collected, delivered
    discovery->onListenWithArguments(flutter::EncodableValue(), [&](const flutter::EncodableValue& event) {
      const auto now = Clock::now();
      if (event.IsNull()) {
        completed = true;
        return;
      }
      const auto& map = std::get<flutter::EncodableMap>(event);
      ++results;
      answered += std::get<bool>(*flutter::Find(map, "success"));
      deliveries.emplace_back(processes.collectedAt(std::get<std::string>(*flutter::Find(map, "ip"))), now);
    });
    const auto launched = Clock::now();
    const double loopCpu = threadCpuMs() - loopCpuBefore;
    while (!completed) g_main_context_iteration(nullptr, TRUE);
    const auto done = Clock::now();
    f.mainWaits.push_back(threadWaitMs() - waitBefore);
    const LauncherCpu launcherAfter = launcherCpuMs(realProcesses.launcherPid());
    const double self = cpuMs(RUSAGE_SELF) + launcherAfter.own - selfBefore,
                 children = launcherAfter.children - childrenBefore;
    double worstDuring = 0;
    for (const auto& [collected, delivered] : deliveries) {
      (collected < launched ? f.lagsDuringLaunch : f.lags).push_back(ms(delivered - collected));
      if (collected < launched) worstDuring = std::max(worstDuring, ms(delivered - collected));
    }
    f.duringLaunchOverLoop.push_back(worstDuring / ms(launched - start));
    f.hostLaunch.push_back(ms(launched - start));
    f.hostTotal.push_back(ms(done - start));
    f.cpuShare.push_back(children > 0 ? 100 * self / children : 0);
    std::printf(
        "  host: launch %.0f ms (CPU %.0f ms), total %.0f ms, %d results, %d answered, own CPU %.0f ms, children %.0f "
        "ms, main thread waited %.1f ms for a core\n",
        ms(launched - start), loopCpu, ms(done - start), results, answered, self, children, f.mainWaits.back());
  };
  auto bareSweep = [&] {
    waitForSettledNeighbours();
    auto out = run({bare, prefix});
    double launch = 0, total = 0;
    int answered = 0;
    if (!out || std::sscanf(out->c_str(), "%lf %lf %d", &launch, &total, &answered) != 3) {
      std::cerr << "bare_sweep failed\n";
      std::exit(1);
    }
    f.bareLaunch.push_back(launch);
    f.bareTotal.push_back(total);
    std::printf("  bare: launch %.0f ms, total %.0f ms, %d answered\n", launch, total, answered);
  };
  auto timed = [&](std::vector<double>& into, const char* name, const std::vector<std::string>& argv) {
    waitForSettledNeighbours();
    const auto start = Clock::now();
    auto out = run(argv);
    into.push_back(ms(Clock::now() - start));
    std::printf("  %s: %.0f ms%s\n", name, into.back(), out ? "" : " (failed)");
  };
  const std::string shellLoop =
      "for n in $(seq 1 254); do /usr/bin/ping -c 1 -W 1 " + prefix + ".$n >/dev/null 2>&1 & done; wait";

  for (int round = 1; round <= rounds; ++round) {
    std::printf("round %d\n", round);
    if (round % 2) {
      bareSweep();
      hostSweep();
    } else {
      hostSweep();
      bareSweep();
    }
    f.launchRatio.push_back(f.hostLaunch.back() / f.bareLaunch.back());
    std::printf("  launch loop, host / bare: %.2f\n", f.launchRatio.back());
    timed(f.fping, "fping", {"fping", "-q", "-g", prefix + ".0/24", "-r", "0", "-t", "1000"});
    timed(f.shell, "shell loop", {"/bin/sh", "-c", shellLoop});
  }

  auto worst = [](const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); };
  auto p99 = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, v.size() * 99 / 100)];
  };
  auto row = [](const char* figure, double value, double baseline, const char* unit, const char* baselineName,
                const char* target) {
    std::printf("ROW|%s|%.1f %s|%.1f %s (%s)|%.2f|%s\n", figure, value, unit, baseline, unit, baselineName,
                baseline > 0 ? value / baseline : 0.0, target);
  };
  row("sweep, listen to completion", median(f.hostTotal), median(f.bareTotal), "ms", "bare posix_spawn", "<= 0.95");
  row("sweep vs shell loop", median(f.hostTotal), median(f.shell), "ms", "254 background pings", "< 1");
  row("sweep vs fping", median(f.hostTotal), median(f.fping), "ms", "fping, default interval", "< 1");
  row("launch loop in onListen", median(f.hostLaunch), median(f.bareLaunch), "ms", "bare launch loop", "<= 0.33");
  std::printf("ROW|launch loop / bare launch loop, worst round of %d|%.2f|-|-|<= 0.33\n", rounds, worst(f.launchRatio));
  std::printf("ROW|exit collected to event, median|%.2f ms|-|-|-\n", median(f.lags));
  std::printf("ROW|exit collected to event, 99th percentile|%.2f ms|-|-|< 2 ms\n", p99(f.lags));
  std::printf("ROW|exit collected to event, worst|%.2f ms|-|-|< 5 ms\n", worst(f.lags));
  // Children that end while onListen is still launching wait for it to return.
  std::printf("ROW|... ended during the launch loop (%zu), worst|%.2f ms|%.1f ms (launch loop)|-|-\n",
              f.lagsDuringLaunch.size(), worst(f.lagsDuringLaunch), median(f.hostLaunch));
  std::printf("ROW|... their worst wait / that round's launch loop, worst round|%.2f|-|-|<= 1\n",
              worst(f.duringLaunchOverLoop));
  std::printf("ROW|main thread waiting for a core in a sweep, worst round|%.1f ms|-|-|-\n", worst(f.mainWaits));
  std::printf("ROW|host CPU beyond its children|%.1f %%|-|-|< 10 %%\n", median(f.cpuShare));
  return 0;
}
