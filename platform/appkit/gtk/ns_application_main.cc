// NSApplicationMain over GtkApplication: single instance on the session bus, the quit action,
// its accelerator and the application menu, the session's logout, and the order of a launch
// (shared application, main interface description, applicationDidFinishLaunching).

#define G_LOG_DOMAIN "tessra-appkit"

#include <gtk/gtk.h>

#include <charconv>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "platform/appkit/gtk/gtk_application_backend.h"
#include "platform/appkit/gtk/session_protocol.h"
#include "platform/appkit/gtk/xsmp_client.h"
#include "platform/appkit/ns_application.h"
#include "platform/dispatch/signal_connection.h"

#ifndef TESSRA_APPLICATION_ID
#error "TESSRA_APPLICATION_ID must name the application id"
#endif
#ifndef TESSRA_APPLICATION_NAME
#error "TESSRA_APPLICATION_NAME must give the application's name as people see it"
#endif

namespace appkit {
namespace {

// What the signal handlers of one run share. Lives on NSApplicationMain's stack, and the
// handlers' connections end with it (windows may keep the application alive longer).
struct Run {
  explicit Run(MainInterfaceDescription& description) : mainInterface(description) {}

  MainInterfaceDescription& mainInterface;
  std::chrono::milliseconds logoutBound = LogoutHold::kBound;
  std::function<bool()> interfaceCanAsk;
  SessionProtocol sessionProtocol = SessionProtocol::kGnomeDBus;
  // The program's path, as the session manager may show it and would restart it.
  std::string program;
  // The client id the session manager started this process under (XSMP only).
  std::string startupClientId;
  GtkApplicationBackend* backend = nullptr;
  std::unique_ptr<NSApplication> application;
  // The session's client where it speaks XSMP; GTK is the client where it speaks GNOME's API.
  std::unique_ptr<XsmpClient> xsmp;
  // The activation that g_application_run sends for the launch itself is not a reopen.
  bool launchActivationSeen = false;
  // The menu bar starts empty and gets the application menu once the window is up; see
  // installMenu.
  GMenu* menuBar = nullptr;
  guint pendingMenu = 0;
  // Last, so that they end first.
  dispatch::SignalConnection startup;
  dispatch::SignalConnection shutdown;
  dispatch::SignalConnection activate;
  dispatch::SignalConnection queryEnd;
  dispatch::SignalConnection quitActivate;
};

void onQuit(GSimpleAction*, GVariant*, gpointer data) {
  auto* run = static_cast<Run*>(data);
  if (run->application) run->application->handleQuitRequest();
}

void setQuitAccelerator(GtkApplication* app) {
  const char* const accels[] = {"<Primary>q", nullptr};
  gtk_application_set_accels_for_action(app, "app.quit", accels);
}

void onSeatAdded(GdkDisplay* display, GdkSeat*, gpointer app) {
  g_signal_handlers_disconnect_by_func(display, reinterpret_cast<gpointer>(onSeatAdded), app);
  setQuitAccelerator(GTK_APPLICATION(app));
}

void installQuit(GtkApplication* app, Run& run) {
  g_autoptr(GSimpleAction) quit = g_simple_action_new("quit", nullptr);
  run.quitActivate.connect(quit, "activate", G_CALLBACK(onQuit), &run);
  g_action_map_add_action(G_ACTION_MAP(app), G_ACTION(quit));

  // A shortcut needs a keyboard. On a display without a seat (a headless Wayland compositor)
  // GDK's keymap asserts while the accelerator is parsed, so it waits for a seat.
  GdkDisplay* display = gdk_display_get_default();
  if (display && !gdk_display_get_default_seat(display)) {
    g_signal_connect_object(display, "seat-added", G_CALLBACK(onSeatAdded), app, G_CONNECT_DEFAULT);
    return;
  }
  setQuitAccelerator(app);
}

gboolean fillMenuBar(gpointer data) {
  auto* run = static_cast<Run*>(data);
  run->pendingMenu = 0;
  g_autoptr(GMenu) applicationMenu = g_menu_new();
  g_menu_append(applicationMenu, "Quit", "app.quit");
  g_menu_append_submenu(run->menuBar, g_get_application_name(), G_MENU_MODEL(applicationMenu));
  return G_SOURCE_REMOVE;
}

// The application menu (the application's name, then Quit) sits in the window's menu bar. A
// window takes its menu bar from the application when it is realised, and the first text a
// window shows costs the fonts' loading, so the bar is set now, empty, and filled in once the
// window's map request has gone out but before its first redraw: the window is up sooner, and
// its first frame already has the menu (GtkMenuBar follows changes of its model).
void installMenu(GtkApplication* app, Run& run) {
  run.menuBar = g_menu_new();
  gtk_application_set_menubar(app, G_MENU_MODEL(run.menuBar));
  run.pendingMenu = g_idle_add_full(G_PRIORITY_HIGH_IDLE, fillMenuBar, &run, nullptr);
}

// A logout the session manager announces over XSMP is a quit request like any other (it has
// been cancelled by then); Die ends the application, as the session ends whatever it says.
void connectToXsmpSession(Run& run) {
  XsmpClient::Handlers handlers;
  handlers.quitRequested = [&run] { run.application->handleQuitRequest(); };
  handlers.die = [&run] { run.application->stop(0); };
  run.xsmp = XsmpClient::connect(run.program, run.startupClientId, std::move(handlers));
}

void onStartup(GApplication* gapp, gpointer data) {
  auto* run = static_cast<Run*>(data);
  GtkApplication* app = GTK_APPLICATION(gapp);
  // Closing the last window, or running with none shown, must not end the application:
  // only a quit the interface agrees to does.
  g_application_hold(gapp);
  installQuit(app, *run);
  installMenu(app, *run);

  auto backend = std::make_unique<GtkApplicationBackend>(app, run->logoutBound);
  run->backend = backend.get();
  run->application = std::make_unique<NSApplication>(std::move(backend));
  NSApplication::setShared(run->application.get());

  run->mainInterface.instantiate(*run->application);
  if (NSApplicationDelegate* delegate = run->application->delegate()) delegate->applicationDidFinishLaunching(nullptr);
  if (run->sessionProtocol == SessionProtocol::kXsmp) connectToXsmpSession(*run);
}

void onShutdown(GApplication* gapp, gpointer data) {
  auto* run = static_cast<Run*>(data);
  if (run->backend) run->backend->releaseLogout();
  run->xsmp.reset();
  g_application_release(gapp);
}

void onActivate(GApplication*, gpointer data) {
  auto* run = static_cast<Run*>(data);
  if (!run->launchActivationSeen) {
    run->launchActivationSeen = true;
    return;
  }
  // Another launch of the program (or `gapplication launch`) handed over to this one.
  if (run->application) run->application->handleReopen();
}

void onQueryEnd(GtkApplication*, gpointer data) {
  auto* run = static_cast<Run*>(data);
  if (!run->application) return;
  // GTK would let the session end on its own; hold it, and ask as for any other quit. Each
  // query is a new request with a new hold. When the interface cannot ask (nobody can see a
  // question), a hold would only keep the session waiting for its bound.
  if (!run->interfaceCanAsk || run->interfaceCanAsk()) run->backend->holdLogout();
  run->application->handleQuitRequest();
}

// The new application, owned by the caller.
GtkApplication* makeApplication(GApplicationFlags flags, Run& run) {
  GtkApplication* app = gtk_application_new(TESSRA_APPLICATION_ID, flags);
  // Session registration is what delivers query-end at logout. Only where the session speaks
  // GNOME's API: elsewhere GTK's registration would be a second client of the same session
  // (xfce4-session answers it, then refuses the logout inhibitor with a warning), and XSMP
  // already delivers the logout once.
  g_object_set(app, "register-session", run.sessionProtocol == SessionProtocol::kGnomeDBus, nullptr);
  run.startup.connect(app, "startup", G_CALLBACK(onStartup), &run);
  run.shutdown.connect(app, "shutdown", G_CALLBACK(onShutdown), &run);
  run.activate.connect(app, "activate", G_CALLBACK(onActivate), &run);
  run.queryEnd.connect(app, "query-end", G_CALLBACK(onQueryEnd), &run);
  return app;
}

// Registers on the session bus, where a running instance of the same id turns this one into
// a remote that only passes its activation on. Without a session bus GLib already runs the
// application as its own instance; when the bus is there but refuses us, run unregistered
// rather than not at all. The application is owned by the caller.
GtkApplication* registerApplication(Run& run) {
  g_autoptr(GtkApplication) app = makeApplication(G_APPLICATION_DEFAULT_FLAGS, run);
  g_autoptr(GError) error = nullptr;
  if (g_application_register(G_APPLICATION(app), nullptr, &error)) {
    if (!g_application_get_dbus_connection(G_APPLICATION(app)))
      g_debug("no session bus: running as a separate instance");
    return g_steal_pointer(&app);
  }
  g_warning("could not register on the session bus (%s); running as a separate instance", error->message);
  // Its connections move to the new application.
  return makeApplication(G_APPLICATION_NON_UNIQUE, run);
}

// GTK 3 passes a launch's activation token on to the running instance, and uses it, only
// under the name of X11's startup notification, while launchers on Wayland may set only the
// newer name. Neither is for the program's children.
void adoptActivationToken() {
  const char* token = g_getenv("XDG_ACTIVATION_TOKEN");
  if (token && *token && !g_getenv("DESKTOP_STARTUP_ID")) g_setenv("DESKTOP_STARTUP_ID", token, TRUE);
  g_unsetenv("XDG_ACTIVATION_TOKEN");
}

// How long a logout stays held at most: LogoutHold::kBound, or less for tests, which set
// TESSRA_LOGOUT_HOLD_MS rather than wait a minute. Nothing can make it longer.
std::chrono::milliseconds logoutBound() {
  const char* text = g_getenv("TESSRA_LOGOUT_HOLD_MS");
  long milliseconds = 0;
  if (!text || std::from_chars(text, text + std::strlen(text), milliseconds).ec != std::errc())
    return LogoutHold::kBound;
  if (milliseconds <= 0 || milliseconds > LogoutHold::kBound.count()) return LogoutHold::kBound;
  return std::chrono::milliseconds(milliseconds);
}

// The program's own path, for the session manager; argv[0] where /proc says nothing.
std::string programPath(int argc, char* argv[]) {
  g_autofree char* executable = g_file_read_link("/proc/self/exe", nullptr);
  if (executable) return executable;
  return argc > 0 && argv[0] ? argv[0] : "";
}

}  // namespace

int NSApplicationMain(int argc, char* argv[], MainInterfaceDescription& mainInterface,
                      std::function<bool()> interfaceCanAsk) {
  // GTK is initialised without our arguments, so it learns no program name by itself; the
  // window system's class and the application menu's title come from these.
  if (argc > 0 && g_get_prgname() == nullptr) {
    g_autofree char* program = g_path_get_basename(argv[0]);
    g_set_prgname(program);
  }
  g_set_application_name(TESSRA_APPLICATION_NAME);
  // Before GTK or GApplication look at the environment, and before any thread exists.
  adoptActivationToken();
  Run run(mainInterface);
  run.logoutBound = logoutBound();
  run.interfaceCanAsk = std::move(interfaceCanAsk);
  run.program = programPath(argc, argv);
  run.sessionProtocol = chooseSessionProtocol();
  if (run.sessionProtocol == SessionProtocol::kXsmp) run.startupClientId = XsmpClient::takeStartupClientId();
  g_autoptr(GtkApplication) app = registerApplication(run);

  // The host reads no argument; GApplication would refuse any as "files to open".
  char* programOnly[] = {argc > 0 ? argv[0] : nullptr, nullptr};
  const int runStatus = g_application_run(G_APPLICATION(app), argc > 0 ? 1 : 0, programOnly);

  // Windows (owned by the interface description) keep references to the application; run's
  // connections end with it, and the idle source goes now.
  g_clear_handle_id(&run.pendingMenu, g_source_remove);
  g_clear_object(&run.menuBar);
  const std::optional<int> stopStatus = run.backend ? run.backend->stopStatus() : std::nullopt;
  return stopStatus.value_or(runStatus);
}

}  // namespace appkit
