#include "platform/service_management/program_location.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace service_management::autostart {
namespace {

bool ownedByUsOrRoot(const struct stat& info) { return info.st_uid == 0 || info.st_uid == geteuid(); }
bool othersMayWrite(const struct stat& info) { return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0; }

std::string parentOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// Checks `path`, a canonical path, and every folder above it. Level 0 is the program,
// level 1 its folder.
std::optional<std::string> checkChain(const std::string& path, int firstLevel) {
  std::string at = path;
  for (int level = firstLevel;; ++level) {
    struct stat info {};
    if (lstat(at.c_str(), &info) != 0) return at + " cannot be looked at (" + std::strerror(errno) + ")";
    if (!ownedByUsOrRoot(info)) return at + " belongs to another user";
    // Nobody else may write the program or its folder. Further up, a sticky folder keeps
    // others from renaming the folder below, which is ours.
    if (othersMayWrite(info) && (level <= 1 || (info.st_mode & S_ISVTX) == 0)) {
      return at + " can be written by other users";
    }
    if (at == "/") return std::nullopt;
    at = parentOf(at);
  }
}

std::optional<std::string> canonical(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
  if (!resolved) return std::nullopt;
  return std::string(resolved.get());
}

}  // namespace

std::optional<std::string> whyOthersCouldReplace(const std::string& program) {
  const auto file = canonical(program);
  if (!file) return program + " cannot be found (" + std::strerror(errno) + ")";
  if (auto why = checkChain(*file, 0)) return why;
  // Where the path given is a link, the link's folder could be swapped as well.
  const auto folder = canonical(parentOf(program));
  if (!folder) return parentOf(program) + " cannot be found";
  if (*folder == parentOf(*file)) return std::nullopt;
  return checkChain(*folder, 1);
}

}  // namespace service_management::autostart
