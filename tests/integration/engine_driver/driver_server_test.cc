// The stand-in engine's driver endpoint, served by GIO on a real socket, driven by a plain
// POSIX client as a test tool would. The host side is the real embedding API.
#include <gio/gio.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "BuiltInInterface/built_in_interface.h"
#include "Runner/embedding/event_channel.h"
#include "Runner/embedding/method_channel.h"
#include "Runner/embedding/testing/recording_stream_handler.h"
#include "engine/driver/driver_protocol.h"
#include "engine/driver/driver_server.h"
#include "engine/stand_in_engine.h"
#include "platform/dispatch/testing/fake_main_queue.h"
#include "tests/integration/support/eventually.inl"
#include "tests/integration/support/main_loop.h"

namespace engine::driver {
namespace {

using dispatch::testing::FakeMainQueue;
using messaging::InProcessMessenger;
using messaging::InterfaceSide;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::testing::RecordingStreamHandler;
using Json = nlohmann::json;

// Runs the GLib default context and the main queue. The fake queue does not wake the
// context, and the conditions watch a client socket or a child process, so `until` polls
// with eventually() rather than waiting in the context; its bound is there only so that a
// broken build fails instead of hanging.
class Pump {
 public:
  explicit Pump(FakeMainQueue& queue) : queue_(queue) {}
  void once() {
    tessra::testing::pumpPending();
    queue_.runUntilIdle();
  }
  template <typename Condition>
  bool until(Condition condition) {
    return tessra::testing::eventually(
        [&] {
          if (condition()) return true;
          once();
          return condition();
        },
        std::chrono::seconds(20));
  }

 private:
  FakeMainQueue& queue_;
};

class Client {
 public:
  Client(const std::string& path, Pump& pump) : pump_(pump) {
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  }
  ~Client() { close(); }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  bool connected() const { return connected_; }
  int fd() const { return fd_; }
  // Shuts down the sending side only, as `socat -t N -` does when its input ends.
  void finishSending() { ASSERT_EQ(shutdown(fd_, SHUT_WR), 0); }

  void send(const std::string& line) {
    std::string data = line + "\n";
    ASSERT_EQ(::send(fd_, data.data(), data.size(), MSG_NOSIGNAL), static_cast<ssize_t>(data.size()));
  }
  void send(const char* line) { send(std::string(line)); }
  // Sends everything, letting the server read whenever the socket is full.
  void sendAll(std::string_view data) {
    while (!data.empty()) {
      const ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
      if (n > 0) {
        data.remove_prefix(static_cast<size_t>(n));
      } else {
        ASSERT_TRUE(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) << std::strerror(errno);
        pump_.once();
        poll(nullptr, 0, 1);
      }
    }
  }
  void send(const Json& message) { send(message.dump()); }

  // The next line, or null when the server closed the connection.
  Json next() {
    Json line;
    bool done = pump_.until([&] {
      auto newline = buffer_.find('\n');
      if (newline != std::string::npos) {
        line = Json::parse(buffer_.substr(0, newline), nullptr, false);
        buffer_.erase(0, newline + 1);
        return true;
      }
      char chunk[4096];
      ssize_t n = recv(fd_, chunk, sizeof(chunk), 0);
      if (n > 0) buffer_.append(chunk, static_cast<size_t>(n));
      if (n == 0) closedByServer_ = true;
      return closedByServer_;
    });
    EXPECT_TRUE(done) << "no line arrived";
    return line;
  }
  bool closedByServer() {
    pump_.until([&] { return next().is_null() && closedByServer_; });
    return closedByServer_;
  }

 private:
  Pump& pump_;
  int fd_ = -1;
  bool connected_ = false;
  bool closedByServer_ = false;
  std::string buffer_;
};

// A Unix socket bound at `path` and not listening yet, or -1.
int boundSocketAt(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

class DriverServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_autofree char* dir = g_dir_make_tmp("tessra-driver-XXXXXX", nullptr);
    ASSERT_NE(dir, nullptr);
    dir_ = dir;
    path_ = dir_ + "/driver.sock";
  }
  void TearDown() override {
    engine_.reset();
    pump_.once();  // lets cancelled socket operations finish
    unlink(path_.c_str());
    rmdir(dir_.c_str());
  }

  StandInEngine& startEngine(std::vector<std::string> sweepChannels = {}) {
    // The built-in interface too: it must stay out of the host's calls while a driver has them.
    engine_ = std::make_unique<StandInEngine>(
        queue_, StandInEngineOptions{path_,
                                     [this](InterfaceSide& side) {
                                       return std::make_unique<built_in_interface::BuiltInInterface>(
                                           side, [this] { ++quits_; });
                                     },
                                     std::move(sweepChannels)});
    return *engine_;
  }
  flutter::FlutterBinaryMessenger& host() { return engine_->binaryMessenger(); }
  // The host's "scan" event channel, served by a stream that records what it is asked.
  std::shared_ptr<RecordingStreamHandler> serveScan() {
    auto stream = std::make_shared<RecordingStreamHandler>();
    flutter::FlutterEventChannel::eventChannelWithName("scan", host()).setStreamHandler(stream);
    return stream;
  }
  // A method channel of the host that answers every call with its method's name.
  void serveEchoOfMethodNames(const std::string& channel) {
    flutter::FlutterMethodChannel::methodChannelWithName(channel, host())
        .setMethodCallHandler([](const flutter::FlutterMethodCall& call, flutter::FlutterResult result) {
          result(EncodableValue(call.method()));
        });
  }

  FakeMainQueue queue_;
  Pump pump_{queue_};
  std::string dir_;
  std::string path_;
  int quits_ = 0;
  std::unique_ptr<StandInEngine> engine_;
};

TEST_F(DriverServerTest, TheSocketIsPrivateAndGoesAwayWithTheEngine) {
  // With an open umask the mode has to come from the socket itself.
  const mode_t previousMask = umask(0);
  startEngine();
  umask(previousMask);
  ASSERT_NE(engine_->driver(), nullptr);
  struct stat info {};
  ASSERT_EQ(lstat(path_.c_str(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  engine_.reset();
  EXPECT_NE(lstat(path_.c_str(), &info), 0);
}

TEST_F(DriverServerTest, ARegularFileAtThePathIsLeftAloneAndTheEngineRunsWithoutADriver) {
  { std::ofstream(path_) << "keep me"; }
  std::string whyNot;
  startEngine();
  EXPECT_EQ(engine_->driver(), nullptr);
  InProcessMessenger messenger(queue_);
  InterfaceSide side(messenger);
  EXPECT_EQ(DriverServer::start(path_, side, whyNot), nullptr);
  EXPECT_NE(whyNot.find("not a socket"), std::string::npos) << whyNot;
  std::ifstream file(path_);
  std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "keep me");
}

TEST_F(DriverServerTest, AStaleSocketIsReplacedButALiveOneIsNot) {
  int stale = boundSocketAt(path_);
  ASSERT_GE(stale, 0);
  close(stale);  // the file stays, nobody listens

  ASSERT_NE(startEngine().driver(), nullptr);
  InProcessMessenger otherMessenger(queue_);
  InterfaceSide otherSide(otherMessenger);
  std::string whyNot;
  EXPECT_EQ(DriverServer::start(path_, otherSide, whyNot), nullptr) << "a second server must not steal a live socket";
  Client client(path_, pump_);
  EXPECT_TRUE(client.connected());
}

TEST_F(DriverServerTest, ABusySocketIsLeftAloneAndAFolderOthersCanWriteIsWarnedOf) {
  // Listening, with a backlog already full: connecting fails with EAGAIN, not ECONNREFUSED.
  int busy = boundSocketAt(path_);
  ASSERT_GE(busy, 0);
  ASSERT_EQ(listen(busy, 0), 0);
  std::vector<std::unique_ptr<Client>> waiting;
  do {
    waiting.push_back(std::make_unique<Client>(path_, pump_));
  } while (waiting.back()->connected() && waiting.size() < 8);
  InProcessMessenger messenger(queue_);
  InterfaceSide side(messenger);
  std::string whyNot;
  EXPECT_EQ(DriverServer::start(path_, side, whyNot), nullptr);
  EXPECT_NE(whyNot.find("leaving it alone"), std::string::npos) << whyNot;
  struct stat info {};
  EXPECT_EQ(lstat(path_.c_str(), &info), 0) << "still there";
  close(busy);
  unlink(path_.c_str());

  for (const auto& [mode, warned] : {std::pair{0777, true}, {01777, false}, {0700, false}}) {
    ASSERT_EQ(chmod(dir_.c_str(), static_cast<mode_t>(mode)), 0);
    ::testing::internal::CaptureStderr();
    auto server = DriverServer::start(path_, side, whyNot);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(server, nullptr) << whyNot;
    EXPECT_EQ(said.find("can be written by other users") != std::string::npos, warned) << std::oct << mode << said;
  }
}

TEST_F(DriverServerTest, AnotherUserIsTurnedAwayWithOneLine) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to connect as another user";
  startEngine();
  // As if the socket's mode did not keep other users out.
  ASSERT_EQ(chmod(path_.c_str(), 0666), 0);
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  int answer[2];
  ASSERT_EQ(pipe(answer), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {  // only system calls from here on
    close(answer[0]);
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof(address.sun_path) - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) _exit(3);
    char buffer[512];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof(buffer))) > 0) {
      if (::write(answer[1], buffer, static_cast<size_t>(n)) != n) _exit(4);
    }
    _exit(n == 0 ? 0 : 5);
  }
  close(answer[1]);
  int status = 0;
  ASSERT_TRUE(pump_.until([&] { return waitpid(child, &status, WNOHANG) == child; }));
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0) << "the stranger could not connect, or was not closed";
  std::string said;
  char buffer[512];
  for (ssize_t n; (n = read(answer[0], buffer, sizeof(buffer))) > 0;) said.append(buffer, static_cast<size_t>(n));
  close(answer[0]);
  ASSERT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  EXPECT_EQ(Json::parse(said)["error"]["code"], "forbidden") << said;
  EXPECT_FALSE(engine_->driver()->hasClient());

  Client own(path_, pump_);
  own.send(R"({"id":1,"op":"invoke","channel":"nobody","method":"x"})");
  EXPECT_EQ(own.next(), Json::parse(R"({"id":1,"notImplemented":true})")) << "the own user still gets in";
}

TEST_F(DriverServerTest, MalformedLinesAreAnsweredAndTheConnectionStaysUp) {
  startEngine();
  serveEchoOfMethodNames("svc");
  Client client(path_, pump_);
  for (const char* line : {"{not json", "[]", R"({"id":4,"op":"invoke"})", "\xff\xfe"}) {
    client.send(std::string(line));
    Json answer = client.next();
    EXPECT_EQ(answer["error"]["code"], "bad-request") << line;
  }
  client.send(Json{{"id", 5}, {"op", "invoke"}, {"channel", "svc"}, {"method", "still here"}});
  EXPECT_EQ(client.next(), Json::parse(R"({"id":5,"reply":"still here"})"));
}

TEST_F(DriverServerTest, ALineThatNeverEndsIsRefusedOnceWithoutWaitingForItsNewline) {
  startEngine();
  serveEchoOfMethodNames("svc");
  Client client(path_, pump_);
  // Three times the limit, no newline: the refusal must come while the line is still open,
  // or the engine would be holding all of it. What follows is skipped up to the newline,
  // however much it is, and looks like a request only to a server that parses the tail.
  const std::string request = Json{{"id", 7}, {"op", "invoke"}, {"channel", "svc"}, {"method", "tail"}}.dump();
  client.sendAll(std::string(3 * kMaxDriverLineLength, 'x'));
  Json refusal = client.next();
  EXPECT_EQ(refusal["error"]["code"], "bad-request");
  EXPECT_NE(refusal["error"]["message"].get<std::string>().find("longer"), std::string::npos) << refusal.dump();
  client.sendAll(std::string(kMaxDriverLineLength, 'y') + request + "\n");

  client.send(Json{{"id", 8}, {"op", "invoke"}, {"channel", "svc"}, {"method", "next line"}});
  EXPECT_EQ(client.next(), Json::parse(R"({"id":8,"reply":"next line"})")) << "exactly one refusal, then on as usual";

  // A line just within the limit still counts; a complete line one byte over does not.
  client.sendAll(std::string(kMaxDriverLineLength + 1, ' ') + "\n");
  EXPECT_EQ(client.next()["error"]["code"], "bad-request");
  client.sendAll(std::string(kMaxDriverLineLength - request.size(), ' ') + request + "\n");
  EXPECT_EQ(client.next(), Json::parse(R"({"id":7,"reply":"tail"})"));
}

TEST_F(DriverServerTest, InvokeReachesTheHostHandlerAndBringsBackEachKindOfAnswer) {
  startEngine();
  flutter::FlutterMethodChannel::methodChannelWithName("launch_at_startup", host())
      .setMethodCallHandler([](const flutter::FlutterMethodCall& call, flutter::FlutterResult result) {
        if (call.method() == "launchAtStartupSetEnabled") {
          result(*flutter::Find(std::get<EncodableMap>(call.arguments()), "isEnabled"));
        } else if (call.method() == "fail") {
          result(flutter::FlutterReply(flutter::FlutterError{"denied", "nope", EncodableMap{{"why", "test"}}}));
        } else {
          result(flutter::FlutterMethodNotImplemented);
        }
      });
  Client client(path_, pump_);
  client.send(
      R"({"id":1,"op":"invoke","channel":"launch_at_startup","method":"launchAtStartupSetEnabled","arguments":{"isEnabled":true}})");
  client.send(R"({"id":2,"op":"invoke","channel":"launch_at_startup","method":"noSuchMethod"})");
  client.send(R"({"id":3,"op":"invoke","channel":"launch_at_startup","method":"fail"})");
  client.send(R"({"id":4,"op":"invoke","channel":"nobody","method":"x"})");
  EXPECT_EQ(client.next(), Json::parse(R"({"id":1,"reply":true})"));
  EXPECT_EQ(client.next(), Json::parse(R"({"id":2,"notImplemented":true})"));
  EXPECT_EQ(client.next(),
            Json::parse(R"({"id":3,"error":{"code":"denied","message":"nope","details":{"why":"test"}}})"));
  EXPECT_EQ(client.next(), Json::parse(R"({"id":4,"notImplemented":true})"));
}

TEST_F(DriverServerTest, ListenEventsAndCancel) {
  startEngine();
  auto stream = serveScan();
  Client client(path_, pump_);
  client.send(R"({"id":1,"op":"listen","channel":"scan","arguments":{"from":"driver"}})");
  EXPECT_EQ(client.next(), Json::parse(R"({"id":1,"reply":null})"));
  EXPECT_EQ(stream->listenArguments.back(), EncodableValue(EncodableMap{{"from", "driver"}}));

  stream->sinks.back()(EncodableMap{{"ip", "192.168.1.1"}, {"success", true}});
  stream->sinks.back()(EncodableValue());
  EXPECT_EQ(client.next(), Json::parse(R"({"event":"scan","value":{"ip":"192.168.1.1","success":true}})"));
  EXPECT_EQ(client.next(), Json::parse(R"({"event":"scan","value":null})"));

  client.send(R"({"id":2,"op":"cancel","channel":"scan"})");
  EXPECT_EQ(client.next(), Json::parse(R"({"id":2,"reply":null})"));
  EXPECT_EQ(stream->cancels(), 1);
  client.send(R"({"id":3,"op":"cancel","channel":"scan"})");
  EXPECT_EQ(client.next()["error"]["code"], "error") << "nothing left to cancel";
}

TEST_F(DriverServerTest, OneWriteOfManySweepListensStartsTwoSweepsAndRefusesTheRest) {
  startEngine({"scan"});
  auto stream = serveScan();
  size_t sweeps = 0;  // each listen the host takes starts one
  stream->onListen = [&] { ++sweeps; };
  Client client(path_, pump_);
  std::string lines;
  for (int id = 1; id <= 64; ++id) lines += Json{{"id", id}, {"op", "listen"}, {"channel", "scan"}}.dump() + "\n";
  client.sendAll(lines);
  int accepted = 0, refused = 0;
  for (int i = 0; i < 64; ++i) {
    Json answer = client.next();
    if (answer.contains("reply")) ++accepted;
    if (answer.contains("error") && answer["error"]["code"] == "too-many-sweeps") ++refused;
  }
  EXPECT_EQ(accepted, static_cast<int>(kMaxDriverSweeps));
  EXPECT_EQ(refused, 64 - static_cast<int>(kMaxDriverSweeps));
  EXPECT_EQ(sweeps, kMaxDriverSweeps);

  // Both sweeps report to the newest listen; the client's own second listen ends nothing.
  stream->sinks.back()(EncodableValue());
  EXPECT_EQ(client.next(), Json::parse(R"({"event":"scan","value":null})"));
  client.send(R"({"id":65,"op":"listen","channel":"scan"})");
  EXPECT_EQ(client.next(), Json::parse(R"({"id":65,"reply":null})")) << "a null makes room for one more";
}

TEST_F(DriverServerTest, AClientThatOnlyStopsSendingKeepsGettingAnswersAndEventsUntilItCloses) {
  startEngine();
  auto stream = serveScan();
  Client client(path_, pump_);
  client.send(R"({"id":1,"op":"listen","channel":"scan"})");
  client.finishSending();
  EXPECT_EQ(client.next(), Json::parse(R"({"id":1,"reply":null})"));
  stream->sinks.back()("later");
  EXPECT_EQ(client.next(), Json::parse(R"({"event":"scan","value":"later"})"));
  EXPECT_TRUE(engine_->driver()->hasClient());
  EXPECT_EQ(stream->cancels(), 0);

  client.close();
  ASSERT_TRUE(pump_.until([&] { return !engine_->driver()->hasClient(); }));
  pump_.once();
  EXPECT_EQ(stream->cancels(), 1);
}

// Sends as much as the socket takes, pumping the server in between, until it takes
// nothing more for a good while (the server has stopped reading) or `most` bytes have
// gone. Returns how many went.
size_t sendUntilHeldBack(Client& client, Pump& pump, const std::string& data, size_t most) {
  size_t sent = 0;
  int idleRounds = 0;
  while (sent < most && idleRounds < 200) {
    const ssize_t n = ::send(client.fd(), data.data(), data.size(), MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      idleRounds = 0;
    } else {
      EXPECT_TRUE(errno == EAGAIN || errno == EWOULDBLOCK) << std::strerror(errno);
      ++idleRounds;
      pump.once();
    }
  }
  return sent;
}

TEST_F(DriverServerTest, AClientThatWritesWithoutReadingIsHeldBackAndLosesNothingOnceItReads) {
  constexpr size_t kLineSize = 64;
  startEngine();
  auto stream = serveScan();
  Client client(path_, pump_);
  client.send(R"({"id":1,"op":"listen","channel":"scan"})");
  ASSERT_EQ(client.next(), Json::parse(R"({"id":1,"reply":null})"));

  // Each line earns a refusal. Without back-pressure the server would read on and keep
  // every answer; with it the client's writes stall once what the server owes passes the
  // high-water mark, within the socket buffers of both ends. (Lines of "1" alone do the
  // same, only with some hundred thousand lines to refuse on the way.)
  const std::string line = std::string(kLineSize - 2, ' ') + "1\n";
  std::string lines;
  for (int i = 0; i < 1024; ++i) lines += line;
  const size_t most = 16 * 1024 * 1024;
  const size_t sent = sendUntilHeldBack(client, pump_, lines, most);
  ASSERT_LT(sent, most) << "the server never stopped reading";
  EXPECT_TRUE(engine_->driver()->hasClient()) << "held back, not dropped";

  // Events still come meanwhile, and wait their turn.
  for (int i = 0; i < 1000; ++i) stream->sinks.back()(EncodableValue(i));
  pump_.once();

  // Thousands of lines: looked at as text, only the events parsed.
  size_t refusals = 0;
  int events = 0;
  std::string unread;
  bool closed = false;
  pump_.until([&] {
    char chunk[64 * 1024];
    const ssize_t n = recv(client.fd(), chunk, sizeof(chunk), 0);
    if (n > 0) unread.append(chunk, static_cast<size_t>(n));
    closed = n == 0;
    size_t start = 0;
    for (size_t end; (end = unread.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string_view line(unread.data() + start, end - start);
      if (line.starts_with(R"({"event":)")) {
        EXPECT_EQ(Json::parse(line)["value"], events) << "events in order, none lost";
        ++events;
      } else {
        EXPECT_TRUE(line.starts_with(R"({"error":{"code":"bad-request")")) << line;
        ++refusals;
      }
    }
    unread.erase(0, start);
    return closed || (refusals >= sent / kLineSize && events >= 1000);
  });
  EXPECT_FALSE(closed);
  EXPECT_EQ(events, 1000);
  EXPECT_EQ(refusals, sent / kLineSize) << "every line answered once the client read";
}

TEST_F(DriverServerTest, AClientThatLeavesEventsUnreadIsDroppedAtTheCapWithOneLine) {
  startEngine();
  auto stream = serveScan();
  Client client(path_, pump_);
  client.send(R"({"id":1,"op":"listen","channel":"scan"})");
  ASSERT_EQ(client.next(), Json::parse(R"({"id":1,"reply":null})"));

  ::testing::internal::CaptureStderr();
  const std::string big(64 * 1024, 'e');
  size_t eventsSent = 0;
  // The cap, plus what the socket buffers hold, plus a margin, and no further.
  const size_t most = (kDriverUnsentCap + 4 * 1024 * 1024) / big.size();
  while (engine_->driver()->hasClient() && eventsSent < most) {
    stream->sinks.back()(EncodableValue(big));
    ++eventsSent;
    pump_.once();
  }
  const std::string stderrText = ::testing::internal::GetCapturedStderr();
  ASSERT_FALSE(engine_->driver()->hasClient()) << "still attached after " << eventsSent << " unread events";
  EXPECT_GT(eventsSent * big.size(), kDriverUnsentCap) << "dropped before the cap";
  // One warning in the driver's log domain (GLib's standard error format puts an empty line first).
  EXPECT_EQ(std::count(stderrText.begin(), stderrText.end(), '\n') - (stderrText.starts_with('\n') ? 1 : 0), 1)
      << stderrText;
  EXPECT_NE(stderrText.find("tessra-engine-driver-WARNING **: "), std::string::npos) << stderrText;
  EXPECT_NE(stderrText.find("driver dropped"), std::string::npos) << stderrText;
  pump_.once();
  EXPECT_EQ(stream->cancels(), 1) << "its listen cancelled as on any departure";
  EXPECT_TRUE(client.closedByServer());
}

TEST_F(DriverServerTest, TheAttachedDriverGetsHostCallsAndItsDepartureCancelsItsListens) {
  startEngine();
  auto stream = serveScan();
  auto lifecycle = flutter::FlutterMethodChannel::methodChannelWithName("app.lifecycle.channel", host());
  {
    Client client(path_, pump_);
    client.send(R"({"id":1,"op":"listen","channel":"scan"})");
    EXPECT_EQ(client.next()["id"], 1);
    lifecycle.invokeMethod("onQuitAttempt", EncodableValue());
    EXPECT_EQ(client.next(),
              Json::parse(R"({"call":"app.lifecycle.channel","method":"onQuitAttempt","arguments":null})"));
    EXPECT_EQ(quits_, 0) << "the built-in interface stays out while a driver is attached";

    Client second(path_, pump_);
    EXPECT_EQ(second.next()["error"]["code"], "busy");
    EXPECT_TRUE(second.closedByServer());
    stream->sinks.back()("mid-stream");
  }  // the driver goes away with a listen open and an event in flight
  ASSERT_TRUE(pump_.until([&] { return !engine_->driver()->hasClient(); }));
  pump_.once();
  EXPECT_EQ(stream->cancels(), 1);

  lifecycle.invokeMethod("onQuitAttempt", EncodableValue());
  pump_.once();
  EXPECT_EQ(quits_, 1) << "with the driver gone the built-in interface acts again";

  Client next(path_, pump_);
  next.send(R"({"id":9,"op":"listen","channel":"scan"})");
  EXPECT_EQ(next.next(), Json::parse(R"({"id":9,"reply":null})")) << "a new driver can attach";
}

}  // namespace
}  // namespace engine::driver
