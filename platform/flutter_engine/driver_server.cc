#include "platform/flutter_engine/driver_server.h"

#include <gio/gio.h>
#include <gio/gunixsocketaddress.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <set>

#include "platform/flutter_engine/driver_protocol.h"

namespace engine {
namespace {

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
  void operator()(GError* error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

// True when something accepts connections at `path`: then it is not ours to replace.
bool someoneServes(const std::string& path) {
  GObjectPtr<GSocketClient> client(g_socket_client_new());
  GObjectPtr<GSocketAddress> address(g_unix_socket_address_new(path.c_str()));
  GError* error = nullptr;
  GObjectPtr<GSocketConnection> connection(
      g_socket_client_connect(client.get(), G_SOCKET_CONNECTABLE(address.get()), nullptr, &error));
  GErrorPtr owned(error);
  if (connection) g_io_stream_close(G_IO_STREAM(connection.get()), nullptr, nullptr);
  return connection != nullptr;
}

}  // namespace

// One attached driver. Shared so that GIO callbacks and interface callbacks, which may
// arrive after it has gone, can tell (they hold weak references).
struct AttachedDriver {
  GObjectPtr<GSocketConnection> connection;
  GObjectPtr<GCancellable> cancellable{g_cancellable_new()};
  // The line read so far. It never grows past kMaxDriverLineLength: a peer that never
  // sends a newline must not make the engine buffer without limit, so an overlong line is
  // refused as soon as it is too long and the rest of it is skipped up to its newline.
  std::string partialLine;
  bool skippingOverlongLine = false;
  std::deque<std::string> outgoing;
  bool writing = false;
  bool closed = false;
  std::set<std::string> listens;
};

struct DriverServer::Impl {
  Impl(std::string path, InterfaceSide& interface) : path(std::move(path)), interface(interface) {}

  std::string path;
  InterfaceSide& interface;
  GObjectPtr<GSocketService> service;
  gulong incomingHandler = 0;
  dev_t device = 0;
  ino_t inode = 0;
  std::shared_ptr<AttachedDriver> client;
  // Lets GIO callbacks find out that the server is gone.
  std::shared_ptr<Impl*> self = std::make_shared<Impl*>(this);

  static gboolean onIncoming(GSocketService*, GSocketConnection* connection, GObject*, gpointer data);
  void attach(GSocketConnection* connection);
  void detach();
  void readMore(const std::shared_ptr<AttachedDriver>& client);
  // Splits what arrived into lines and handles each complete one; false once the client
  // has gone meanwhile.
  bool takeInput(const std::shared_ptr<AttachedDriver>& client, std::string_view data);
  void handleLine(const std::shared_ptr<AttachedDriver>& client, std::string_view line);
  void write(const std::shared_ptr<AttachedDriver>& client, std::string line);
  void flush(const std::shared_ptr<AttachedDriver>& client);
};

namespace {

// What an asynchronous read or write carries to its callback. GIO always calls the
// callback, also when cancelled, so ownership passes back there.
struct ReadOperation {
  static constexpr size_t kChunk = 64 * 1024;
  std::weak_ptr<DriverServer::Impl*> server;
  std::weak_ptr<AttachedDriver> client;
  char buffer[kChunk];  // GIO writes into it until the callback runs
};
struct WriteOperation {
  std::weak_ptr<DriverServer::Impl*> server;
  std::weak_ptr<AttachedDriver> client;
  std::string data;  // GIO reads from it until the callback runs
};

}  // namespace

gboolean DriverServer::Impl::onIncoming(GSocketService*, GSocketConnection* connection, GObject*, gpointer data) {
  static_cast<Impl*>(data)->attach(connection);
  return TRUE;
}

void DriverServer::Impl::attach(GSocketConnection* connection) {
  if (client) {
    std::string busy = driverBusyLine() + "\n";
    GOutputStream* out = g_io_stream_get_output_stream(G_IO_STREAM(connection));
    g_output_stream_write_all(out, busy.data(), busy.size(), nullptr, nullptr, nullptr);
    g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
    return;
  }
  client = std::make_shared<AttachedDriver>();
  client->connection.reset(G_SOCKET_CONNECTION(g_object_ref(connection)));

  std::weak_ptr<AttachedDriver> weak = client;
  interface.setCallInterceptor([this, weak](const std::string& channel, const flutter::FlutterMethodCall& call,
                                            flutter::FlutterResult result) {
    if (auto attached = weak.lock()) write(attached, driverCallLine(channel, call));
    result(flutter::EncodableValue());
  });
  readMore(client);
}

void DriverServer::Impl::detach() {
  if (!client) return;
  std::shared_ptr<AttachedDriver> gone = std::move(client);
  client.reset();
  gone->closed = true;
  interface.setCallInterceptor({});
  // The host keeps its stream handlers; it just hears that nobody listens any more.
  for (const auto& channel : gone->listens) {
    if (interface.isListening(channel)) interface.cancel(channel, flutter::EncodableValue(), {});
  }
  gone->listens.clear();
  g_cancellable_cancel(gone->cancellable.get());
  // The stream cannot be closed while its read is pending; the socket can, and the peer
  // sees the end at once.
  g_socket_close(g_socket_connection_get_socket(gone->connection.get()), nullptr);
}

void DriverServer::Impl::readMore(const std::shared_ptr<AttachedDriver>& reader) {
  auto operation = std::make_unique<ReadOperation>();
  operation->server = self;
  operation->client = reader;
  char* buffer = operation->buffer;
  g_input_stream_read_async(
      g_io_stream_get_input_stream(G_IO_STREAM(reader->connection.get())), buffer, ReadOperation::kChunk,
      G_PRIORITY_DEFAULT, reader->cancellable.get(),
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<ReadOperation> operation(static_cast<ReadOperation*>(data));
        GError* error = nullptr;
        const gssize count = g_input_stream_read_finish(G_INPUT_STREAM(source), result, &error);
        GErrorPtr ownedError(error);
        auto server = operation->server.lock();
        auto reader = operation->client.lock();
        if (!server || !reader || reader->closed) return;
        Impl& impl = **server;
        if (count <= 0) {  // end of stream or a broken connection: the driver has gone
          // A last line without its newline still counts, as it would for a line reader.
          if (count == 0 && !reader->skippingOverlongLine && !reader->partialLine.empty()) {
            std::string last = std::move(reader->partialLine);
            impl.handleLine(reader, last);
          }
          if (impl.client == reader) impl.detach();
          return;
        }
        if (impl.takeInput(reader, std::string_view(operation->buffer, static_cast<size_t>(count)))) {
          impl.readMore(reader);
        }
      },
      operation.release());
}

bool DriverServer::Impl::takeInput(const std::shared_ptr<AttachedDriver>& from, std::string_view data) {
  while (!data.empty()) {
    if (from->closed) return false;
    const size_t newline = data.find('\n');
    const std::string_view piece = data.substr(0, newline);
    data.remove_prefix(newline == std::string_view::npos ? data.size() : newline + 1);
    if (from->skippingOverlongLine) {
      if (newline != std::string_view::npos) from->skippingOverlongLine = false;
      continue;
    }
    if (from->partialLine.size() + piece.size() > kMaxDriverLineLength) {
      // Answered now, not at the newline that may never come; the rest of the line is
      // dropped unread.
      std::string().swap(from->partialLine);
      from->skippingOverlongLine = newline == std::string_view::npos;
      write(from, driverBadRequestLine(
                      DriverBadRequest{nullptr, "line longer than " + std::to_string(kMaxDriverLineLength) + " bytes"}));
      continue;
    }
    if (newline == std::string_view::npos) {
      from->partialLine.append(piece);
      continue;
    }
    if (from->partialLine.empty()) {
      handleLine(from, piece);
    } else {
      from->partialLine.append(piece);
      std::string line = std::move(from->partialLine);
      from->partialLine.clear();
      handleLine(from, line);
    }
  }
  return !from->closed;
}

void DriverServer::Impl::handleLine(const std::shared_ptr<AttachedDriver>& from, std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.find_first_not_of(" \t") == std::string_view::npos) return;  // blank lines are ignored
  auto parsed = parseDriverRequest(line);
  if (auto* bad = std::get_if<DriverBadRequest>(&parsed)) {
    write(from, driverBadRequestLine(*bad));
    return;
  }
  auto& request = std::get<DriverRequest>(parsed);
  std::weak_ptr<AttachedDriver> weak = from;
  auto replyTo = [this, weak, id = request.id](const flutter::FlutterReply& reply) {
    if (auto attached = weak.lock()) write(attached, driverReplyLine(id, reply));
  };
  switch (request.op) {
    case DriverRequest::Op::kInvoke:
      interface.invokeMethod(request.channel, request.method, request.arguments, replyTo);
      break;
    case DriverRequest::Op::kListen: {
      from->listens.insert(request.channel);
      auto onEvent = [this, weak, channel = request.channel](const StreamEvent& event) {
        auto attached = weak.lock();
        if (!attached) return;
        if (event.kind == StreamEvent::Kind::kEndOfStream) attached->listens.erase(channel);
        write(attached, driverEventLine(channel, event));
      };
      auto onReply = [weak, channel = request.channel, replyTo](const flutter::FlutterReply& reply) {
        auto attached = weak.lock();
        if (attached && !std::holds_alternative<flutter::EncodableValue>(reply)) attached->listens.erase(channel);
        replyTo(reply);
      };
      interface.listen(request.channel, request.arguments, onEvent, onReply);
      break;
    }
    case DriverRequest::Op::kCancel:
      from->listens.erase(request.channel);
      interface.cancel(request.channel, request.arguments, replyTo);
      break;
  }
}

void DriverServer::Impl::write(const std::shared_ptr<AttachedDriver>& to, std::string line) {
  if (to->closed) return;
  line.push_back('\n');
  to->outgoing.push_back(std::move(line));
  flush(to);
}

void DriverServer::Impl::flush(const std::shared_ptr<AttachedDriver>& to) {
  if (to->writing || to->outgoing.empty() || to->closed) return;
  to->writing = true;
  auto operation = std::make_unique<WriteOperation>(WriteOperation{self, to, std::move(to->outgoing.front())});
  to->outgoing.pop_front();
  const std::string& data = operation->data;
  g_output_stream_write_all_async(
      g_io_stream_get_output_stream(G_IO_STREAM(to->connection.get())), data.data(), data.size(), G_PRIORITY_DEFAULT,
      to->cancellable.get(),
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<WriteOperation> operation(static_cast<WriteOperation*>(data));
        GError* error = nullptr;
        gboolean written = g_output_stream_write_all_finish(G_OUTPUT_STREAM(source), result, nullptr, &error);
        GErrorPtr ownedError(error);
        auto server = operation->server.lock();
        auto writer = operation->client.lock();
        if (!server || !writer || writer->closed) return;
        writer->writing = false;
        Impl& impl = **server;
        if (!written) {
          if (impl.client == writer) impl.detach();
          return;
        }
        impl.flush(writer);
      },
      operation.release());
}

std::unique_ptr<DriverServer> DriverServer::start(const std::string& path, InterfaceSide& interface,
                                                  std::string& whyNot) {
  if (path.empty() || path.size() >= sizeof(sockaddr_un::sun_path)) {
    whyNot = "driver socket path \"" + path + "\" is empty or too long for a Unix socket";
    return nullptr;
  }
  struct stat existing {};
  if (lstat(path.c_str(), &existing) == 0) {
    if (!S_ISSOCK(existing.st_mode)) {
      whyNot = "driver socket path \"" + path + "\" exists and is not a socket; leaving it alone";
      return nullptr;
    }
    if (someoneServes(path)) {
      whyNot = "driver socket \"" + path + "\" is served by another process";
      return nullptr;
    }
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
      whyNot = "cannot remove the stale driver socket \"" + path + "\": " + std::strerror(errno);
      return nullptr;
    }
  }

  auto impl = std::make_unique<Impl>(path, interface);
  impl->service.reset(g_socket_service_new());
  GObjectPtr<GSocketAddress> address(g_unix_socket_address_new(path.c_str()));
  GError* error = nullptr;
  // The socket file takes its mode from the umask at bind time; a narrow umask closes the
  // window in which another user could connect before the chmod below.
  mode_t previousMask = umask(0177);
  gboolean added = g_socket_listener_add_address(G_SOCKET_LISTENER(impl->service.get()), address.get(),
                                                 G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_DEFAULT, nullptr, nullptr,
                                                 &error);
  umask(previousMask);
  GErrorPtr ownedError(error);
  if (!added) {
    whyNot = "cannot create the driver socket \"" + path + "\": " + (error ? error->message : "unknown error");
    return nullptr;
  }
  struct stat created {};
  if (chmod(path.c_str(), 0600) != 0 || lstat(path.c_str(), &created) != 0) {
    whyNot = "cannot restrict the driver socket \"" + path + "\": " + std::strerror(errno);
    g_socket_listener_close(G_SOCKET_LISTENER(impl->service.get()));
    unlink(path.c_str());
    return nullptr;
  }
  impl->device = created.st_dev;
  impl->inode = created.st_ino;
  impl->incomingHandler =
      g_signal_connect(impl->service.get(), "incoming", G_CALLBACK(&Impl::onIncoming), impl.get());
  g_socket_service_start(impl->service.get());
  return std::make_unique<DriverServer>(std::move(impl));
}

DriverServer::DriverServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

DriverServer::~DriverServer() {
  impl_->detach();
  g_signal_handler_disconnect(impl_->service.get(), impl_->incomingHandler);
  g_socket_service_stop(impl_->service.get());
  g_socket_listener_close(G_SOCKET_LISTENER(impl_->service.get()));
  // Only our own socket: someone may have put something else there meanwhile.
  struct stat current {};
  if (lstat(impl_->path.c_str(), &current) == 0 && current.st_dev == impl_->device &&
      current.st_ino == impl_->inode) {
    unlink(impl_->path.c_str());
  }
}

bool DriverServer::hasClient() const { return impl_->client != nullptr; }

const std::string& DriverServer::path() const { return impl_->path; }

}  // namespace engine
