#include "tests/integration/support/driver_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "tests/integration/support/app_process.h"

namespace tessra::testing {

using Clock = std::chrono::steady_clock;

std::optional<DriverClient> DriverClient::connect(const std::string& socketPath, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) return DriverClient(fd);
    close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return std::nullopt;
}

DriverClient::DriverClient(DriverClient&& other) noexcept
    : fd_(other.fd_),
      nextId_(other.nextId_),
      buffer_(std::move(other.buffer_)),
      unsolicited_(std::move(other.unsolicited_)),
      replies_(std::move(other.replies_)) {
  other.fd_ = -1;
}

DriverClient& DriverClient::operator=(DriverClient&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
    nextId_ = other.nextId_;
    buffer_ = std::move(other.buffer_);
    unsolicited_ = std::move(other.unsolicited_);
    replies_ = std::move(other.replies_);
  }
  return *this;
}

DriverClient::~DriverClient() {
  if (fd_ >= 0) close(fd_);
}

void DriverClient::sendLine(const std::string& line) {
  std::string data = line + "\n";
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = ::send(fd_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

bool DriverClient::readOneLine(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (true) {
    auto newline = buffer_.find('\n');
    if (newline != std::string::npos) {
      std::string line = buffer_.substr(0, newline);
      buffer_.erase(0, newline + 1);
      auto parsed = nlohmann::json::parse(line, nullptr, false);
      if (parsed.is_object() && parsed.contains("id")) {
        replies_.push_back(std::move(parsed));
      } else {
        unsolicited_.push_back(std::move(parsed));
      }
      return true;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    char chunk[4096];
    ssize_t n = ::recv(fd_, chunk, sizeof(chunk), 0);
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<size_t>(n));
  }
}

std::optional<nlohmann::json> DriverClient::request(nlohmann::json message, std::chrono::milliseconds timeout) {
  const long id = nextId_++;
  message["id"] = id;
  sendLine(message.dump());
  const auto deadline = Clock::now() + timeout;
  while (true) {
    for (auto it = replies_.begin(); it != replies_.end(); ++it) {
      if ((*it)["id"] == id) {
        auto reply = *it;
        replies_.erase(it);
        return reply;
      }
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !readOneLine(left)) return std::nullopt;
  }
}

std::optional<nlohmann::json> DriverClient::invoke(const std::string& channel, const std::string& method,
                                                   const nlohmann::json& arguments, std::chrono::milliseconds timeout) {
  return request({{"op", "invoke"}, {"channel", channel}, {"method", method}, {"arguments", arguments}}, timeout);
}

std::optional<nlohmann::json> DriverClient::listen(const std::string& channel, const nlohmann::json& arguments) {
  return request({{"op", "listen"}, {"channel", channel}, {"arguments", arguments}}, std::chrono::seconds(10));
}

std::optional<nlohmann::json> DriverClient::cancel(const std::string& channel) {
  return request({{"op", "cancel"}, {"channel", channel}}, std::chrono::seconds(10));
}

std::optional<nlohmann::json> DriverClient::nextUnsolicited(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (unsolicited_.empty()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !readOneLine(left)) return std::nullopt;
  }
  auto message = unsolicited_.front();
  unsolicited_.pop_front();
  return message;
}

std::optional<nlohmann::json> DriverClient::nextLine(std::chrono::milliseconds timeout) {
  if (!replies_.empty()) {
    auto reply = replies_.front();
    replies_.pop_front();
    return reply;
  }
  return nextUnsolicited(timeout);
}

std::deque<nlohmann::json> DriverClient::drainUnsolicited(std::chrono::milliseconds quiet) {
  while (readOneLine(quiet)) {
  }
  auto drained = std::move(unsolicited_);
  unsolicited_.clear();
  return drained;
}

}  // namespace tessra::testing
