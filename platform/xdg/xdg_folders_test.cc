#include "platform/xdg/xdg_folders.h"

#include <gtest/gtest.h>

namespace {

// What GLib found (from $XDG_CONFIG_HOME, else $HOME/.config), $HOME, the user database's
// home, and the folder the settings go to: never one relative to the working directory.
TEST(ChooseConfigHome, AnEmptyOrRelativeHomeFallsBackToTheAccountsHome) {
  const std::optional<std::string> account = "/home/ada";
  const struct {
    const char* glib;
    const char* home;
    std::optional<std::string> account;
    const char* chosen;
  } rows[] = {
      {"/home/ada/.config", "/home/ada", account, "/home/ada/.config"},
      {"/srv/conf", "", account, "/srv/conf"},                  // an absolute $XDG_CONFIG_HOME wins
      {"rel/conf", "/home/ada", account, "/home/ada/.config"},  // a relative one is ignored
      {".config", "", account, "/home/ada/.config"},            // HOME=
      {"rel/.config", "rel", account, "/home/ada/.config"},     // HOME=rel
      {"./.config", ".", account, "/home/ada/.config"},         // HOME=.
      {".config", "", std::nullopt, ""},                        // nowhere: nothing is written
      {".config", "", std::string("relative"), ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.glib) + " | HOME=" + row.home);
    EXPECT_EQ(xdg::chooseConfigHome(row.glib, row.home, row.account), row.chosen);
  }
}

}  // namespace
