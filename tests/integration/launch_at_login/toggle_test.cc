// The launch-at-login toggle as GTK widgets under a real X server, over the real adapters.

#include <gtk/gtk.h>

#include <cstdlib>

#include "LaunchAtLogin/launch_at_login_toggle.h"
#include "platform/view/gtk_toggle_host.h"
#include "tests/integration/launch_at_login/sandbox.h"
#include "tests/integration/support/main_loop.h"

using namespace sandbox;

namespace {

class ToggleTest : public SandboxTest {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X server (DISPLAY is unset)";
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
    // An animated switch changes state at the end of its animation, on the frame clock;
    // without animation a user's flip takes effect at once.
    g_object_set(gtk_settings_get_default(), "gtk-enable-animations", FALSE, nullptr);
    SandboxTest::SetUp();
  }

  // Runs the main loop until the host has redrawn; no clock involved.
  static bool runPendingRedraw(const view::gtk::ToggleHost& host) {
    return tessra::testing::pumpUntil([&] { return !host.redrawPending(); });
  }
};

TEST_F(ToggleTest, ShowsTheSettingFlipsItAndFollowsOtherWriters) {
  view::gtk::ToggleHost host(LaunchAtLogin::Toggle<>().body());
  GtkWidget* window = gtk_offscreen_window_new();
  gtk_container_add(GTK_CONTAINER(window), host.widget());
  gtk_widget_show_all(window);

  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(host.labelWidget())), "Launch at login");
  EXPECT_FALSE(gtk_switch_get_active(host.switchWidget()));

  // The user flips it: the setting is written.
  gtk_widget_activate(GTK_WIDGET(host.switchWidget()));
  EXPECT_TRUE(std::filesystem::exists(userEntry()));
  EXPECT_TRUE(LaunchAtLogin::isEnabled());
  ASSERT_TRUE(runPendingRedraw(host));
  EXPECT_TRUE(gtk_switch_get_active(host.switchWidget()));

  // Someone else writes: the switch redraws on the next idle.
  LaunchAtLogin::setIsEnabled(false);
  EXPECT_TRUE(host.redrawPending());
  ASSERT_TRUE(runPendingRedraw(host));
  EXPECT_FALSE(gtk_switch_get_active(host.switchWidget()));

  gtk_container_remove(GTK_CONTAINER(window), host.widget());
  gtk_widget_destroy(window);
}

TEST_F(ToggleTest, ARefusedFlipSpringsBack) {
  std::filesystem::create_directories(configHome);
  // A file where the autostart folder should be makes every registration fail, root or not.
  writeFile(configHome + "/autostart", "in the way");
  view::gtk::ToggleHost host(LaunchAtLogin::Toggle<>().body());

  gtk_widget_activate(GTK_WIDGET(host.switchWidget()));
  ASSERT_TRUE(runPendingRedraw(host));
  EXPECT_FALSE(gtk_switch_get_active(host.switchWidget()));
  EXPECT_EQ(lines(logText()).size(), 1u);
}

TEST_F(ToggleTest, VerbatimAndLocalizedLabels) {
  view::gtk::ToggleHost verbatim(LaunchAtLogin::Toggle<>("Start %s with the session").body());
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(verbatim.labelWidget())), "Start %s with the session");
  // Without a translation installed the key itself is shown.
  view::gtk::ToggleHost localized(LaunchAtLogin::Toggle<>(view::LocalizedStringKey{"Launch at login"}).body());
  EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(localized.labelWidget())), "Launch at login");
}

}  // namespace
