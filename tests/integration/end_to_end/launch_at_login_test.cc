// The launch_at_startup channel of the real binary, through the driver, against a real
// autostart folder in a temporary XDG_CONFIG_HOME.
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "tests/integration/support/app_process.h"
#include "tests/integration/support/driver_client.h"

namespace tessra::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kChannel = "launch_at_startup";

// The program of an Exec line: its first argument, unquoted as the Desktop Entry format
// says (string escapes of the file, then double quotes with backslash escapes).
std::string execProgram(const std::string& entry) {
  auto start = entry.find("\nExec=");
  if (start == std::string::npos) return {};
  std::string line = entry.substr(start + 6, entry.find('\n', start + 1) - start - 6);
  std::string unescaped;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '\\') {
      unescaped += '\\';
      ++i;
    } else {
      unescaped += line[i];
    }
  }
  std::string program;
  if (!unescaped.empty() && unescaped[0] == '"') {
    for (size_t i = 1; i < unescaped.size() && unescaped[i] != '"'; ++i) {
      if (unescaped[i] == '\\' && i + 1 < unescaped.size()) ++i;
      program += unescaped[i];
    }
  } else {
    program = unescaped.substr(0, unescaped.find(' '));
  }
  return program;
}

class LaunchAtStartupChannel : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (tests/run-tests starts Xvfb)";
    config_ = dir_.path() + "/config";
    entry_ = config_ + "/autostart/com.brovak.tessra.desktop";
  }

  // `prefix` runs the binary through another program (to drop privileges).
  void start(std::vector<std::string> prefix = {}, const std::string& binary = TESSRA_BINARY) {
    prefix.push_back(binary);
    app_ = std::make_unique<ChildProcess>(
        prefix,
        std::map<std::string, std::string>{{"TESSRA_DRIVER_SOCKET", dir_.path() + "/driver.sock"},
                                           {"XDG_CONFIG_HOME", config_},
                                           {"XDG_CONFIG_DIRS", dir_.path() + "/system"},
                                           {"HOME", dir_.path()}},
        dir_.path());
    driver_ = DriverClient::connect(dir_.path() + "/driver.sock");
    ASSERT_TRUE(driver_) << app_->standardError();
  }

  nlohmann::json isEnabled() { return (*driver_->invoke(kChannel, "launchAtStartupIsEnabled"))["reply"]; }
  nlohmann::json setEnabled(bool value) {
    return (*driver_->invoke(kChannel, "launchAtStartupSetEnabled", {{"setEnabledValue", value}}))["reply"];
  }

  TempDir dir_;
  std::string config_, entry_;
  std::unique_ptr<ChildProcess> app_;
  std::optional<DriverClient> driver_;
};

TEST_F(LaunchAtStartupChannel, EnablingWritesAValidEntryThatStartsThisBinaryAndDisablingRemovesIt) {
  start();
  EXPECT_EQ(isEnabled(), false);

  EXPECT_TRUE(setEnabled(true).is_null());
  ASSERT_TRUE(std::filesystem::exists(entry_));
  EXPECT_EQ(runCommand({"desktop-file-validate", entry_}), 0) << readFile(entry_);
  EXPECT_EQ(std::filesystem::canonical(execProgram(readFile(entry_))), std::filesystem::canonical(TESSRA_BINARY))
      << readFile(entry_);
  EXPECT_EQ(isEnabled(), true);

  EXPECT_TRUE(setEnabled(false).is_null());
  EXPECT_FALSE(std::filesystem::exists(entry_));
  EXPECT_EQ(isEnabled(), false);
}

TEST_F(LaunchAtStartupChannel, AnUnwritableAutostartFolderLeavesTheSettingOffAndLogsOnce) {
  std::filesystem::create_directories(config_ + "/autostart");
  chmod((config_ + "/autostart").c_str(), 0555);
  // Root ignores permission bits; without these capabilities it honours them like anyone.
  start({"setpriv", "--bounding-set=-dac_override,-dac_read_search,-fowner", "--"});

  EXPECT_TRUE(setEnabled(true).is_null());
  EXPECT_EQ(isEnabled(), false);
  EXPECT_FALSE(std::filesystem::exists(entry_));
  // No journal runs here, so the entry goes to standard error.
  const std::string log = app_->standardError();
  const std::string line = "Failed to enable launch at login: ";
  auto first = log.find(line);
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find(line, first + 1), std::string::npos) << "logged more than once:\n" << log;
}

TEST_F(LaunchAtStartupChannel, AfterAnUpgradeWhileRunningTheEntryNamesTheInstalledProgramOrStaysAsItWas) {
  namespace fs = std::filesystem;
  // A copy plays the installed program; an upgrade renames the new version over it, so the
  // running program's own path reads "... (deleted)".
  const std::string installed = dir_.path() + "/usr/bin/tessra";
  fs::create_directories(fs::path(installed).parent_path());
  fs::copy_file(TESSRA_BINARY, installed);
  start({}, installed);
  fs::copy_file(TESSRA_BINARY, installed + ".new");
  fs::rename(installed + ".new", installed);
  ASSERT_EQ(fs::read_symlink("/proc/" + std::to_string(app_->pid()) + "/exe").string(), installed + " (deleted)");

  EXPECT_TRUE(setEnabled(true).is_null());
  EXPECT_EQ(execProgram(readFile(entry_)), installed) << readFile(entry_);
  EXPECT_EQ(isEnabled(), true);

  // Removed for good: nothing can be registered, and the user's working entry (here one
  // that starts another installation) is left exactly as it was.
  fs::remove(installed);
  std::string working = readFile(entry_);
  for (size_t at; (at = working.find(installed)) != std::string::npos;)
    working.replace(at, installed.size(), TESSRA_BINARY);
  { std::ofstream(entry_) << working; }
  EXPECT_EQ(isEnabled(), true);
  EXPECT_TRUE(setEnabled(true).is_null());
  EXPECT_EQ(readFile(entry_), working);
  EXPECT_EQ(isEnabled(), true);
  const std::string log = app_->standardError();
  const std::string line = "Failed to enable launch at login: The location of this program is unknown";
  auto first = log.find(line);
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find("Failed to", first + 1), std::string::npos) << "logged more than once:\n" << log;
}

TEST_F(LaunchAtStartupChannel, ArgumentsOutsideTheContractChangeNothing) {
  start();
  for (const nlohmann::json& arguments : {nlohmann::json(nullptr), nlohmann::json("yes"), nlohmann::json::array(),
                                          nlohmann::json::object(), nlohmann::json{{"setEnabledValue", "true"}}}) {
    auto reply = driver_->invoke(kChannel, "launchAtStartupSetEnabled", arguments);
    ASSERT_TRUE(reply);
    EXPECT_TRUE((*reply)["reply"].is_null()) << arguments.dump() << " -> " << reply->dump();
  }
  EXPECT_FALSE(std::filesystem::exists(entry_));
  auto reply = driver_->invoke(kChannel, "LaunchAtStartupIsEnabled");
  EXPECT_EQ((*reply)["notImplemented"], true);
}

}  // namespace
}  // namespace tessra::testing
