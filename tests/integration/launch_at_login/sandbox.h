#pragma once

// Real adapters over private XDG folders: each test hands the adapters its own config home
// and config folder under a fresh temporary folder, and the system log writes its fallback
// lines into a file the test reads back (no journal socket is used).

#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "LaunchAtLogin/launch_at_login.h"
#include "platform/bundle/bundle.h"
#include "platform/service_management/autostart_service_management.h"
#include "platform/system_log/system_log.h"
#include "platform/system_version/system_version.h"
#include "platform/user_defaults/user_defaults.h"
#include "platform/xdg/xdg_folders.h"

namespace sandbox {

inline constexpr const char* kAppId = "com.brovak.tessra";

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void writeFile(const std::string& path, const std::string& contents) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << contents;
}

// The lines of `text`, without their newlines.
inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

class SandboxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_autofree gchar* made = g_dir_make_tmp("tessra-launch-at-login-XXXXXX", nullptr);
    ASSERT_NE(made, nullptr);
    root = made;
    configHome = root + "/config";
    systemDir = root + "/xdg";
    folders = {configHome, {systemDir}};

    logPath = root + "/system.log";
    logFd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    ASSERT_GE(logFd, 0);
    systemLog.emplace(system_log::JournalSystemLog::Options{"tessra-test", root + "/no-journal-socket", logFd, true});
    executable = *bundle.executablePath();
    services.emplace(service_management::AutostartServiceManagement::Options{kAppId, "Tessra", bundle, folders});
    defaults.emplace(folders, kAppId);

    LaunchAtLogin::resetForTesting();
    LaunchAtLogin::installPlatform({*services, version, bundle, *defaults, *systemLog});
  }

  void TearDown() override {
    LaunchAtLogin::resetForTesting();
    if (logFd >= 0) ::close(logFd);
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }

  std::string userEntry() const { return configHome + "/autostart/" + kAppId + ".desktop"; }
  std::string systemEntry() const { return systemDir + "/autostart/" + kAppId + ".desktop"; }
  std::string logText() const { return readFile(logPath); }

  std::string root;
  std::string configHome;
  std::string systemDir;
  xdg::Folders folders;  // what the adapters are handed: configHome, then systemDir
  std::string logPath;
  int logFd = -1;
  std::string executable;

  bundle::LinuxBundle bundle;
  system_version::LinuxSystemVersion version;
  std::optional<system_log::JournalSystemLog> systemLog;
  std::optional<service_management::AutostartServiceManagement> services;
  std::optional<user_defaults::KeyFileUserDefaults> defaults;
};

}  // namespace sandbox
