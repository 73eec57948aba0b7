#include <cassert>
#include <ostream>
#include <utility>

#include "Runner/channels/channels.h"
#include "Runner/discovery/local_network_discovery.h"
#include "Runner/embedding/printable_name.h"
#include "platform/dispatch/main_queue.h"
#include "platform/network/connection.h"

namespace {

// One permission check: a connection attempt that answers its caller exactly once, when
// the connection becomes ready, fails, or takes too long, whichever comes first. It keeps
// itself alive through the connection's state handler until it has answered.
class PermissionProbe : public std::enable_shared_from_this<PermissionProbe> {
 public:
  PermissionProbe(std::ostream& out, std::function<void(bool)> completion)
      : out_(out), completion_(std::move(completion)) {}

  void start(std::shared_ptr<network::Connection> connection, dispatch::MainQueue& mainQueue) {
    mainQueue_ = &mainQueue;
    connection_ = std::move(connection);
    connection_->setStateUpdateHandler(
        [self = shared_from_this()](network::ConnectionState state,
                                    const std::optional<network::ConnectionError>& error) {
          self->stateChanged(state, error);
        });
    connection_->start();
    // Weak: an answered probe must not wait for its timer to be released.
    timer_ = mainQueue.asyncAfter(kPermissionProbeTimeout, [weak = weak_from_this()] {
      if (auto self = weak.lock()) self->timedOut();
    });
  }

  // For a probe that could not get a connection at all.
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
    // Nearly every probe answers long before its timer: a fast caller would otherwise leave
    // thousands behind, each costing the main loop a little at every turn.
    if (mainQueue_ && timer_) mainQueue_->cancelAsyncAfter(std::exchange(timer_, 0));
  }

  std::ostream& out_;
  std::function<void(bool)> completion_;
  std::shared_ptr<network::Connection> connection_;
  dispatch::MainQueue* mainQueue_ = nullptr;  // set by start(); outlives every probe
  dispatch::TimerId timer_ = 0;
  bool answered_ = false;
};

}  // namespace

void LocalNetworkDiscovery::requestNetworkPermission(std::function<void(bool)> completion) {
  assert(services_.mainQueue.isMainThread());
  auto probe = std::make_shared<PermissionProbe>(services_.out, std::move(completion));
  auto connection = services_.connections.makeConnection(kPermissionProbeHost, kPermissionProbePort);
  if (!connection) {
    // Later, like every other answer: the caller may not expect its completion to run
    // before this call has returned.
    services_.mainQueue.async([probe = std::move(probe)] { probe->failWithoutConnection(); });
    return;
  }
  probe->start(std::move(connection), services_.mainQueue);
}

void handleLocalNetworkPermissionCall(LocalNetworkDiscovery& discovery, const flutter::FlutterMethodCall& call,
                                      flutter::FlutterResult result) {
  const std::string& method = call.method();
  if (method == channels::kPermission.checkMethod || method == channels::kPermission.requestMethod) {
    discovery.requestNetworkPermission([result](bool granted) { result(flutter::EncodableValue(granted)); });
    return;
  }
  // The name is the caller's choice: escaped, so that it cannot end the line or forge another.
  discovery.services_.out << "Unsupported method: " << flutter::printableName(method) << std::endl;
  result(flutter::FlutterMethodNotImplemented);
}
