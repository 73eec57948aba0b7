#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace tessra::testing {

// A client of the engine's driver socket: one JSON object per line in each direction.
// Replies to our requests, events and host-to-interface calls interleave on the same
// connection, so everything read is kept and looked up by kind.
class DriverClient {
 public:
  // Connects, retrying until the socket appears or `timeout` passes.
  static std::optional<DriverClient> connect(const std::string& socketPath,
                                             std::chrono::milliseconds timeout = std::chrono::seconds(15));
  DriverClient(DriverClient&& other) noexcept;
  DriverClient& operator=(DriverClient&& other) noexcept;
  ~DriverClient();
  DriverClient(const DriverClient&) = delete;
  DriverClient& operator=(const DriverClient&) = delete;

  // Sends a request with a fresh id and waits for the reply line with that id.
  std::optional<nlohmann::json> invoke(const std::string& channel, const std::string& method,
                                       const nlohmann::json& arguments = nullptr,
                                       std::chrono::milliseconds timeout = std::chrono::seconds(10));
  std::optional<nlohmann::json> listen(const std::string& channel, const nlohmann::json& arguments = nullptr);
  std::optional<nlohmann::json> cancel(const std::string& channel);
  // Sends a raw line (for malformed-input tests).
  void sendLine(const std::string& line);

  // The next message that is not a reply to a request: an event or a host call.
  std::optional<nlohmann::json> nextUnsolicited(std::chrono::milliseconds timeout);
  // Any line, in arrival order.
  std::optional<nlohmann::json> nextLine(std::chrono::milliseconds timeout);
  // Forgets the unsolicited messages read so far (those that came before the last reply).
  void discardUnsolicited() { unsolicited_.clear(); }
  // Drains what arrives within `quiet` and returns the unsolicited messages seen.
  std::deque<nlohmann::json> drainUnsolicited(std::chrono::milliseconds quiet);

 private:
  explicit DriverClient(int fd) : fd_(fd) {}
  std::optional<nlohmann::json> request(nlohmann::json message, std::chrono::milliseconds timeout);
  bool readOneLine(std::chrono::milliseconds timeout);

  int fd_ = -1;
  long nextId_ = 1;
  std::string buffer_;
  std::deque<nlohmann::json> unsolicited_;
  std::deque<nlohmann::json> replies_;
};

}  // namespace tessra::testing
