// Exec quoting: the exact text written for awkward paths, and the way back.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/service_management/desktop_entry_exec.h"

namespace exec = service_management::exec;
using ::testing::ElementsAre;

TEST(DesktopEntryExec, QuotesOnlyWhatMustBeQuoted) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"/usr/bin/tessra", "/usr/bin/tessra"},
      {"/opt/My Apps/tessra", "\"/opt/My Apps/tessra\""},
      {"/opt/it's/tessra", "\"/opt/it's/tessra\""},
      {"/opt/\"q\"/tessra", "\"/opt/\\\"q\\\"/tessra\""},
      {"/opt/$HOME/tessra", "\"/opt/\\$HOME/tessra\""},
      {"/opt/`x`/tessra", "\"/opt/\\`x\\`/tessra\""},
      {"/opt/back\\slash/tessra", "\"/opt/back\\\\slash/tessra\""},
      {"/opt/100%/tessra", "/opt/100%%/tessra"},
      {"/opt/100% sure/tessra", "\"/opt/100%% sure/tessra\""},
      {"/opt/a=b,c/tessra", "/opt/a=b,c/tessra"},
      {"/opt/ünï/tessra", "/opt/ünï/tessra"},
      {"", "\"\""},
  };
  for (const auto& [argument, quoted] : table) {
    EXPECT_EQ(exec::quoteArgument(argument), quoted) << argument;
    auto back = exec::parseCommandLine(quoted);
    ASSERT_TRUE(back.has_value()) << quoted;
    EXPECT_THAT(*back, ElementsAre(argument)) << quoted;
  }
}

TEST(DesktopEntryExec, ParsesCommandLinesOthersWrote) {
  EXPECT_THAT(*exec::parseCommandLine("  env  \"A B\"  x%%y %U "), ElementsAre("env", "A B", "x%y", "%U"));
  EXPECT_THAT(*exec::parseCommandLine("a\"b c\"d"), ElementsAre("ab cd"));
  EXPECT_THAT(*exec::parseCommandLine(""), ::testing::IsEmpty());
}

TEST(DesktopEntryExec, RefusesMalformedCommandLines) {
  for (const char* bad : {"\"unterminated", "\"bad \\n escape\"", "trailing %", "\"ends in backslash\\"}) {
    EXPECT_FALSE(exec::parseCommandLine(bad).has_value()) << bad;
  }
}
