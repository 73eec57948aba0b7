#include "platform/network/socket_connection_factory.h"

#include <glib-unix.h>
#include <glib.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cassert>
#include <cerrno>
#include <cstring>

#include "platform/process/retry_on_eintr.h"
#include "platform/process/unique_fd.h"

namespace network {

namespace {

ConnectionError errorOf(int code) { return {code, std::strerror(code)}; }

class SocketConnection : public Connection, public std::enable_shared_from_this<SocketConnection> {
 public:
  SocketConnection(dispatch::MainQueue& mainQueue, std::string host, uint16_t port)
      : mainQueue_(mainQueue), host_(std::move(host)), port_(port) {}
  ~SocketConnection() override { removeWatch(); }

  void setStateUpdateHandler(StateUpdateHandler handler) override { handler_ = std::move(handler); }

  void start() override {
    assert(mainQueue_.isMainThread());
    if (started_ || cancelled_) return;
    started_ = true;
    post(ConnectionState::kPreparing);
    connect();
  }

  void cancel() override {
    assert(mainQueue_.isMainThread());
    if (cancelled_) return;
    cancelled_ = true;
    removeWatch();
    socket_.reset();
    post(ConnectionState::kCancelled);
  }

 private:
  void connect() {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port_);
    if (getaddrinfo(host_.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
      fail(EINVAL);
      return;
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owned(found, freeaddrinfo);

    socket_.reset(socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
    if (!socket_.valid()) {
      fail(errno);
      return;
    }
    const int rc = process::retryOnEintr([&] { return ::connect(socket_.get(), found->ai_addr, found->ai_addrlen); });
    if (rc == 0) {
      post(ConnectionState::kReady);
    } else if (errno == EINPROGRESS) {
      watch_ = g_unix_fd_source_new(socket_.get(), G_IO_OUT);
      g_source_set_callback(watch_, G_SOURCE_FUNC(&SocketConnection::onWritable), this, nullptr);
      g_source_attach(watch_, g_main_context_default());
    } else {
      fail(errno);
    }
  }

  static gboolean onWritable(gint fd, GIOCondition, gpointer data) {
    auto* connection = static_cast<SocketConnection*>(data);
    // GLib drops the source itself on G_SOURCE_REMOVE; only our reference goes here.
    g_clear_pointer(&connection->watch_, g_source_unref);
    int error = 0;
    socklen_t length = sizeof(error);
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error == 0) {
      connection->post(ConnectionState::kReady);
    } else {
      connection->fail(error);
    }
    return G_SOURCE_REMOVE;
  }

  void fail(int code) {
    socket_.reset();
    post(ConnectionState::kFailed, errorOf(code));
  }

  void removeWatch() {
    if (!watch_) return;
    g_source_destroy(watch_);
    g_clear_pointer(&watch_, g_source_unref);
  }

  // States always arrive through the main queue, never from inside start() or cancel().
  void post(ConnectionState state, std::optional<ConnectionError> error = std::nullopt) {
    mainQueue_.async([weak = weak_from_this(), state, error = std::move(error)] {
      if (auto self = weak.lock()) self->deliver(state, error);
    });
  }

  void deliver(ConnectionState state, const std::optional<ConnectionError>& error) {
    if (cancelled_ && state != ConnectionState::kCancelled) return;
    // A copy: the handler may drop the last other reference to us, or replace itself.
    StateUpdateHandler handler = handler_;
    if (state == ConnectionState::kCancelled) handler_ = nullptr;
    if (handler) handler(state, error);
  }

  dispatch::MainQueue& mainQueue_;
  const std::string host_;
  const uint16_t port_;
  StateUpdateHandler handler_;
  process::UniqueFd socket_;
  GSource* watch_ = nullptr;
  bool started_ = false;
  bool cancelled_ = false;
};

}  // namespace

std::shared_ptr<Connection> SocketConnectionFactory::makeConnection(const std::string& host, uint16_t port) {
  return std::make_shared<SocketConnection>(mainQueue_, host, port);
}

}  // namespace network
