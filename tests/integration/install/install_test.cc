// `cmake --install` of this build into a temporary DESTDIR: the program, a valid desktop
// entry under the application id, its icon and the compiled translations; and an installed
// program that is set to launch at login starts the installed program.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <set>

#include "tests/integration/support/app_process.h"
#include "tests/integration/support/driver_client.h"

namespace tessra::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kApplicationId = "com.brovak.tessra";

// Runs a command and returns what it printed (standard output and error together).
std::string outputOf(const std::vector<std::string>& argv, int& status) {
  TempDir scratch;
  ChildProcess child(argv, {}, scratch.path());
  status = child.waitForExit(60s).value_or(-1);
  return child.standardOutput() + child.standardError();
}

std::set<std::string> msgids(const std::string& poFile) {
  std::set<std::string> ids;
  std::regex id("^msgid \"(.+)\"$");
  std::istringstream lines(readFile(poFile));
  std::string line;
  while (std::getline(lines, line)) {
    std::smatch match;
    if (std::regex_match(line, match, id)) ids.insert(match[1]);
  }
  return ids;
}

class Installation : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    destdir_ = new TempDir;
    int status = 0;
    log_ = new std::string(
        outputOf({"env", "DESTDIR=" + destdir_->path(), "cmake", "--install", TESSRA_BUILD_DIR}, status));
    status_ = status;
  }
  static void TearDownTestSuite() {
    delete destdir_;
    delete log_;
  }
  void SetUp() override { ASSERT_EQ(status_, 0) << *log_; }

  static std::string installed(const std::string& path) {
    return destdir_->path() + TESSRA_INSTALL_PREFIX + "/" + path;
  }

  static inline TempDir* destdir_ = nullptr;
  static inline std::string* log_ = nullptr;
  static inline int status_ = -1;
};

TEST_F(Installation, PutsTheProgramADesktopEntryAndItsIconWhereTheLauncherFindsThem) {
  for (const char* program : {"bin/tessra", "libexec/tessra/tessra-child-launcher"}) {
    const std::string binary = installed(program);
    ASSERT_TRUE(fs::exists(binary)) << program;
    EXPECT_NE(fs::status(binary).permissions() & fs::perms::owner_exec, fs::perms::none) << program;
  }

  const std::string entry = installed(std::string("share/applications/") + kApplicationId + ".desktop");
  ASSERT_TRUE(fs::exists(entry));
  int status = 0;
  const std::string verdict = outputOf({"desktop-file-validate", entry}, status);
  EXPECT_EQ(status, 0) << verdict;
  EXPECT_EQ(verdict, "") << "no warnings or hints either";
  const std::string text = readFile(entry);
  EXPECT_NE(text.find("\nExec=" TESSRA_INSTALL_PREFIX "/bin/tessra\n"), std::string::npos) << text;
  EXPECT_NE(text.find(std::string("\nIcon=") + kApplicationId + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nStartupWMClass=tessra\n"), std::string::npos) << text;

  const std::string icon = installed(std::string("share/icons/hicolor/scalable/apps/") + kApplicationId + ".svg");
  ASSERT_TRUE(fs::exists(icon));
  EXPECT_NE(readFile(icon).find("<svg"), std::string::npos);
}

TEST_F(Installation, CarriesEveryTextOfTheInterfaceInEachTranslation) {
  // The template lists every text the sources and the metainfo mark; a text added without
  // it would stay English in every language.
  TempDir scratch;
  const std::string fresh = scratch.path() + "/fresh.pot";
  std::vector<std::string> xgettext = {"xgettext",
                                       "--from-code=UTF-8",
                                       "--keyword=tr",
                                       "--keyword=trn:1,2",
                                       "-o",
                                       fresh,
                                       TESSRA_SOURCE_DIR "/data/com.brovak.tessra.metainfo.xml"};
  for (const auto& file : fs::directory_iterator(TESSRA_SOURCE_DIR "/BuiltInInterface")) {
    if (file.path().extension() == ".cc") xgettext.push_back(file.path().string());
  }
  ASSERT_EQ(runCommand(xgettext), 0);
  const std::set<std::string> marked = msgids(fresh);
  EXPECT_EQ(msgids(TESSRA_SOURCE_DIR "/po/tessra.pot"), marked) << "run the tessra_pot target";
  EXPECT_TRUE(marked.count("Launch at login")) << "the switch's localized label";

  for (const auto& po : fs::directory_iterator(TESSRA_SOURCE_DIR "/po")) {
    if (po.path().extension() != ".po") continue;
    const std::string language = po.path().stem().string();
    int status = 0;
    // Every text of the template translated, none left fuzzy or empty.
    const std::string missing = outputOf({"msgcmp", po.path().string(), TESSRA_SOURCE_DIR "/po/tessra.pot"}, status);
    EXPECT_EQ(status, 0) << language << ": " << missing;

    const std::string mo = installed("share/locale/" + language + "/LC_MESSAGES/tessra.mo");
    ASSERT_TRUE(fs::exists(mo)) << mo;
    TempDir unpacked;
    const std::string back = unpacked.path() + "/back.po";
    ASSERT_EQ(runCommand({"msgunfmt", "-o", back, mo}), 0);
    EXPECT_EQ(msgids(back), marked) << language;
  }
}

TEST_F(Installation, TheInstalledProgramSetToLaunchAtLoginStartsItself) {
  if (!getenv("DISPLAY") || !getenv("DBUS_SESSION_BUS_ADDRESS")) {
    GTEST_SKIP() << "needs an X display and a private session bus";
  }
  TempDir home;
  const std::string socket = home.path() + "/driver.sock";
  ChildProcess app({installed("bin/tessra")},
                   {{"TESSRA_DRIVER_SOCKET", socket},
                    {"XDG_CONFIG_HOME", home.path() + "/config"},
                    {"HOME", home.path()},
                    {"NO_AT_BRIDGE", "1"}},
                   home.path());
  auto driver = DriverClient::connect(socket);
  ASSERT_TRUE(driver) << app.standardError();
  auto reply = driver->invoke("launch_at_startup", "launchAtStartupSetEnabled", {{"setEnabledValue", true}});
  ASSERT_TRUE(reply);
  const std::string entry = readFile(home.path() + "/config/autostart/" + kApplicationId + ".desktop");
  EXPECT_NE(entry.find("\nExec=" + installed("bin/tessra") + "\n"), std::string::npos) << entry;
}

}  // namespace
}  // namespace tessra::testing
