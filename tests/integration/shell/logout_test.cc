// The real tessra binary registered with a stand-in GNOME session manager on a private session
// bus: a logout that the session manager announces becomes one quit request, which the host
// hands to the interface while it holds the logout, and the process keeps running.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/integration/support/app_process.h"
#include "tests/integration/support/driver_client.h"
#include "tests/integration/support/x11_windows.h"

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
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
  }

  bool owned() const { return owned_; }

  // Announces a logout to the client that `applicationId` registered.
  void emitQueryEndSession(const std::string& applicationId) {
    std::unique_lock lock(mutex_);
    std::string path;
    for (const auto& [clientPath, client] : clients_)
      if (client == applicationId) path = clientPath;
    lock.unlock();
    ASSERT_FALSE(path.empty()) << applicationId << " never registered";
    g_dbus_connection_emit_signal(connection_, nullptr, path.c_str(), kClientInterface, "QueryEndSession",
                                  g_variant_new("(u)", 0u), nullptr);
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
    connection_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    node_ = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    g_dbus_connection_register_object(connection_, kManagerPath, node_->interfaces[0], &kVtable, this, nullptr,
                                      nullptr);
    const guint owner = g_bus_own_name_on_connection(
        connection_, kManagerName, G_BUS_NAME_OWNER_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, gpointer self) { static_cast<FakeSessionManager*>(self)->owned_ = true; },
        nullptr, this, nullptr);
    g_main_loop_run(loop_);
    g_bus_unown_name(owner);
    g_object_unref(connection_);
    g_dbus_node_info_unref(node_);
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

TEST(Logout, IsOneQuitRequestWhileTheLogoutIsHeldAndTheProcessKeepsRunning) {
  if (!getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (tests/run-tests starts Xvfb)";
  if (!getenv("DBUS_SESSION_BUS_ADDRESS")) GTEST_SKIP() << "needs a private session bus (dbus-run-session)";
  FakeSessionManager manager;
  ASSERT_TRUE(eventually([&] { return manager.owned(); })) << "could not own " << kManagerName;

  // GTK looks for the session manager once, at start-up: it must be on the bus first.
  TempDir dir;
  const std::string socket = dir.path() + "/driver.sock";
  ChildProcess app(
      {TESSRA_BINARY},
      {{"TESSRA_DRIVER_SOCKET", socket}, {"XDG_CONFIG_HOME", dir.path() + "/config"}, {"HOME", dir.path()}},
      dir.path());
  auto driver = DriverClient::connect(socket);
  ASSERT_TRUE(driver) << "driver socket never appeared; stderr: " << app.standardError();
  X11Windows x11;
  ASSERT_TRUE(eventually([&] {
    auto window = x11.find("tessra", app.pid());
    return window && window->mapped;
  })) << app.standardError();
  ASSERT_EQ(manager.calls("RegisterClient " + kApplicationId).size(), 1u) << "not registered with the session";

  manager.emitQueryEndSession(kApplicationId);
  ASSERT_TRUE(eventually([&] { return !manager.calls("EndSessionResponse " + kApplicationId).empty(); }))
      << "no answer to QueryEndSession; stderr: " << app.standardError();

  int quitAttempts = 0;
  for (const auto& message : driver->drainUnsolicited(1s)) {
    if (message.value("call", "") != "app.lifecycle.channel") continue;
    EXPECT_EQ(message.value("method", ""), "onQuitAttempt");
    EXPECT_TRUE(message["arguments"].is_null());
    ++quitAttempts;
  }
  EXPECT_EQ(quitAttempts, 1);
  EXPECT_TRUE(app.running()) << app.standardError();

  // The logout is held before GTK answers the query, and stays held while the interface decides.
  const auto calls = manager.calls();
  const auto position = [&](const std::string& call) {
    return std::find(calls.begin(), calls.end(), call) - calls.begin();
  };
  EXPECT_LT(position("Inhibit " + kApplicationId + " " + std::to_string(kInhibitLogout)),
            position("EndSessionResponse " + kApplicationId))
      << "the logout was not held before the session was told to go ahead";
  EXPECT_EQ(manager.calls("Inhibit " + kApplicationId).size(), 1u);
  EXPECT_TRUE(manager.calls("Uninhibit " + kApplicationId).empty());
  EXPECT_TRUE(manager.calls("UnregisterClient " + kApplicationId).empty());
}

}  // namespace
}  // namespace tessra::testing
