// The host's side of the child-launcher process, with the real tessra-child-launcher and real
// children (/bin/sh; no network); and the messages the two exchange.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/process/child_launcher_process.h"
#include "platform/process/launch_messages.h"
#include "tests/integration/process/children.h"

namespace {

using process::Termination;
using process::testing::noChildren;
using process::testing::shell;
using process::testing::Terminations;

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ChildLauncherProcessTest, ReportsEachEndingOfChildrenMadeInASchedulingGroupOfTheirOwn) {
  const std::string where = testing::TempDir() + "child_launcher_group_" + std::to_string(getpid());
  Terminations ended;
  {
    process::ChildLauncherProcess launcher(TESSRA_CHILD_LAUNCHER_BINARY);
    EXPECT_EQ(launcher.launcherPid(), -1) << "started before the first launch";
    // Field 6 of stat is the session; the group is the session's automatic one.
    const std::string describe = "cut -d' ' -f6 /proc/$$/stat > " + where + "; cat /proc/$$/autogroup >> " + where;
    ASSERT_FALSE(launcher.launch("/bin/sh", shell(describe), ended.handler(0)));
    ASSERT_FALSE(launcher.launch("/bin/sh", shell("exit 3"), ended.handler(1)));
    ASSERT_FALSE(launcher.launch("/bin/sh", shell("kill -9 $$"), ended.handler(2)));
    // Refused by the launch itself, before anything is handed over.
    auto missing = launcher.launch("/nonexistent/ping", {}, ended.handler(99));
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->code, ENOENT);

    const auto results = ended.waitFor(3);
    EXPECT_EQ(results[0], (Termination{false, 0}));
    EXPECT_EQ(results[1], (Termination{false, 3}));
    EXPECT_EQ(results[2], (Termination{true, SIGKILL}));
    EXPECT_FALSE(ended.anyOnMainThread());
    EXPECT_EQ(launcher.running(), 0u);
  }
  EXPECT_TRUE(noChildren()) << "the launcher process is collected with its launcher";

  std::istringstream seen(readFile(where));
  pid_t session = 0;
  std::string group, nice, weight;
  seen >> session >> group >> nice >> weight;
  ASSERT_GT(session, 0) << "the child did not say where it ran";
  EXPECT_NE(session, getsid(0)) << "the child is in the host's session";
  if (!group.empty()) {  // where the kernel has autogroups
    EXPECT_EQ(nice + " " + weight, "nice 19") << group;
  }
  unlink(where.c_str());
}

TEST(ChildLauncherProcessTest, ALauncherProcessThatDiesFailsItsChildrenAndTheNextLaunchStartsAnother) {
  Terminations ended;
  process::ChildLauncherProcess launcher(TESSRA_CHILD_LAUNCHER_BINARY);
  ASSERT_FALSE(launcher.launch("/bin/sh", shell("sleep 1"), ended.handler(0)));
  pid_t first = -1;
  for (int i = 0; i < 1000 && (first = launcher.launcherPid()) == -1; ++i) usleep(10'000);
  ASSERT_NE(first, -1);
  ASSERT_EQ(kill(first, SIGKILL), 0);
  EXPECT_EQ(ended.waitFor(1)[0], (Termination{false, -1}));

  ASSERT_FALSE(launcher.launch("/bin/sh", shell("exit 5"), ended.handler(1)));
  EXPECT_EQ(ended.waitFor(2)[1], (Termination{false, 5}));
  EXPECT_NE(launcher.launcherPid(), first);
}

TEST(ChildLauncherProcessTest, DestructionWaitsForRunningChildrenAndTheLauncherProcess) {
  Terminations ended;
  {
    process::ChildLauncherProcess launcher(TESSRA_CHILD_LAUNCHER_BINARY);
    for (size_t slot = 0; slot < 20; ++slot) {
      ASSERT_FALSE(launcher.launch("/bin/sh", shell("sleep 0.2; exit 4"), ended.handler(slot)));
    }
  }
  // Every handler ran before destruction returned.
  const auto results = ended.waitFor(0);
  ASSERT_EQ(results.size(), 20u);
  for (const auto& result : results) EXPECT_EQ(result, (Termination{false, 4}));
  EXPECT_TRUE(noChildren());
}

TEST(LaunchMessagesTest, PacketsOfRequestsAndRepliesRoundTripAndBrokenOnesAreRefused) {
  const process::LaunchRequest first{42, "/usr/bin/ping", {"-c", "1", "", "two words", "grüße", "\\\"quoted\\\""}};
  const process::LaunchRequest second{43, "/bin/true", {}};
  const auto one = process::encodeRequest(first), two = process::encodeRequest(second);
  ASSERT_TRUE(one && two);
  const auto decoded = process::decodeRequests(*one + *two);
  ASSERT_EQ(decoded.size(), 2u);
  ASSERT_TRUE(decoded[0].request && decoded[1].request);
  EXPECT_EQ(decoded[0].request->arguments, first.arguments);
  EXPECT_EQ(decoded[1].id, 43u);
  EXPECT_EQ(decoded[1].request->path, second.path);
  EXPECT_TRUE(decoded[1].request->arguments.empty());

  EXPECT_FALSE(process::encodeRequest({1, "/bin/sh", {std::string("a\0b", 3)}})) << "a NUL inside an argument";
  EXPECT_FALSE(process::encodeRequest({1, "/bin/sh", {std::string(process::kMaxRequestBytes, 'x')}}));
  // A frame whose last string is not ended still names its id; one that runs past the packet
  // ends the decoding.
  std::string unended = *two;
  unended.pop_back();
  unended[0] = static_cast<char>(unended[0] - 1);
  const auto broken = process::decodeRequests(unended + *one);
  ASSERT_EQ(broken.size(), 2u);
  EXPECT_EQ(broken[0].id, 43u);
  EXPECT_FALSE(broken[0].request);
  EXPECT_TRUE(broken[1].request);
  EXPECT_TRUE(process::decodeRequests(one->substr(0, one->size() - 1)).empty());

  const process::LaunchReply a{7, {true, SIGTERM}}, b{8, {false, 127}};
  const auto back = process::decodeReplies(process::encodeReply(a) + process::encodeReply(b) + "xy");
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].id, 7u);
  EXPECT_EQ(back[0].termination, a.termination);
  EXPECT_EQ(back[1].termination, b.termination);
}

}  // namespace
