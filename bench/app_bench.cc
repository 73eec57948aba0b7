// Figures of the real binary:
//   - start-up: from exec to the main window mapped and a channel answering through the
//     driver socket (the socket is served only once the main loop runs, after the window has
//     wired every channel), beside a bare GTK 3 window program from exec to its window
//     mapped; rounds interleaved;
//   - memory: resident size and open descriptors while idle, at their highest during a
//     sweep, and after it, of the program and its child-launcher process together (the
//     process starts with the first sweep and stays); and how long the window waits at worst for its main thread
//     during a sweep and while idle (inside a fakelan namespace only; skipped elsewhere).
// Needs an X display (bench/run starts Xvfb). Prints "ROW|..." lines for bench/run.
//   app_bench ROUNDS TESSRA BARE_GTK_WINDOW
#include <X11/Xlib.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/process/retry_on_eintr.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

class ScratchDir {
 public:
  ScratchDir() {
    char name[] = "/tmp/tessra-bench-XXXXXX";
    path_ = mkdtemp(name) ? name : "";
  }
  ~ScratchDir() {
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A program started with extra environment variables; killed and reaped when it goes.
class Program {
 public:
  Program(const std::vector<std::string>& command, const std::vector<std::string>& extraEnvironment) {
    std::vector<std::string> variables = extraEnvironment;
    for (char** e = environ; *e; ++e) variables.push_back(*e);
    std::vector<char*> envp;
    for (auto& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (const auto& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Program() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status;
    process::retryOnEintr([&] { return waitpid(pid_, &status, 0); });
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// A driver connection made as soon as the socket accepts, polled without blocking.
class Driver {
 public:
  explicit Driver(std::string path) : path_(std::move(path)) {}
  ~Driver() {
    if (fd_ >= 0) close(fd_);
  }
  int fd() const { return fd_; }
  bool tryConnect() {
    if (fd_ >= 0) return true;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof(address.sun_path) - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
      close(fd);
      return false;
    }
    fd_ = fd;
    return true;
  }
  void send(const std::string& line) {
    const std::string data = line + "\n";
    ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
  }
  // The next line, if one is complete within `timeoutMs`.
  std::optional<std::string> nextLine(int timeoutMs) {
    const auto giveUp = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (auto newline = buffer_.find('\n'); newline != std::string::npos) {
        std::string line = buffer_.substr(0, newline);
        buffer_.erase(0, newline + 1);
        return line;
      }
      const int left =
          static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(giveUp - Clock::now()).count());
      if (left < 0) return std::nullopt;
      pollfd ready{fd_, POLLIN, 0};
      if (poll(&ready, 1, left) <= 0) continue;
      char chunk[65536];
      const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
      if (n <= 0) return std::nullopt;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

 private:
  std::string path_;
  int fd_ = -1;
  std::string buffer_;
};

const char* kAskChannels =
    R"({"id":1,"op":"invoke","channel":"launch_at_startup","method":"launchAtStartupIsEnabled"})";

struct StartUp {
  double mapped = 0;    // ms from exec to the first top-level window mapped
  double answered = 0;  // ... to a channel answering through the driver (0 without one)
  double ready() const { return std::max(mapped, answered); }
};

// Exec to a top-level window mapped (and, with a driver, a channel answering), or nothing.
std::optional<StartUp> startUp(Display* display, const std::vector<std::string>& program, bool withDriver) {
  ScratchDir dir;
  const std::string socket = dir.path() + "/driver.sock";
  XSync(display, True);  // forget what earlier rounds left in the queue
  const auto start = Clock::now();
  Program app(program,
              {"TESSRA_DRIVER_SOCKET=" + socket, "XDG_CONFIG_HOME=" + dir.path() + "/config", "HOME=" + dir.path()});
  if (app.pid() <= 0) return std::nullopt;
  Driver driver(socket);
  std::optional<Clock::time_point> mapped, answered;
  bool asked = false;
  std::string partial;
  while (Clock::now() - start < std::chrono::seconds(20)) {
    while (XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify && !event.xmap.override_redirect && !mapped) mapped = Clock::now();
    }
    if (withDriver && !answered) {
      if (!asked && driver.tryConnect()) {
        driver.send(kAskChannels);
        asked = true;
      }
      if (asked && driver.nextLine(0)) answered = Clock::now();
    }
    if (mapped && (answered || !withDriver)) return StartUp{ms(*mapped - start), answered ? ms(*answered - start) : 0};
    std::vector<pollfd> fds{{ConnectionNumber(display), POLLIN, 0}};
    if (asked) fds.push_back({driver.fd(), POLLIN, 0});
    poll(fds.data(), fds.size(), 1);
  }
  return std::nullopt;
}

long statusKiB(pid_t pid, const char* field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
  }
  return -1;
}

int descriptors(pid_t pid) {
  int count = 0;
  if (DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

// From every thread's list: children are made by threads other than the main one.
std::vector<std::string> childrenOf(pid_t pid) {
  std::vector<std::string> pids;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  if (DIR* dir = opendir(tasks.c_str())) {
    while (dirent* task = readdir(dir)) {
      if (task->d_name[0] == '.') continue;
      std::ifstream children(tasks + "/" + task->d_name + "/children");
      for (std::string child; children >> child;) pids.push_back(child);
    }
    closedir(dir);
  }
  return pids;
}

// The program's child-launcher process, which makes its pings from the first sweep on, or 0.
pid_t childLauncherOf(pid_t pid) {
  for (const auto& child : childrenOf(pid)) {
    std::ifstream comm("/proc/" + child + "/comm");
    std::string name;
    if (std::getline(comm, name) && name == "tessra-child-la") return std::stoi(child);
  }
  return 0;
}

// Whether any ping (or other child) is left, besides the child-launcher process itself.
bool hasChildren(pid_t pid) {
  const pid_t launcher = childLauncherOf(pid);
  return childrenOf(pid).size() > (launcher != 0 ? 1u : 0u) || (launcher != 0 && !childrenOf(launcher).empty());
}

// Memory and descriptors count the program and its child-launcher process together.
long bothKiB(pid_t pid, const char* field) {
  const pid_t launcher = childLauncherOf(pid);
  return statusKiB(pid, field) + (launcher != 0 ? statusKiB(launcher, field) : 0);
}
int bothDescriptors(pid_t pid) {
  const pid_t launcher = childLauncherOf(pid);
  return descriptors(pid) + (launcher != 0 ? descriptors(launcher) : 0);
}

// How long the main thread keeps the window waiting: one cheap call at a time through the
// driver, each sent as soon as the last is answered; the longest round trip is the longest
// stretch in which the window could neither redraw nor answer.
class Responsiveness {
 public:
  explicit Responsiveness(Driver& driver) : driver_(driver) {}
  // Sends the next call if none is in flight; takes `line` (any line read) and notes a
  // round trip if it answers the call.
  void poll(const std::optional<std::string>& line) {
    if (sentAt_ && line && line->find("\"id\":" + std::to_string(id_) + ",") != std::string::npos) {
      if (ms(Clock::now() - *sentAt_) > longest_) {
        longest_ = ms(Clock::now() - *sentAt_);
        longestFrom_ = *sentAt_;
      }
      sentAt_.reset();
    }
    if (!sentAt_) {
      ++id_;
      driver_.send(R"({"id":)" + std::to_string(id_) +
                   R"(,"op":"invoke","channel":"launch_at_startup","method":"launchAtStartupIsEnabled"})");
      sentAt_ = Clock::now();
    }
  }
  // The longest round trip since the last call, counting one still in flight.
  double takeLongest() {
    double longest = longest_;
    if (sentAt_) longest = std::max(longest, ms(Clock::now() - *sentAt_));
    longest_ = 0;
    return longest;
  }
  // When the longest wait so far began.
  Clock::time_point longestFrom() const { return longestFrom_; }

 private:
  Driver& driver_;
  int id_ = 1000;
  std::optional<Clock::time_point> sentAt_;
  double longest_ = 0;
  Clock::time_point longestFrom_;
};

int memory(const std::string& tessra, int sweeps) {
  ScratchDir dir;
  const std::string socket = dir.path() + "/driver.sock";
  Program app({tessra},
              {"TESSRA_DRIVER_SOCKET=" + socket, "XDG_CONFIG_HOME=" + dir.path() + "/config", "HOME=" + dir.path()});
  Driver driver(socket);
  const auto giveUp = Clock::now() + std::chrono::seconds(20);
  while (!driver.tryConnect()) {
    if (Clock::now() > giveUp) return 1;
    usleep(1000);
  }
  driver.send(kAskChannels);
  if (!driver.nextLine(20000)) return 1;
  usleep(500 * 1000);  // let start-up's lazy work settle
  const long idleKiB = bothKiB(app.pid(), "VmRSS:");
  const int idleFds = bothDescriptors(app.pid());

  Responsiveness probe(driver);
  std::vector<double> idleGaps, sweepGaps;
  long peakKiB = idleKiB;
  int peakFds = idleFds;
  for (int sweep = 1; sweep <= sweeps; ++sweep) {
    // As long idle as a sweep lasts, then the sweep.
    for (const auto until = Clock::now() + std::chrono::milliseconds(2500); Clock::now() < until;) {
      probe.poll(driver.nextLine(5));
    }
    idleGaps.push_back(probe.takeLongest());
    driver.send(R"({"id":2,"op":"listen","channel":"com.brovak.tessra/scanForPingableDevices"})");
    const auto sweepStart = Clock::now();
    const auto sweepGiveUp = Clock::now() + std::chrono::seconds(30);
    for (bool completed = false; !completed;) {
      auto line = driver.nextLine(5);
      if (line && line->find(R"("value":null)") != std::string::npos) completed = true;
      if (!line && Clock::now() > sweepGiveUp) return 1;
      probe.poll(line);
      peakKiB = std::max(peakKiB, bothKiB(app.pid(), "VmRSS:"));
      peakFds = std::max(peakFds, bothDescriptors(app.pid()));
    }
    const double startedAt = ms(probe.longestFrom() - sweepStart);
    sweepGaps.push_back(probe.takeLongest());
    driver.send(R"({"id":3,"op":"cancel","channel":"com.brovak.tessra/scanForPingableDevices"})");
    std::printf("sweep %d: longest wait for an answer idle %.1f ms, during the sweep %.1f ms (from %.0f ms in)\n",
                sweep, idleGaps.back(), sweepGaps.back(), startedAt);
    while (hasChildren(app.pid())) usleep(10 * 1000);
  }
  const long afterKiB = bothKiB(app.pid(), "VmRSS:");
  const int afterFds = bothDescriptors(app.pid());
  peakKiB = std::max(peakKiB, bothKiB(app.pid(), "VmHWM:"));

  auto row = [](const char* figure, double value, double idle, const char* unit) {
    std::printf("ROW|%s|%.1f %s|%.1f %s (idle)|%.2f|-\n", figure, value, unit, idle, unit, idle > 0 ? value / idle : 0);
  };
  row("peak resident size during a sweep", peakKiB / 1024.0, idleKiB / 1024.0, "MiB");
  row("resident size after the sweeps", afterKiB / 1024.0, idleKiB / 1024.0, "MiB");
  row("open descriptors during a sweep (most)", peakFds, idleFds, "fds");
  row("open descriptors after the sweeps", afterFds, idleFds, "fds");
  const double worstIdle = *std::max_element(idleGaps.begin(), idleGaps.end());
  std::printf("ROW|window's longest wait (driver round trip) during a sweep, median of %d|%.1f ms|%.1f ms (idle)|-|-\n",
              sweeps, median(sweepGaps), median(idleGaps));
  std::printf("ROW|window's longest wait during a sweep, worst of %d|%.1f ms|%.1f ms (idle)|-|-\n", sweeps,
              *std::max_element(sweepGaps.begin(), sweepGaps.end()), worstIdle);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: app_bench ROUNDS TESSRA BARE_GTK_WINDOW\n");
    return 2;
  }
  const int rounds = std::max(1, std::atoi(argv[1]));
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "app_bench: no X display\n");
    return 1;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  const std::vector<std::string> tessra{argv[2]}, bare{argv[3]}, bareLabel{argv[3], "--label"},
      bareApplication{argv[3], "--label", "--application", "com.brovak.tessra.StartUpBaseline"};
  std::vector<double> host, hostMapped, hostAnswered, plain, label, application;
  // One of each first, unmeasured: the first run of anything pays for cold caches.
  startUp(display, tessra, true);
  startUp(display, bare, false);
  startUp(display, bareLabel, false);
  startUp(display, bareApplication, false);
  for (int round = 1; round <= rounds; ++round) {
    auto a = startUp(display, tessra, true);
    auto b = startUp(display, bare, false);
    auto c = startUp(display, bareApplication, false);
    auto d = startUp(display, bareLabel, false);
    if (!a || !b || !c || !d) {
      std::fprintf(stderr, "app_bench: a program did not come up\n");
      return 1;
    }
    host.push_back(a->ready());
    hostMapped.push_back(a->mapped);
    hostAnswered.push_back(a->answered);
    plain.push_back(b->ready());
    application.push_back(c->ready());
    label.push_back(d->ready());
    std::printf(
        "round %d: tessra %.0f ms (mapped %.0f, answering %.0f), bare GTK window %.0f ms, "
        "with a label %.0f ms, the same in a GtkApplication %.0f ms\n",
        round, a->ready(), a->mapped, a->answered, b->ready(), d->ready(), c->ready());
  }
  std::printf(
      "ROW|start-up, exec to window mapped and channels wired|%.1f ms|%.1f ms (bare GTK 3 window)|%.2f|<= 1.5\n",
      median(host), median(plain), median(host) / median(plain));
  std::printf("ROW|start-up, the same|%.1f ms|%.1f ms (bare window with a label)|%.2f|-\n", median(host), median(label),
              median(host) / median(label));
  std::printf("ROW|start-up, the same|%.1f ms|%.1f ms (bare window with a label, GtkApplication)|%.2f|-\n",
              median(host), median(application), median(host) / median(application));
  std::printf("ROW|start-up, exec to window mapped only|%.1f ms|%.1f ms (bare GTK 3 window)|%.2f|-\n",
              median(hostMapped), median(plain), median(hostMapped) / median(plain));
  XCloseDisplay(display);
  if (!std::getenv("FAKELAN_NS_SCAN")) {
    std::printf("(memory during a sweep: skipped outside a fakelan namespace)\n");
    return 0;
  }
  return memory(argv[2], std::min(rounds, 5));
}
