// The entry point: puts the Linux adapters behind the ports, then hands the process to the
// application loop and ends it with the loop's status.
#include <cstdlib>
#include <iostream>

#include "BuiltInInterface/built_in_interface.h"
#include "LaunchAtLogin/launch_at_login.h"
#include "Runner/MainMenu.h"
#include "Runner/channels/channels.h"
#include "Runner/embedding/flutter_view_controller.h"
#include "Runner/linux_adapters.h"
#include "engine/stand_in_engine.h"
#include "platform/appkit/ns_application.h"
#include "platform/dispatch/main_thread_scheduling.h"
#include "platform/process/descriptor_limit.h"
#include "platform/xdg/xdg_folders.h"

int main(int argc, char* argv[]) {
  // Before any thread exists: a sweep holds two descriptors per running child.
  process::raiseDescriptorLimit();
  process::reserveDescriptorTable();
  // The main thread delivers every result; it alone asks to be run promptly when it wakes.
  dispatch::preferPromptWakeups();

  // Locals of main(): exit() below ends the process without unwinding them, so they stay
  // valid for everything that runs during shutdown.
  LinuxAdapters adapters(xdg::resolveFolders());
  LaunchAtLogin::installPlatform(adapters.loginItemPlatform());
  dispatch::MainQueue& mainQueue = adapters.mainQueue();
  // The main window's engine, once made; it lives as long as mainMenu, which owns the window.
  engine::StandInEngine* engine = nullptr;
  flutter::FlutterViewController::setEngineFactory([&mainQueue, &engine] {
    auto made = engine::makeStandInEngine(mainQueue, built_in_interface::BuiltInInterface::runInApplication,
                                          {channels::kScan.name});
    engine = made.get();
    return made;
  });
  // A question at logout needs an interface that shows it: a driver that plays the interface
  // gets the quit request, but the engine answers it on its behalf and nothing is shown.
  auto interfaceCanAsk = [&engine] { return engine && engine->interfaceProgramHearsHost(); };

  MainMenu mainMenu(adapters.discoveryServices(std::cout));
  std::exit(appkit::NSApplicationMain(argc, argv, mainMenu, interfaceCanAsk));
}
