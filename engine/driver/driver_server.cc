#define G_LOG_DOMAIN "tessra-engine-driver"

#include "engine/driver/driver_server.h"

#include <gio/gio.h>

#include <map>

#include "engine/driver/driver_protocol.h"
#include "engine/driver/driver_socket_file.h"
#include "platform/dispatch/lifetime.h"
#include "platform/dispatch/signal_connection.h"

namespace engine::driver {

// One attached driver. Shared so that GIO callbacks and interface callbacks, which may
// arrive after it has gone, can tell (they hold weak references).
struct AttachedDriver {
  explicit AttachedDriver(GSocketConnection* connection) : connection(G_SOCKET_CONNECTION(g_object_ref(connection))) {}
  ~AttachedDriver() {
    g_clear_object(&connection);
    g_clear_object(&cancellable);
  }
  AttachedDriver(const AttachedDriver&) = delete;
  AttachedDriver& operator=(const AttachedDriver&) = delete;

  GSocketConnection* connection;                    // owned: one reference
  GCancellable* cancellable = g_cancellable_new();  // owned

  // Input: what the last read brought and has not been taken apart yet (at most one read's
  // worth), and the line read so far. The line never grows past kMaxDriverLineLength: a
  // peer that never sends a newline must not make the engine buffer without limit, so an
  // overlong line is refused as soon as it is too long and the rest of it is skipped up to
  // its newline.
  std::string inbox;
  size_t inboxTaken = 0;
  std::string partialLine;
  bool skippingOverlongLine = false;
  bool reading = false;        // a read is in flight
  bool inputEnded = false;     // the peer has sent its last byte
  bool inputFinished = false;  // ... and its last line has been handled
  bool inputPaused = false;    // stopped for back-pressure
  bool takingInput = false;    // takeInput() is on the stack

  // Requests handed to the host whose answer has not been written yet, and their lines' size.
  size_t pendingRequests = 0;
  size_t pendingRequestBytes = 0;

  // Output: lines not yet handed to the socket, and the size of the write in progress.
  std::string outgoing;
  size_t writingBytes = 0;
  bool writing = false;

  bool closed = false;
  // The client's listens, each with the number of its latest listen request, so that a
  // listener replaced by the client's own next listen on the channel ends without a word.
  std::map<std::string, uint64_t> listens;
  uint64_t nextListen = 1;
  // Once the input has ended: fires when the peer closes its reading side as well.
  GSource* hangupWatch = nullptr;  // owned: one reference, while attached to the main context

  size_t unsent() const { return outgoing.size() + writingBytes; }
  size_t owed() const { return unsent() + pendingRequestBytes; }
};

struct DriverServer::Impl {
  Impl(DriverSocketFile file, messaging::InterfaceSide& interface) : file(std::move(file)), interface(interface) {}
  ~Impl();

  DriverSocketFile file;
  messaging::InterfaceSide& interface;
  GSocketService* service = nullptr;  // owned
  dispatch::SignalConnection incoming;
  std::shared_ptr<AttachedDriver> client;
  // Lets GIO callbacks find out that the server is gone.
  dispatch::Lifetime lifetime;

  static gboolean onIncoming(GSocketService*, GSocketConnection* connection, GObject*, gpointer data);
  void attach(GSocketConnection* connection);
  void detach();
  // Handles buffered lines and reads more, as far as back-pressure allows. Takes its own
  // reference: a line it handles may detach the client, which clears `client`.
  void takeInput(std::shared_ptr<AttachedDriver> client);
  void takeOnePiece(const std::shared_ptr<AttachedDriver>& client);
  void finishInput(const std::shared_ptr<AttachedDriver>& client);
  void readMore(const std::shared_ptr<AttachedDriver>& client);
  void handleLine(const std::shared_ptr<AttachedDriver>& client, std::string_view line);
  void write(const std::shared_ptr<AttachedDriver>& client, std::string line);
  void flush(const std::shared_ptr<AttachedDriver>& client);
};

namespace {

// What an asynchronous read or write carries to its callback. GIO always calls the
// callback, also when cancelled, so ownership passes back there.
struct ReadOperation {
  static constexpr size_t kChunk = 64 * 1024;
  DriverServer::Impl* server;
  dispatch::Lifetime::Watch serverWatch;
  std::weak_ptr<AttachedDriver> client;
  char buffer[kChunk];  // GIO writes into it until the callback runs
};
struct WriteOperation {
  DriverServer::Impl* server;
  dispatch::Lifetime::Watch serverWatch;
  std::weak_ptr<AttachedDriver> client;
  std::string data;  // GIO reads from it until the callback runs
};
struct HangupWatch {
  DriverServer::Impl* server;
  dispatch::Lifetime::Watch serverWatch;
  std::weak_ptr<AttachedDriver> client;
};

// One request's claim on the client's budget, released when its answer is written or,
// should the host drop the call unanswered, when the last copy of its reply callback goes.
class PendingRequest {
 public:
  PendingRequest(const std::shared_ptr<AttachedDriver>& client, size_t bytes) : client_(client), bytes_(bytes) {
    ++client->pendingRequests;
    client->pendingRequestBytes += bytes;
  }
  ~PendingRequest() { release(); }
  PendingRequest(const PendingRequest&) = delete;
  PendingRequest& operator=(const PendingRequest&) = delete;
  void release() {
    auto client = client_.lock();
    client_.reset();
    if (!client) return;
    --client->pendingRequests;
    client->pendingRequestBytes -= bytes_;
  }

 private:
  std::weak_ptr<AttachedDriver> client_;
  size_t bytes_;
};

// Answers a connection that will not be served with one line, then closes it.
void turnAway(GSocketConnection* connection, const std::string& line) {
  const std::string data = line + "\n";
  GOutputStream* out = g_io_stream_get_output_stream(G_IO_STREAM(connection));
  g_output_stream_write_all(out, data.data(), data.size(), nullptr, nullptr, nullptr);
  g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
}

}  // namespace

gboolean DriverServer::Impl::onIncoming(GSocketService*, GSocketConnection* connection, GObject*, gpointer data) {
  static_cast<Impl*>(data)->attach(connection);
  return TRUE;
}

void DriverServer::Impl::attach(GSocketConnection* connection) {
  // The socket file's mode keeps other users out; this holds even where it does not
  // (a changed mode, a descriptor passed on, a privileged peer).
  if (!peerIsOwnUser(g_socket_connection_get_socket(connection))) {
    turnAway(connection, driverForbiddenLine());
    return;
  }
  if (client) {
    turnAway(connection, driverBusyLine());
    return;
  }
  client = std::make_shared<AttachedDriver>(connection);

  std::weak_ptr<AttachedDriver> weak = client;
  interface.setCallInterceptor(
      [this, weak](const std::string& channel, const flutter::FlutterMethodCall& call, flutter::FlutterResult result) {
        if (auto attached = weak.lock()) write(attached, driverCallLine(channel, call));
        result(flutter::EncodableValue());
      });
  takeInput(client);
}

void DriverServer::Impl::detach() {
  if (!client) return;
  std::shared_ptr<AttachedDriver> gone = std::move(client);
  client.reset();
  gone->closed = true;
  // The host keeps its stream handlers; it just hears that nobody listens any more.
  for (const auto& [channel, serial] : gone->listens) {
    if (interface.isListening(channel)) interface.cancel(channel, flutter::EncodableValue(), {});
  }
  gone->listens.clear();
  // Only now: the built-in interface takes over again once the listens are gone.
  interface.setCallInterceptor({});
  if (gone->hangupWatch) g_source_destroy(gone->hangupWatch);
  g_clear_pointer(&gone->hangupWatch, g_source_unref);
  g_cancellable_cancel(gone->cancellable);
  // The stream cannot be closed while its read is pending; the socket can, and the peer
  // sees the end at once.
  g_socket_close(g_socket_connection_get_socket(gone->connection), nullptr);
}

void DriverServer::Impl::takeInput(std::shared_ptr<AttachedDriver> from) {
  // Answers written while handling a line come back here through write(); the loop below
  // already looks at the budget before each line.
  if (from->takingInput) return;
  from->takingInput = true;
  while (!from->closed) {
    const size_t limit = from->inputPaused ? kDriverHighWater / 2 : kDriverHighWater;
    if (from->owed() > limit || from->pendingRequests >= kMaxDriverPendingRequests) {
      from->inputPaused = true;
      break;
    }
    from->inputPaused = false;
    if (from->inboxTaken < from->inbox.size()) {
      takeOnePiece(from);
    } else if (from->inputEnded) {
      finishInput(from);
      break;
    } else {
      if (!from->reading) readMore(from);
      break;
    }
  }
  from->takingInput = false;
}

void DriverServer::Impl::takeOnePiece(const std::shared_ptr<AttachedDriver>& from) {
  std::string_view data(from->inbox);
  data.remove_prefix(from->inboxTaken);
  const size_t newline = data.find('\n');
  const std::string_view piece = data.substr(0, newline);
  from->inboxTaken += newline == std::string_view::npos ? data.size() : newline + 1;
  if (from->skippingOverlongLine) {
    if (newline != std::string_view::npos) from->skippingOverlongLine = false;
    return;
  }
  if (from->partialLine.size() + piece.size() > kMaxDriverLineLength) {
    // Answered now, not at the newline that may never come; the rest of the line is
    // dropped unread.
    std::string().swap(from->partialLine);
    from->skippingOverlongLine = newline == std::string_view::npos;
    write(from, driverBadRequestLine(
                    DriverBadRequest{nullptr, "line longer than " + std::to_string(kMaxDriverLineLength) + " bytes"}));
    return;
  }
  if (newline == std::string_view::npos) {
    from->partialLine.append(piece);
  } else if (from->partialLine.empty()) {
    handleLine(from, piece);  // the inbox is not touched until the next read
  } else {
    from->partialLine.append(piece);
    std::string line = std::move(from->partialLine);
    from->partialLine.clear();
    handleLine(from, line);
  }
}

void DriverServer::Impl::finishInput(const std::shared_ptr<AttachedDriver>& from) {
  if (from->inputFinished) return;
  from->inputFinished = true;
  // A last line without its newline still counts, as it would for a line reader.
  if (!from->skippingOverlongLine && !from->partialLine.empty()) {
    std::string last = std::move(from->partialLine);
    std::string().swap(from->partialLine);
    handleLine(from, last);
    if (from->closed) return;
  }
  // The peer may only have shut down its sending side (as `socat -t N -` does when its
  // input ends) and still wait for answers and events: stay until it closes its reading
  // side too, which the socket reports as a hang-up, or until a write fails.
  from->hangupWatch = g_socket_create_source(g_socket_connection_get_socket(from->connection),
                                             static_cast<GIOCondition>(G_IO_HUP | G_IO_ERR), nullptr);
  g_source_set_callback(
      from->hangupWatch, G_SOURCE_FUNC(+[](GSocket*, GIOCondition, gpointer data) -> gboolean {
        const auto* watch = static_cast<const HangupWatch*>(data);
        auto client = watch->client.lock();
        if (dispatch::Lifetime::alive(watch->serverWatch) && client && watch->server->client == client) {
          watch->server->detach();
        }
        return G_SOURCE_REMOVE;
      }),
      new HangupWatch{this, lifetime.watch(), from}, [](gpointer data) { delete static_cast<HangupWatch*>(data); });
  g_source_attach(from->hangupWatch, nullptr);
}

void DriverServer::Impl::readMore(const std::shared_ptr<AttachedDriver>& reader) {
  reader->reading = true;
  auto operation = std::make_unique<ReadOperation>();
  operation->server = this;
  operation->serverWatch = lifetime.watch();
  operation->client = reader;
  char* buffer = operation->buffer;
  g_input_stream_read_async(
      g_io_stream_get_input_stream(G_IO_STREAM(reader->connection)), buffer, ReadOperation::kChunk, G_PRIORITY_DEFAULT,
      reader->cancellable,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<ReadOperation> operation(static_cast<ReadOperation*>(data));
        g_autoptr(GError) error = nullptr;
        const gssize count = g_input_stream_read_finish(G_INPUT_STREAM(source), result, &error);
        auto reader = operation->client.lock();
        if (!dispatch::Lifetime::alive(operation->serverWatch) || !reader || reader->closed) return;
        Impl& impl = *operation->server;
        reader->reading = false;
        if (count < 0) {  // a broken connection: the driver has gone
          if (impl.client == reader) impl.detach();
          return;
        }
        if (count == 0) {
          reader->inputEnded = true;
        } else {
          reader->inbox.assign(operation->buffer, static_cast<size_t>(count));
          reader->inboxTaken = 0;
        }
        impl.takeInput(reader);
      },
      operation.release());
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
  auto pending = std::make_shared<PendingRequest>(from, line.size());
  auto replyTo = [this, weak, pending, id = request.id](const flutter::FlutterReply& reply) {
    pending->release();
    auto attached = weak.lock();
    if (!attached) return;
    write(attached, driverReplyLine(id, reply));
    takeInput(attached);
  };
  switch (request.op) {
    case DriverRequest::Op::kInvoke:
      interface.invokeMethod(request.channel, request.method, request.arguments, replyTo);
      break;
    case DriverRequest::Op::kListen: {
      if (interface.isSweepChannel(request.channel) &&
          interface.sweepsInFlight(request.channel) >= static_cast<int>(kMaxDriverSweeps)) {
        replyTo(flutter::FlutterError{"too-many-sweeps",
                                      std::to_string(kMaxDriverSweeps) +
                                          " sweeps are running on this channel already; listen again after a "
                                          "completion null",
                                      flutter::EncodableValue()});
        break;
      }
      const uint64_t serial = from->nextListen++;
      from->listens[request.channel] = serial;
      auto onEvent = [this, weak, channel = request.channel, serial](const messaging::StreamEvent& event) {
        auto attached = weak.lock();
        if (!attached) return;
        auto listen = attached->listens.find(channel);
        const bool current = listen != attached->listens.end() && listen->second == serial;
        if (event.kind == messaging::StreamEvent::Kind::kEndOfStream) {
          // The client's own newer listen took the stream over: it goes on for the client.
          if (!current) return;
          attached->listens.erase(listen);
        }
        write(attached, driverEventLine(channel, event));
      };
      auto onReply = [weak, channel = request.channel, serial, replyTo](const flutter::FlutterReply& reply) {
        auto attached = weak.lock();
        // A refused listen leaves nothing behind to cancel later.
        if (attached && !std::holds_alternative<flutter::EncodableValue>(reply)) {
          auto listen = attached->listens.find(channel);
          if (listen != attached->listens.end() && listen->second == serial) attached->listens.erase(listen);
        }
        replyTo(reply);
      };
      interface.listen(request.channel, request.arguments, onEvent, onReply);
      break;
    }
    case DriverRequest::Op::kCancel:
      if (from->listens.erase(request.channel) == 0 && interface.isListening(request.channel)) {
        // Someone else's listen (the built-in interface's, from before the client came).
        replyTo(flutter::FlutterError{"error", "No active stream to cancel", flutter::EncodableValue()});
        break;
      }
      interface.cancel(request.channel, request.arguments, replyTo);
      break;
  }
}

void DriverServer::Impl::write(const std::shared_ptr<AttachedDriver>& to, std::string line) {
  if (to->closed) return;
  to->outgoing.append(line).push_back('\n');
  if (to->unsent() > kDriverUnsentCap) {
    // Reading has long stopped, so only events and host calls can have brought it here:
    // rather than lose some of them without a word, the client goes as a whole.
    g_warning("driver dropped: it left more than %zu bytes of answers and events unread", kDriverUnsentCap);
    if (client == to) detach();
    return;
  }
  flush(to);
}

void DriverServer::Impl::flush(const std::shared_ptr<AttachedDriver>& to) {
  if (to->writing || to->outgoing.empty() || to->closed) return;
  to->writing = true;
  // Everything queued goes out in one write: a client that reads slowly gets few large
  // writes rather than one per line.
  auto operation = std::make_unique<WriteOperation>(WriteOperation{this, lifetime.watch(), to, std::string()});
  operation->data.swap(to->outgoing);
  to->writingBytes = operation->data.size();
  const std::string& data = operation->data;
  g_output_stream_write_all_async(
      g_io_stream_get_output_stream(G_IO_STREAM(to->connection)), data.data(), data.size(), G_PRIORITY_DEFAULT,
      to->cancellable,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<WriteOperation> operation(static_cast<WriteOperation*>(data));
        g_autoptr(GError) error = nullptr;
        gboolean written = g_output_stream_write_all_finish(G_OUTPUT_STREAM(source), result, nullptr, &error);
        auto writer = operation->client.lock();
        if (!dispatch::Lifetime::alive(operation->serverWatch) || !writer || writer->closed) return;
        writer->writing = false;
        writer->writingBytes = 0;
        Impl& impl = *operation->server;
        if (!written) {  // the peer closed its reading side
          if (impl.client == writer) impl.detach();
          return;
        }
        impl.flush(writer);
        if (writer->inputPaused) impl.takeInput(writer);
      },
      operation.release());
}

std::unique_ptr<DriverServer> DriverServer::start(const std::string& path, messaging::InterfaceSide& interface,
                                                  std::string& whyNot) {
  auto file = DriverSocketFile::create(path, whyNot);
  if (!file) return nullptr;
  auto impl = std::make_unique<Impl>(std::move(*file), interface);
  impl->service = g_socket_service_new();
  g_autoptr(GError) error = nullptr;
  if (!g_socket_listener_add_socket(G_SOCKET_LISTENER(impl->service), impl->file.socket(), nullptr, &error)) {
    whyNot = "cannot serve the driver socket \"" + path + "\": " + error->message;
    return nullptr;
  }
  impl->incoming.connect(impl->service, "incoming", G_CALLBACK(&Impl::onIncoming), impl.get());
  g_socket_service_start(impl->service);
  return std::make_unique<DriverServer>(std::move(impl));
}

DriverServer::DriverServer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

DriverServer::~DriverServer() = default;

DriverServer::Impl::~Impl() {
  detach();
  if (service) {
    g_socket_service_stop(service);
    g_socket_listener_close(G_SOCKET_LISTENER(service));
  }
  g_clear_object(&service);
  // The file goes after the listener: it removes the socket file if it is still ours.
}

bool DriverServer::hasClient() const { return impl_->client != nullptr; }

const std::string& DriverServer::path() const { return impl_->file.path(); }

}  // namespace engine::driver
