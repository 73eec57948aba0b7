// LaunchAtLogin over the real autostart, defaults and log adapters, in private XDG folders.

#include <errno.h>
#include <gmock/gmock.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <map>

#include "Runner/linux_adapters.h"
#include "platform/bundle/testing/fake_bundle.h"
#include "platform/service_management/desktop_entry_exec.h"
#include "tests/integration/launch_at_login/sandbox.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;
using namespace sandbox;

namespace {

struct Validation {
  bool ok;
  std::string output;
};

Validation validate(const std::string& path) {
  const gchar* argv[] = {"desktop-file-validate", path.c_str(), nullptr};
  g_autofree gchar* out = nullptr;
  g_autofree gchar* err = nullptr;
  gint status = 0;
  gboolean ran = g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, &out,
                              &err, &status, nullptr);
  std::string output = std::string(out ? out : "") + (err ? err : "");
  // The validator reports hints on standard output without failing; anything it prints is
  // worth seeing, so success means a clean exit and no output at all.
  return {ran && g_spawn_check_wait_status(status, nullptr) && output.empty(), output};
}

std::optional<std::string> desktopKey(const std::string& path, const char* key) {
  g_autoptr(GKeyFile) file = g_key_file_new();
  if (!g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_NONE, nullptr)) return std::nullopt;
  g_autofree gchar* value = g_key_file_get_string(file, G_KEY_FILE_DESKTOP_GROUP, key, nullptr);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

// The Exec line of an entry, split back into arguments by the Desktop Entry rules.
std::vector<std::string> execArguments(const std::string& path) {
  auto exec = desktopKey(path, G_KEY_FILE_DESKTOP_KEY_EXEC);
  if (!exec) return {};
  return service_management::exec::parseCommandLine(*exec).value_or(std::vector<std::string>{});
}

std::string entryStarting(const std::string& program, const std::string& extra = "") {
  return "[Desktop Entry]\nType=Application\nName=Tessra\nExec=" + service_management::exec::quoteArgument(program) +
         "\n" + extra;
}

class AutostartTest : public SandboxTest {};

// --- The application's own entry --------------------------------------------------------

TEST_F(AutostartTest, EnablingWritesAValidEntryForThisProgramAndDisablingRemovesIt) {
  EXPECT_FALSE(LaunchAtLogin::isEnabled());
  LaunchAtLogin::setIsEnabled(true);

  ASSERT_TRUE(std::filesystem::exists(userEntry()));
  auto validation = validate(userEntry());
  EXPECT_TRUE(validation.ok) << validation.output;
  EXPECT_THAT(execArguments(userEntry()), ElementsAre(executable));
  EXPECT_EQ(desktopKey(userEntry(), "TryExec"), executable);
  EXPECT_TRUE(LaunchAtLogin::isEnabled());

  // Enabling again rewrites our keys only: what the user or the desktop added stays.
  writeFile(userEntry(),
            "# chosen in the session settings\n" + entryStarting(root + "/old/tessra",
                                                                 "Name[de]=Tessra (de)\nComment=LAN scanner\n"
                                                                 "X-GNOME-Autostart-Delay=30\nHidden=true\n"));
  LaunchAtLogin::setIsEnabled(true);
  EXPECT_TRUE(LaunchAtLogin::isEnabled());
  EXPECT_THAT(execArguments(userEntry()), ElementsAre(executable));
  EXPECT_EQ(desktopKey(userEntry(), "X-GNOME-Autostart-Delay"), "30");
  EXPECT_EQ(desktopKey(userEntry(), "Comment"), "LAN scanner");
  EXPECT_THAT(readFile(userEntry()), HasSubstr("Name[de]=Tessra (de)\n"));
  EXPECT_THAT(readFile(userEntry()), StartsWith("# chosen in the session settings\n"));
  validation = validate(userEntry());
  EXPECT_TRUE(validation.ok) << validation.output;

  LaunchAtLogin::setIsEnabled(false);
  EXPECT_FALSE(std::filesystem::exists(userEntry()));
  EXPECT_FALSE(LaunchAtLogin::isEnabled());
  LaunchAtLogin::setIsEnabled(false);  // disabling what is off is no failure
  EXPECT_THAT(logText(), IsEmpty());
}

TEST_F(AutostartTest, ASystemEntryIsHiddenByAUserEntryAndBroughtBackByEnabling) {
  writeFile(systemEntry(), entryStarting(executable, "Comment=from the system\n"));
  EXPECT_TRUE(LaunchAtLogin::isEnabled());

  LaunchAtLogin::setIsEnabled(false);
  ASSERT_TRUE(std::filesystem::exists(userEntry()));
  EXPECT_EQ(desktopKey(userEntry(), "Hidden"), "true");
  EXPECT_TRUE(validate(userEntry()).ok) << validate(userEntry()).output;
  EXPECT_FALSE(LaunchAtLogin::isEnabled());
  EXPECT_TRUE(std::filesystem::exists(systemEntry()));  // never touched

  LaunchAtLogin::setIsEnabled(true);
  EXPECT_EQ(desktopKey(userEntry(), "Hidden"), "false");
  EXPECT_TRUE(LaunchAtLogin::isEnabled());
}

TEST_F(AutostartTest, DisabledOrStaleEntriesReadAsOffAndEnablingRepairsThem) {
  const std::vector<std::pair<const char*, std::string>> stale = {
      // What Xfce's and KDE's settings write into the user's copy to switch an entry off.
      {"hidden", entryStarting(executable, "Hidden=true\n")},
      {"switched off for GNOME", entryStarting(executable, "X-GNOME-Autostart-enabled=false\n")},
      {"moved program", entryStarting(root + "/gone/tessra")},
      {"TryExec gone", entryStarting(executable, "TryExec=" + root + "/gone/tessra\n")},
      {"not a desktop entry", "this is not a key file\n"},
  };
  for (const auto& [name, contents] : stale) {
    writeFile(userEntry(), contents);
    EXPECT_FALSE(LaunchAtLogin::isEnabled()) << name;
    LaunchAtLogin::setIsEnabled(true);
    EXPECT_TRUE(LaunchAtLogin::isEnabled()) << name;
    EXPECT_THAT(execArguments(userEntry()), ElementsAre(executable)) << name;
  }
}

TEST_F(AutostartTest, AReadOnlyAutostartFolderLeavesTheSettingOffAndLogsOnce) {
  const std::string folder = configHome + "/autostart";
  std::filesystem::create_directories(folder);
  bool mounted = false;
  if (geteuid() == 0) {
    // Permissions do not stop root; a read-only bind mount in a private mount namespace does.
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
      GTEST_SKIP() << "cannot make a read-only folder as root here: " << g_strerror(errno);
    }
    mounted = true;
  } else {
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  }

  LaunchAtLogin::setIsEnabled(true);
  EXPECT_FALSE(LaunchAtLogin::isEnabled());
  auto logged = lines(logText());
  ASSERT_EQ(logged.size(), 1u) << logText();
  EXPECT_THAT(logged[0], HasSubstr("[com.marwelquiste.LaunchAtLogin/main] Failed to enable launch at login: "));
  EXPECT_THAT(logged[0], HasSubstr(folder));
  EXPECT_THAT(logged[0], StartsWith("tessra-test["));

  if (mounted) umount2(folder.c_str(), MNT_DETACH);
  chmod(folder.c_str(), 0755);
}

TEST_F(AutostartTest, ExecQuotingSurvivesAwkwardProgramPaths) {
  // Each path is a link to this test program, so the written entry must also read as enabled.
  for (const std::string folderName :
       {"with space", "quote\"d", "it's", "dollar$HOME", "100% sure", "back\\slash", "ü-nï~(x)&y;z"}) {
    const std::string program = root + "/bin/" + folderName + "/tessra";
    std::filesystem::create_directories(std::filesystem::path(program).parent_path());
    std::filesystem::create_symlink(executable, program);
    bundle::testing::FakeBundle programAt;
    programAt.executable = program;
    service_management::AutostartServiceManagement services(
        service_management::AutostartServiceManagement::Options{kAppId, "Tessra", programAt, folders});

    ASSERT_FALSE(services.mainAppService()->registerAndReturnError().has_value()) << folderName;
    auto validation = validate(userEntry());
    EXPECT_TRUE(validation.ok) << folderName << ": " << validation.output;
    EXPECT_THAT(execArguments(userEntry()), ElementsAre(program)) << folderName;
    EXPECT_EQ(services.mainAppService()->status(), service_management::SMAppServiceStatus::Enabled) << folderName;
    if (folderName.find('\\') != std::string::npos) {
      // In the file a backslash of the path is four: one escape for the quoting, each
      // doubled again by the key file format's string escape.
      EXPECT_THAT(readFile(userEntry()), HasSubstr("back\\\\\\\\slash"));
    }
  }
  // Control characters and bytes that are not UTF-8 cannot be held by a desktop entry at
  // all: refused, nothing written.
  // Nor may a program be started at every login that other users could swap: one in a
  // folder they can write, sticky (like /tmp) or not.
  for (const auto& [folderName, mode] : {std::pair<std::string, mode_t>{"shared", 0777}, {"sticky", 01777}}) {
    const std::string program = root + "/" + folderName + "/tessra";
    std::filesystem::create_directories(root + "/" + folderName);
    ASSERT_EQ(chmod((root + "/" + folderName).c_str(), mode), 0);
    std::filesystem::create_symlink(executable, program);
  }
  std::filesystem::remove(userEntry());
  for (const auto& [program, reason] :
       {std::pair<std::string, std::string>{root + "/bin/tab\there/tessra", "holds control characters"},
        {root + "/bin/caf\xe9/tessra", "is not valid UTF-8"},
        {root + "/shared/tessra", root + "/shared can be written by other users"},
        {root + "/sticky/tessra", root + "/sticky can be written by other users"}}) {
    bundle::testing::FakeBundle programAt;
    programAt.executable = program;
    service_management::AutostartServiceManagement services(
        service_management::AutostartServiceManagement::Options{kAppId, "Tessra", programAt, folders});
    auto refused = services.mainAppService()->registerAndReturnError();
    ASSERT_TRUE(refused.has_value()) << reason;
    EXPECT_THAT(refused->localizedDescription, HasSubstr(reason));
    EXPECT_TRUE(g_utf8_validate(refused->localizedDescription.c_str(), -1, nullptr)) << "fit for the log";
    EXPECT_FALSE(std::filesystem::exists(userEntry())) << reason;
  }
}

// Dotfile managers keep the entry as a link into the user's own repository: it stays a
// link, and what it points to is replaced in one step. A target of another user's is left
// alone, with one line in the log.
TEST_F(AutostartTest, ALinkedEntryStaysALinkAndOnlyATargetOfOursIsReplaced) {
  const std::string kept = root + "/dotfiles/tessra.desktop";
  writeFile(kept, entryStarting(root + "/gone/tessra", "Comment=kept in my dotfiles\n"));
  std::filesystem::create_directories(configHome + "/autostart");
  std::filesystem::create_symlink(kept, userEntry());

  LaunchAtLogin::setIsEnabled(true);
  EXPECT_TRUE(std::filesystem::is_symlink(userEntry()));
  EXPECT_TRUE(LaunchAtLogin::isEnabled());
  EXPECT_THAT(execArguments(kept), ElementsAre(executable));
  EXPECT_EQ(desktopKey(kept, "Comment"), "kept in my dotfiles");
  LaunchAtLogin::setIsEnabled(true);  // again: what was there is taken down and written anew
  LaunchAtLogin::setIsEnabled(false);
  EXPECT_TRUE(std::filesystem::is_symlink(userEntry()));
  EXPECT_FALSE(LaunchAtLogin::isEnabled());
  LaunchAtLogin::setIsEnabled(true);
  EXPECT_TRUE(std::filesystem::is_symlink(userEntry()));
  EXPECT_TRUE(LaunchAtLogin::isEnabled());
  EXPECT_EQ(desktopKey(kept, "Comment"), "kept in my dotfiles");

  if (geteuid() != 0) GTEST_SKIP() << "giving the target to another user needs root";
  writeFile(kept, entryStarting(root + "/gone/tessra"));
  ASSERT_EQ(chown(kept.c_str(), 65534, 65534), 0);
  const std::string before = readFile(kept);
  LaunchAtLogin::setIsEnabled(true);
  EXPECT_FALSE(LaunchAtLogin::isEnabled());
  EXPECT_TRUE(std::filesystem::is_symlink(userEntry()));
  EXPECT_EQ(readFile(kept), before);
  auto logged = lines(logText());
  ASSERT_EQ(logged.size(), 1u) << logText();
  EXPECT_THAT(logged[0], HasSubstr(kept + " belongs to another user"));
}

TEST_F(AutostartTest, TheProgramsOwnAdaptersRegisterThisProgram) {
  LinuxAdapters adapters(folders);
  LaunchAtLogin::resetForTesting();
  LaunchAtLogin::installPlatform(adapters.loginItemPlatform());
  LaunchAtLogin::setIsEnabled(true);
  EXPECT_TRUE(LaunchAtLogin::isEnabled());
  EXPECT_THAT(execArguments(userEntry()), ElementsAre(executable));
}

// --- Legacy login items -----------------------------------------------------------------

TEST_F(AutostartTest, LegacyJobListShowsEffectiveEntriesAndSwitchingCopiesThem) {
  const std::string helper = std::string(kAppId) + "-LaunchAtLoginHelper";
  writeFile(systemDir + "/autostart/" + helper + ".desktop", entryStarting(executable));
  writeFile(systemDir + "/autostart/other.desktop", entryStarting(executable));
  writeFile(configHome + "/autostart/other.desktop", entryStarting(executable, "Hidden=true\n"));
  writeFile(configHome + "/autostart/notes.txt", "not an entry");

  auto jobs = services->SMCopyAllJobDictionaries();
  ASSERT_TRUE(jobs.has_value());
  std::map<std::string, bool> onDemand;
  for (const auto& job : *jobs) {
    ASSERT_TRUE(job.label && job.onDemand) << "every job of ours has both keys";
    onDemand[*job.label] = *job.onDemand;
  }
  EXPECT_EQ(onDemand, (std::map<std::string, bool>{{helper, true}, {"other", false}}));

  // The old helper counts as on, so migrating registers the application and removes the helper.
  LaunchAtLogin::migrateIfNeeded();
  EXPECT_TRUE(LaunchAtLogin::isEnabled());
  EXPECT_EQ(desktopKey(configHome + "/autostart/" + helper + ".desktop", "Hidden"), "true");
  EXPECT_TRUE(defaults->boolForKey("LaunchAtLogin__hasMigrated"));
}

// --- Defaults ---------------------------------------------------------------------------

TEST_F(AutostartTest, UnusableDefaultsReadAsAbsentAndAreReplacedByTheNextWrite) {
  const std::string path = defaults->path();
  EXPECT_FALSE(defaults->boolForKey("LaunchAtLogin__hasMigrated"));  // no file at all

  writeFile(path, std::string("[UserDefaults\nLaunchAtLogin__hasMigrated=true\n") + "\xff\xfe");
  EXPECT_FALSE(defaults->boolForKey("LaunchAtLogin__hasMigrated"));

  writeFile(path, "[UserDefaults]\nLaunchAtLogin__hasMigrated=perhaps\n");
  EXPECT_FALSE(defaults->boolForKey("LaunchAtLogin__hasMigrated"));

  EXPECT_TRUE(defaults->setBoolForKey(true, "LaunchAtLogin__hasMigrated"));
  EXPECT_TRUE(defaults->boolForKey("LaunchAtLogin__hasMigrated"));

  // A folder where the file should be cannot be read by anybody, root included.
  std::filesystem::remove(path);
  std::filesystem::create_directories(path);
  EXPECT_FALSE(defaults->boolForKey("LaunchAtLogin__hasMigrated"));
  LaunchAtLogin::migrateIfNeeded();  // carries on regardless
  EXPECT_FALSE(defaults->setBoolForKey(true, "LaunchAtLogin__hasMigrated"));
}

}  // namespace
