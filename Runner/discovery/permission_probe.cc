#include "Runner/discovery/permission_probe.h"

#include <cassert>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "platform/dispatch/main_queue.h"
#include "platform/network/connection.h"

namespace discovery {

// One request: a connection attempt that answers its caller exactly once, when the
// connection becomes ready, fails, or takes too long, whichever comes first. It keeps itself
// alive through the connection's state handler until it has answered.
class PermissionProbe::Attempt : public std::enable_shared_from_this<Attempt> {
 public:
  Attempt(std::ostream& out, dispatch::MainQueue& mainQueue, std::function<void(bool)> completion)
      : out_(out), mainQueue_(mainQueue), completion_(std::move(completion)) {}

  void start(std::shared_ptr<network::Connection> connection) {
    connection_ = std::move(connection);
    connection_->setStateUpdateHandler(
        [self = shared_from_this()](network::ConnectionState state,
                                    const std::optional<network::ConnectionError>& error) {
          self->stateChanged(state, error);
        });
    connection_->start();
    // Weak: an answered attempt must not wait for its timer to be released.
    timer_ = mainQueue_.asyncAfter(kPermissionProbeTimeout, [weak = weak_from_this()] {
      if (auto self = weak.lock()) self->timedOut();
    });
  }

  // For an attempt that could not get a connection at all.
  void failWithoutConnection() { answer("Network permission request failed: Could not create a connection", false); }

 private:
  void stateChanged(network::ConnectionState state, const std::optional<network::ConnectionError>& error) {
    switch (state) {
      case network::ConnectionState::kReady:
        answer("🔹 Network permission granted", true);
        break;
      case network::ConnectionState::kFailed:
        answer("Network permission request failed: " + (error ? error->description : std::string("unknown error")),
               false);
        break;
      default:
        break;
    }
  }

  void timedOut() {
    answer("Network permission request failed: Connection attempt timed out after " +
               std::to_string(kPermissionProbeTimeout.count() / 1000) + " seconds",
           false);
  }

  // The line, then the reply, then the cancellation; anything after the first answer
  // (the cancelled state, a state racing the timer) is ignored.
  void answer(const std::string& line, bool granted) {
    if (answered_) return;
    answered_ = true;
    out_ << line << std::endl;
    if (completion_) std::exchange(completion_, nullptr)(granted);
    if (auto connection = std::move(connection_)) connection->cancel();
    // Nearly every attempt answers long before its timer: a fast caller would otherwise
    // leave thousands behind, each costing the main loop a little at every turn.
    if (timer_) mainQueue_.cancelAsyncAfter(std::exchange(timer_, 0));
  }

  std::ostream& out_;
  dispatch::MainQueue& mainQueue_;  // outlives every attempt
  std::function<void(bool)> completion_;
  std::shared_ptr<network::Connection> connection_;
  dispatch::TimerId timer_ = 0;
  bool answered_ = false;
};

void PermissionProbe::request(std::function<void(bool granted)> completion) const {
  assert(mainQueue_.isMainThread());
  auto attempt = std::make_shared<Attempt>(out_, mainQueue_, std::move(completion));
  auto connection = connections_.makeConnection(kPermissionProbeHost, kPermissionProbePort);
  if (!connection) {
    // Later, like every other answer: the caller may not expect its completion to run
    // before this call has returned.
    mainQueue_.async([attempt = std::move(attempt)] { attempt->failWithoutConnection(); });
    return;
  }
  attempt->start(std::move(connection));
}

}  // namespace discovery
