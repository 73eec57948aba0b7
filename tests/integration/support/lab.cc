#include "tests/integration/support/lab.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tests/integration/support/app_process.h"

namespace tessra::testing {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string fakelanAddress(int host) { return environment("FAKELAN_PREFIX") + "." + std::to_string(host); }

std::set<std::string> fakelanReachable() {
  std::set<std::string> result;
  std::stringstream hosts(environment("FAKELAN_RESPONDERS") + "," + environment("FAKELAN_SELF"));
  for (std::string host; std::getline(hosts, host, ',');) {
    if (!host.empty()) result.insert(environment("FAKELAN_PREFIX") + "." + host);
  }
  return result;
}

bool waitForSettledNeighbours() {
  return eventually(
      [] {
        FILE* listing = popen("ip -4 neigh show nud incomplete", "r");
        if (!listing) return false;
        char line[256];
        const bool unresolved = std::fgets(line, sizeof line, listing) != nullptr;
        return pclose(listing) == 0 && !unresolved;
      },
      std::chrono::seconds(10));
}

namespace {

template <typename Visit>
void forEachEntry(const std::string& dir, Visit visit) {
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* entry = readdir(d)) {
      if (entry->d_name[0] != '.') visit(std::string(entry->d_name));
    }
    closedir(d);
  }
}

}  // namespace

int openDescriptors(pid_t pid) {
  int count = 0;
  forEachEntry("/proc/" + std::to_string(pid) + "/fd", [&](const std::string&) { ++count; });
  return count;
}

namespace {

std::string directChildrenOf(pid_t pid) {
  std::string all;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  forEachEntry(tasks, [&](const std::string& task) { all += readFile(tasks + "/" + task + "/children"); });
  return all;
}

// Its name as the kernel keeps it: the first 15 characters.
bool isChildLauncher(const std::string& pid) { return readFile("/proc/" + pid + "/comm") == "tessra-child-la\n"; }

}  // namespace

std::string childrenOf(pid_t pid) {
  std::stringstream direct(directChildrenOf(pid));
  std::string all;
  for (std::string child; direct >> child;) {
    all += isChildLauncher(child) ? directChildrenOf(std::stoi(child)) : child + " ";
  }
  return all;
}

pid_t childLauncherOf(pid_t pid) {
  std::stringstream direct(directChildrenOf(pid));
  for (std::string child; direct >> child;) {
    if (isChildLauncher(child)) return std::stoi(child);
  }
  return 0;
}

std::string pingChildrenOf(pid_t pid) {
  std::stringstream children(childrenOf(pid));
  std::string pings;
  for (std::string child; children >> child;) {
    if (readFile("/proc/" + child + "/comm") == "ping\n") pings += child + " ";
  }
  return pings;
}

namespace {

// A field of /proc/PID/status ("Name", "State", ...), without its label.
std::string statusField(const std::string& proc, const std::string& field) {
  std::stringstream status(readFile(proc + "/status"));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field + ":", 0) == 0) {
      const auto value = line.find_first_not_of(" \t", field.size() + 1);
      return value == std::string::npos ? "" : line.substr(value);
    }
  }
  return "?";
}

// Seconds since the process started, from its start time in /proc/PID/stat (field 22).
std::string ageOf(const std::string& proc) {
  const std::string stat = readFile(proc + "/stat");
  const auto afterName = stat.rfind(')');
  if (afterName == std::string::npos) return "?";
  std::stringstream fields(stat.substr(afterName + 2));
  std::string field;
  for (int i = 3; i <= 22 && fields >> field; ++i) {
  }
  std::stringstream uptime(readFile("/proc/uptime"));
  double now = 0;
  if (!(uptime >> now) || field.empty()) return "?";
  const double started = std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
  return std::to_string(static_cast<int>(now - started)) + " s";
}

// The program a process runs, empty when it cannot be read (a zombie has none).
std::string programOf(const std::string& proc) {
  char target[4096];
  const ssize_t length = readlink((proc + "/exe").c_str(), target, sizeof(target));
  return length > 0 ? std::string(target, static_cast<size_t>(length)) : "";
}

}  // namespace

std::string describeChildren(pid_t pid) {
  std::stringstream children(childrenOf(pid));
  std::string description;
  // Made by the child-launcher process where there is one, else by the program itself.
  const pid_t launcher = childLauncherOf(pid);
  const std::string maker = std::to_string(launcher != 0 ? launcher : pid);
  const std::string parentProgram = programOf("/proc/" + maker);
  for (std::string child; children >> child;) {
    const std::string proc = "/proc/" + child;
    // A zombie has no command line any more; its name and state still say what it was.
    std::string command = readFile(proc + "/cmdline");
    for (char& c : command) {
      if (c == '\0') c = ' ';
    }
    description += child + " " + statusField(proc, "Name") + " [" + statusField(proc, "State") + ", " + ageOf(proc) +
                   " old] " + command;
    // Between its spawn and its exec a child still runs the parent's program.
    if (!parentProgram.empty() && programOf(proc) == parentProgram) description += " (spawned, not yet exec'd)";
    description += "; ";
  }
  if (description.empty()) return "no children";
  // What each thread of the parent waits in: a child left uncollected beside a launcher
  // thread in epoll_wait was never reported; one beside a blocked launcher was.
  description += "threads of " + maker + ":";
  const std::string tasks = "/proc/" + maker + "/task";
  forEachEntry(tasks, [&](const std::string& task) {
    const std::string proc = tasks + "/" + task;
    description += " " + task + " " + statusField(proc, "Name") + " [" + statusField(proc, "State") + ", in " +
                   readFile(proc + "/wchan") + "]";
  });
  return description;
}

}  // namespace tessra::testing
