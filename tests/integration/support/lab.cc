#include "tests/integration/support/lab.h"

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

std::string childrenOf(pid_t pid) {
  std::string all;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  forEachEntry(tasks, [&](const std::string& task) { all += readFile(tasks + "/" + task + "/children"); });
  return all;
}

std::string pingChildrenOf(pid_t pid) {
  std::stringstream children(childrenOf(pid));
  std::string pings;
  for (std::string child; children >> child;) {
    if (readFile("/proc/" + child + "/comm") == "ping\n") pings += child + " ";
  }
  return pings;
}

std::string describeChildren(pid_t pid) {
  std::stringstream children(childrenOf(pid));
  std::string description;
  for (std::string child; children >> child;) {
    const std::string proc = "/proc/" + child;
    std::string command = readFile(proc + "/cmdline");
    for (char& c : command) {
      if (c == '\0') c = ' ';
    }
    std::string state;
    std::stringstream status(readFile(proc + "/status"));
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("State:", 0) == 0) state = line.substr(6);
    }
    description += child + " [" + state + "] " + command + "; ";
  }
  return description;
}

int listenOnLoopbackPort80(int backlog) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(80);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(fd, backlog) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace tessra::testing
