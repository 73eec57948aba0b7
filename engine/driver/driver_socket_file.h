#pragma once

#include <gio/gio.h>
#include <sys/types.h>

#include <optional>
#include <string>

namespace engine::driver {

// The driver endpoint's listening socket and the file it has in the file system. Main
// thread only (it is made and dropped with the DriverServer).
//
// The file is private from its first moment: mode 0600, set on the socket before bind()
// makes the file, so that neither the process-wide umask (which would race with every
// thread that creates a file) nor a chmod by path (which follows a symlink put there
// meanwhile) is needed. The umask can only narrow it further. A stale socket file at the
// path (one that refuses connections) is replaced; anything else there, and a socket that
// accepts connections, is too busy to, or is not this user's to connect to, is left alone.
// A folder that other users can write to, without the sticky bit, is warned of on standard
// error. When the object goes, the file is removed if it is still the one it made.
class DriverSocketFile {
 public:
  // A socket bound at `path` and listening, or nothing with the reason in `whyNot`.
  static std::optional<DriverSocketFile> create(const std::string& path, std::string& whyNot);
  ~DriverSocketFile();
  DriverSocketFile(DriverSocketFile&& other) noexcept;
  DriverSocketFile& operator=(DriverSocketFile&&) = delete;
  DriverSocketFile(const DriverSocketFile&) = delete;
  DriverSocketFile& operator=(const DriverSocketFile&) = delete;

  GSocket* socket() const { return socket_; }
  const std::string& path() const { return path_; }

 private:
  DriverSocketFile(std::string path, GSocket* socket, dev_t device, ino_t inode);

  std::string path_;
  GSocket* socket_ = nullptr;  // owned
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

// Whether the peer of a connected Unix socket runs as this process's (effective) user, by
// the credentials the kernel took when it connected (SO_PEERCRED).
bool peerIsOwnUser(GSocket* connected);

}  // namespace engine::driver
