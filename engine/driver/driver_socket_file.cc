#define G_LOG_DOMAIN "tessra-engine-driver"

#include "engine/driver/driver_socket_file.h"

#include <gio/gunixsocketaddress.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace engine::driver {
namespace {

// Clears the way for a new socket at `path`; false (with the reason) when it must not. Only
// a socket file that refuses connections is stale: one that accepts them, one too busy to,
// and one this user may not connect to all belong to someone (another tessra, another
// user), so they are left alone.
bool makeRoom(const std::string& path, std::string& whyNot) {
  struct stat existing {};
  if (lstat(path.c_str(), &existing) != 0) return true;
  if (!S_ISSOCK(existing.st_mode)) {
    whyNot = "driver socket path \"" + path + "\" exists and is not a socket; leaving it alone";
    return false;
  }
  const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (probe < 0) {
    whyNot = std::string("cannot make a socket to look at \"") + path + "\": " + std::strerror(errno);
    return false;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);  // the caller checked the length
  const int connected = connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  const int connectError = errno;
  close(probe);
  if (connected == 0 || connectError == EINPROGRESS) {
    whyNot = "driver socket \"" + path + "\" is served by another process; leaving it alone";
    return false;
  }
  if (connectError == ENOENT) return true;  // gone meanwhile
  if (connectError != ECONNREFUSED) {
    whyNot =
        "driver socket \"" + path + "\" is in use or not ours (" + std::strerror(connectError) + "); leaving it alone";
    return false;
  }
  if (unlink(path.c_str()) != 0 && errno != ENOENT) {
    whyNot = "cannot remove the stale driver socket \"" + path + "\": " + std::strerror(errno);
    return false;
  }
  return true;
}

// Others who can write to the socket's folder can remove the socket and put their own in its
// place, unless the folder's sticky bit keeps them to their own files (as in /tmp).
void warnOfAnOpenFolder(const std::string& path) {
  g_autofree char* folder = g_path_get_dirname(path.c_str());
  struct stat info {};
  if (stat(folder, &info) != 0) return;
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0) {
    g_warning(
        "the driver socket's folder \"%s\" can be written by other users, who could replace the socket; use "
        "$XDG_RUNTIME_DIR",
        folder);
  }
}

}  // namespace

std::optional<DriverSocketFile> DriverSocketFile::create(const std::string& path, std::string& whyNot) {
  if (path.empty() || path.size() >= sizeof(sockaddr_un::sun_path)) {
    whyNot = "driver socket path \"" + path + "\" is empty or too long for a Unix socket";
    return std::nullopt;
  }
  if (!makeRoom(path, whyNot)) return std::nullopt;
  warnOfAnOpenFolder(path);

  g_autoptr(GError) error = nullptr;
  g_autoptr(GSocket) socket =
      g_socket_new(G_SOCKET_FAMILY_UNIX, G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_DEFAULT, &error);
  if (!socket) {
    whyNot = std::string("cannot make the driver socket: ") + error->message;
    return std::nullopt;
  }
  // bind() gives the new file the mode of the socket's own inode, less the umask.
  if (fchmod(g_socket_get_fd(socket), 0600) != 0) {
    whyNot = std::string("cannot restrict the driver socket: ") + std::strerror(errno);
    return std::nullopt;
  }
  g_autoptr(GSocketAddress) address = g_unix_socket_address_new(path.c_str());
  if (!g_socket_bind(socket, address, FALSE, &error)) {
    whyNot = "cannot create the driver socket \"" + path + "\": " + error->message;
    return std::nullopt;
  }
  struct stat created {};
  if (lstat(path.c_str(), &created) != 0) {
    whyNot = "the driver socket \"" + path + "\" vanished after it was made: " + std::strerror(errno);
    return std::nullopt;
  }
  // From here on the file is ours, and the object removes it if anything below fails.
  DriverSocketFile file(path, static_cast<GSocket*>(g_steal_pointer(&socket)), created.st_dev, created.st_ino);
  if (!g_socket_listen(file.socket(), &error)) {
    whyNot = "cannot listen on the driver socket \"" + path + "\": " + error->message;
    return std::nullopt;
  }
  return file;
}

DriverSocketFile::DriverSocketFile(std::string path, GSocket* socket, dev_t device, ino_t inode)
    : path_(std::move(path)), socket_(socket), device_(device), inode_(inode) {}

DriverSocketFile::DriverSocketFile(DriverSocketFile&& other) noexcept
    : path_(std::move(other.path_)),
      socket_(std::exchange(other.socket_, nullptr)),
      device_(other.device_),
      inode_(other.inode_) {}

DriverSocketFile::~DriverSocketFile() {
  if (!socket_) return;  // moved from
  g_socket_close(socket_, nullptr);
  g_clear_object(&socket_);
  // Only our own socket: someone may have put something else there meanwhile.
  struct stat current {};
  if (lstat(path_.c_str(), &current) == 0 && current.st_dev == device_ && current.st_ino == inode_) {
    unlink(path_.c_str());
  }
}

bool peerIsOwnUser(GSocket* connected) {
  g_autoptr(GError) error = nullptr;
  g_autoptr(GCredentials) credentials = g_socket_get_credentials(connected, &error);
  if (!credentials) return false;
  const uid_t peer = g_credentials_get_unix_user(credentials, &error);
  return peer != static_cast<uid_t>(-1) && peer == geteuid();
}

}  // namespace engine::driver
