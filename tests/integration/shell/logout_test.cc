// The real tessra binary on both desktops, registered with a stand-in GNOME session manager on
// a private session bus: a logout that the session manager announces becomes one quit request,
// which the host hands to the interface while it holds the logout (until the session manager
// cancels, or at most a bound), and the process keeps running. The real session managers are
// in session_test.cc; the stand-in stays for what they cannot be made to do on cue: cancel a
// held logout at a chosen moment, tell in which order the hold and the answer came, leave a
// hold to run to its bound, and serve a Wayland client.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/integration/shell/desktop.h"
#include "tests/integration/support/app_process.h"
#include "tests/integration/support/driver_client.h"

namespace tessra::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kManagerName = "org.gnome.SessionManager";
constexpr const char* kManagerPath = "/org/gnome/SessionManager";
constexpr const char* kClientInterface = "org.gnome.SessionManager.ClientPrivate";
constexpr guint kInhibitLogout = 1;
const std::string kApplicationId = "com.brovak.tessra";

// What GTK 3 calls on the session manager, and the client object it listens to.
constexpr const char* kIntrospection = R"(<node>
  <interface name='org.gnome.SessionManager'>
    <method name='RegisterClient'><arg type='s' direction='in'/><arg type='s' direction='in'/>
      <arg type='o' direction='out'/></method>
    <method name='UnregisterClient'><arg type='o' direction='in'/></method>
    <method name='Inhibit'><arg type='s' direction='in'/><arg type='u' direction='in'/>
      <arg type='s' direction='in'/><arg type='u' direction='in'/><arg type='u' direction='out'/></method>
    <method name='Uninhibit'><arg type='u' direction='in'/></method>
    <method name='IsInhibited'><arg type='u' direction='in'/><arg type='b' direction='out'/></method>
  </interface>
  <interface name='org.gnome.SessionManager.ClientPrivate'>
    <method name='EndSessionResponse'><arg type='b' direction='in'/><arg type='s' direction='in'/></method>
    <signal name='QueryEndSession'><arg type='u'/></signal>
    <signal name='CancelEndSession'/>
  </interface>
</node>)";

// Owns org.gnome.SessionManager and answers on a thread of its own, so that the program's
// synchronous calls are served while the test waits. Each registered client gets its own
// object (the accessibility bus launcher registers too). Records every call in order, as
// "Method <application id> [flags]".
class FakeSessionManager {
 public:
  FakeSessionManager() : context_(g_main_context_new()), loop_(g_main_loop_new(context_, FALSE)) {
    thread_ = std::thread([this] { serve(); });
  }
  ~FakeSessionManager() {
    // Quits once the loop turns, even if it has not started yet.
    g_main_context_invoke(context_, G_SOURCE_FUNC(quitLoop), loop_);
    thread_.join();
    g_clear_pointer(&loop_, g_main_loop_unref);
    g_clear_pointer(&context_, g_main_context_unref);
  }

  bool owned() const { return owned_; }

  // Announces a logout to the client that `applicationId` registered.
  void emitQueryEndSession(const std::string& applicationId) {
    emit(applicationId, "QueryEndSession", g_variant_new("(u)", 0u));
  }
  // Tells it that the end of the session was cancelled.
  void emitCancelEndSession(const std::string& applicationId) { emit(applicationId, "CancelEndSession", nullptr); }

  void emit(const std::string& applicationId, const char* signal, GVariant* parameters) {
    std::unique_lock lock(mutex_);
    std::string path;
    for (const auto& [clientPath, client] : clients_)
      if (client == applicationId) path = clientPath;
    lock.unlock();
    ASSERT_FALSE(path.empty()) << applicationId << " never registered";
    g_dbus_connection_emit_signal(connection_, nullptr, path.c_str(), kClientInterface, signal, parameters, nullptr);
  }

  std::vector<std::string> calls() {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  std::vector<std::string> calls(const std::string& prefix) {
    std::vector<std::string> matching;
    for (auto& call : calls())
      if (call.rfind(prefix, 0) == 0) matching.push_back(call);
    return matching;
  }

 private:
  static const GDBusInterfaceVTable kVtable;
  static gboolean quitLoop(GMainLoop* loop) {
    g_main_loop_quit(loop);
    return G_SOURCE_REMOVE;
  }

  void serve() {
    g_main_context_push_thread_default(context_);
    // A connection of its own, closed at the end: the shared one would keep this manager's
    // objects registered for the next test's manager.
    g_autofree gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    connection_ = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    node_ = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    g_dbus_connection_register_object(connection_, kManagerPath, node_->interfaces[0], &kVtable, this, nullptr,
                                      nullptr);
    const guint owner = g_bus_own_name_on_connection(
        connection_, kManagerName, G_BUS_NAME_OWNER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, gpointer self) { static_cast<FakeSessionManager*>(self)->owned_ = true; },
        nullptr, this, nullptr);
    g_main_loop_run(loop_);
    g_bus_unown_name(owner);
    g_dbus_connection_close_sync(connection_, nullptr, nullptr);
    g_clear_object(&connection_);
    g_clear_pointer(&node_, g_dbus_node_info_unref);
    g_main_context_pop_thread_default(context_);
  }

  static void onCall(GDBusConnection* connection, const gchar*, const gchar* path, const gchar*, const gchar* method,
                     GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
    auto* self = static_cast<FakeSessionManager*>(data);
    std::lock_guard lock(self->mutex_);
    std::string call = method;
    GVariant* reply = nullptr;
    if (call == "RegisterClient") {
      const gchar *appId, *startupId;
      g_variant_get(parameters, "(&s&s)", &appId, &startupId);
      const std::string clientPath = std::string(kManagerPath) + "/Client" + std::to_string(self->clients_.size() + 1);
      self->clients_[clientPath] = appId;
      g_dbus_connection_register_object(connection, clientPath.c_str(), self->node_->interfaces[1], &kVtable, self,
                                        nullptr, nullptr);
      call += std::string(" ") + appId;
      reply = g_variant_new("(o)", clientPath.c_str());
    } else if (call == "Inhibit") {
      const gchar *appId, *reason;
      guint window, flags;
      g_variant_get(parameters, "(&su&su)", &appId, &window, &reason, &flags);
      call += std::string(" ") + appId + " " + std::to_string(flags);
      self->inhibitors_[++self->lastCookie_] = appId;
      reply = g_variant_new("(u)", self->lastCookie_);
    } else if (call == "IsInhibited") {  // Whether anything is held, whatever the flags.
      reply = g_variant_new("(b)", !self->inhibitors_.empty());
    } else if (call == "Uninhibit") {
      guint cookie;
      g_variant_get(parameters, "(u)", &cookie);
      call += " " + self->inhibitors_[cookie];
      self->inhibitors_.erase(cookie);
    } else if (call == "UnregisterClient") {
      const gchar* clientPath;
      g_variant_get(parameters, "(&o)", &clientPath);
      call += " " + self->clients_[clientPath];
    } else if (call == "EndSessionResponse") {
      call += " " + self->clients_[path];
    }
    self->calls_.push_back(call);
    g_dbus_method_invocation_return_value(invocation, reply);
  }

  GMainContext* context_;
  GMainLoop* loop_;
  GDBusConnection* connection_ = nullptr;
  GDBusNodeInfo* node_ = nullptr;
  std::thread thread_;
  std::atomic<bool> owned_ = false;
  std::mutex mutex_;
  guint lastCookie_ = 0;
  std::map<std::string, std::string> clients_;  // object path -> application id
  std::map<guint, std::string> inhibitors_;     // cookie -> application id
  std::vector<std::string> calls_;
};

const GDBusInterfaceVTable FakeSessionManager::kVtable = {&FakeSessionManager::onCall, nullptr, nullptr, {}};

class Logout : public ::testing::TestWithParam<Backend> {
 protected:
  Logout() : desktop_(GetParam()) {}

  void SetUp() override {
    if (auto missing = desktop_.missing()) GTEST_SKIP() << *missing;
    ASSERT_TRUE(eventually([&] { return manager_.owned(); })) << "could not own " << kManagerName;
  }

  // GTK looks for the session manager once, at start-up: it must be on the bus first.
  void start(std::map<std::string, std::string> extra = {}, bool withDriver = true) {
    std::map<std::string, std::string> env = {{"XDG_CONFIG_HOME", dir_.path() + "/config"}, {"HOME", dir_.path()}};
    if (withDriver) env["TESSRA_DRIVER_SOCKET"] = dir_.path() + "/driver.sock";
    env.insert(extra.begin(), extra.end());
    app_ = std::make_unique<ChildProcess>(desktop_.command(TESSRA_BINARY), env, dir_.path());
    if (withDriver) {
      driver_ = DriverClient::connect(env["TESSRA_DRIVER_SOCKET"]);
      ASSERT_TRUE(driver_) << "driver socket never appeared; stderr: " << app_->standardError();
    }
    ASSERT_TRUE(eventually([&] { return desktop_.windowShown("tessra", app_->pid()); })) << app_->standardError();
    ASSERT_EQ(manager_.calls("RegisterClient " + kApplicationId).size(), 1u) << "not registered with the session";
  }

  // Announces a logout and waits for GTK's answer to it.
  void queryEndSession() {
    const size_t answered = manager_.calls("EndSessionResponse " + kApplicationId).size();
    manager_.emitQueryEndSession(kApplicationId);
    ASSERT_TRUE(eventually([&] { return manager_.calls("EndSessionResponse " + kApplicationId).size() > answered; }))
        << "no answer to QueryEndSession; stderr: " << app_->standardError();
  }

  int quitAttemptsSeen() {
    int count = 0;
    for (const auto& message : driver_->drainUnsolicited(1s)) {
      if (message.value("call", "") != "app.lifecycle.channel") continue;
      EXPECT_EQ(message.value("method", ""), "onQuitAttempt");
      EXPECT_TRUE(message["arguments"].is_null());
      ++count;
    }
    return count;
  }

  bool asking() { return desktop_.windowShown("Quit tessra?", app_->pid()); }

  size_t holds() { return manager_.calls("Inhibit " + kApplicationId + " " + std::to_string(kInhibitLogout)).size(); }
  size_t releases() { return manager_.calls("Uninhibit " + kApplicationId).size(); }

  Desktop desktop_;
  FakeSessionManager manager_;
  TempDir dir_;
  std::unique_ptr<ChildProcess> app_;
  std::optional<DriverClient> driver_;
};

TEST_P(Logout, AsksWhileTheLogoutIsHeldUntilTheSessionManagerCancels) {
  ASSERT_NO_FATAL_FAILURE(start({}, /*withDriver=*/false));
  ASSERT_NO_FATAL_FAILURE(queryEndSession());
  EXPECT_TRUE(eventually([&] { return asking(); })) << app_->standardError();
  EXPECT_TRUE(app_->running()) << app_->standardError();

  // The logout is held before GTK answers the query, and stays held while the interface decides.
  const auto calls = manager_.calls();
  const auto position = [&](const std::string& call) {
    return std::find(calls.begin(), calls.end(), call) - calls.begin();
  };
  EXPECT_LT(position("Inhibit " + kApplicationId + " " + std::to_string(kInhibitLogout)),
            position("EndSessionResponse " + kApplicationId))
      << "the logout was not held before the session was told to go ahead";
  EXPECT_EQ(holds(), 1u);
  EXPECT_EQ(releases(), 0u);
  EXPECT_TRUE(manager_.calls("UnregisterClient " + kApplicationId).empty());

  // The user cancelled the logout (or the interface kept running): nothing stays held.
  manager_.emitCancelEndSession(kApplicationId);
  EXPECT_TRUE(eventually([&] { return releases() == 1; })) << "the cancelled logout is still held";

  // The next logout is a new question with a new hold.
  ASSERT_NO_FATAL_FAILURE(queryEndSession());
  EXPECT_EQ(holds(), 2u);
  EXPECT_EQ(releases(), 1u);
  EXPECT_TRUE(app_->running());
}

TEST_P(Logout, AnUnansweredLogoutIsHeldNoLongerThanTheBound) {
  // The bound is a minute; tests shorten it.
  ASSERT_NO_FATAL_FAILURE(start({{"TESSRA_LOGOUT_HOLD_MS", "300"}}, /*withDriver=*/false));
  ASSERT_NO_FATAL_FAILURE(queryEndSession());
  EXPECT_EQ(holds(), 1u);
  EXPECT_TRUE(eventually([&] { return releases() == 1; })) << "still held past its bound";
  EXPECT_TRUE(app_->running());
}

TEST_P(Logout, IsNotHeldWhileADriverPlaysTheInterface) {
  // The engine answers the quit request on the driver's behalf: nobody could be asked, and a
  // hold would keep the session waiting for its bound.
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_NO_FATAL_FAILURE(queryEndSession());
  EXPECT_EQ(quitAttemptsSeen(), 1);
  EXPECT_EQ(holds(), 0u);
  EXPECT_TRUE(app_->running());
}

TEST_P(Logout, TheBuiltInInterfaceAsksInSightEvenWithTheWindowClosed) {
  if (GetParam() != Backend::kX11) GTEST_SKIP() << "nothing outside a Wayland client can close its window here";
  ASSERT_NO_FATAL_FAILURE(start({}, /*withDriver=*/false));
  desktop_.x11().requestClose(desktop_.x11().find("tessra", app_->pid())->id);
  ASSERT_TRUE(eventually([&] { return !desktop_.windowShown("tessra", app_->pid()); }));

  ASSERT_NO_FATAL_FAILURE(queryEndSession());
  EXPECT_TRUE(eventually([&] { return desktop_.windowShown("Quit tessra?", app_->pid()); }))
      << "the question was asked out of sight";
  EXPECT_TRUE(app_->running());
}

INSTANTIATE_TEST_SUITE_P(Desktops, Logout, ::testing::Values(Backend::kX11, Backend::kWayland),
                         [](const auto& info) { return backendName(info.param); });

}  // namespace
}  // namespace tessra::testing
