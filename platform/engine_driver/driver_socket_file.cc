#include "platform/engine_driver/driver_socket_file.h"

#include <gio/gunixsocketaddress.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace engine {
namespace {

// True when something accepts connections at `path`: then it is not ours to replace.
bool someoneServes(const std::string& path) {
  g_autoptr(GSocketClient) client = g_socket_client_new();
  g_autoptr(GSocketAddress) address = g_unix_socket_address_new(path.c_str());
  g_autoptr(GSocketConnection) connection =
      g_socket_client_connect(client, G_SOCKET_CONNECTABLE(address), nullptr, nullptr);
  if (connection) g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
  return connection != nullptr;
}

// Clears the way for a new socket at `path`; false (with the reason) when it must not.
bool makeRoom(const std::string& path, std::string& whyNot) {
  struct stat existing {};
  if (lstat(path.c_str(), &existing) != 0) return true;
  if (!S_ISSOCK(existing.st_mode)) {
    whyNot = "driver socket path \"" + path + "\" exists and is not a socket; leaving it alone";
    return false;
  }
  if (someoneServes(path)) {
    whyNot = "driver socket \"" + path + "\" is served by another process";
    return false;
  }
  if (unlink(path.c_str()) != 0 && errno != ENOENT) {
    whyNot = "cannot remove the stale driver socket \"" + path + "\": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

std::optional<DriverSocketFile> DriverSocketFile::create(const std::string& path, std::string& whyNot) {
  if (path.empty() || path.size() >= sizeof(sockaddr_un::sun_path)) {
    whyNot = "driver socket path \"" + path + "\" is empty or too long for a Unix socket";
    return std::nullopt;
  }
  if (!makeRoom(path, whyNot)) return std::nullopt;

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

}  // namespace engine
