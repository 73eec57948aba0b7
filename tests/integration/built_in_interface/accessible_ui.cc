#include "tests/integration/built_in_interface/accessible_ui.h"

#include <X11/Xlib.h>
#include <atspi/atspi.h>

#include <thread>

#include "tests/integration/support/app_process.h"
#include "tests/integration/support/main_loop.h"

namespace tessra::testing {
namespace {

// Takes over `text` and `error`.
std::string takeString(gchar* text, GError* error) {
  g_autofree gchar* owned = text;
  g_autoptr(GError) ignored = error;
  return owned ? owned : "";
}

bool hasState(AtspiAccessible* accessible, AtspiStateType state) {
  // The accessibility library declares no g_autoptr cleanup for its types.
  AtspiStateSet* states = atspi_accessible_get_state_set(accessible);
  const bool result = states && atspi_state_set_contains(states, state);
  g_clear_object(&states);
  return result;
}

// What the bus tells the accessibility library (applications coming and going, state
// changes) does not wake this process's loop, so waits poll: each look first lets the library
// take in what has come (pumpPending()).
template <typename Condition>
bool pollUntil(Condition condition, std::chrono::milliseconds timeout) {
  return eventually(
      [&] {
        pumpPending();
        return condition();
      },
      timeout);
}

// On X11 the accessibility library, ours and the program's alike, takes the bus address from a
// property of the root window before it asks the session bus. The bus launcher of an earlier
// test's session, ended with that session, leaves the property behind on the shared X server,
// pointing at a bus that is gone: a reader that takes it never sees the program. Removed before
// this process first connects, so that both ask the session bus of this test, whose launcher
// then sets the property afresh.
void forgetStaleAccessibilityBus() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return;
  const Atom property = XInternAtom(display, "AT_SPI_BUS", True);
  if (property != None) XDeleteProperty(display, DefaultRootWindow(display), property);
  XCloseDisplay(display);
}

}  // namespace

AccessibleUi::Element::Element(AtspiAccessible* accessible)
    : accessible_(accessible, [](AtspiAccessible* object) {
        if (object) g_object_unref(object);
      }) {}

std::string AccessibleUi::Element::role() const {
  GError* error = nullptr;
  gchar* role = atspi_accessible_get_role_name(accessible_.get(), &error);
  return takeString(role, error);
}

std::string AccessibleUi::Element::name() const {
  GError* error = nullptr;
  gchar* name = atspi_accessible_get_name(accessible_.get(), &error);
  return takeString(name, error);
}

bool AccessibleUi::Element::sensitive() const {
  pumpPending();
  return hasState(accessible_.get(), ATSPI_STATE_SENSITIVE);
}
bool AccessibleUi::Element::checked() const {
  pumpPending();
  return hasState(accessible_.get(), ATSPI_STATE_CHECKED);
}
bool AccessibleUi::Element::showing() const {
  pumpPending();
  return hasState(accessible_.get(), ATSPI_STATE_SHOWING);
}

std::vector<AccessibleUi::Element> AccessibleUi::Element::children() const {
  std::vector<Element> result;
  GError* error = nullptr;
  const gint count = atspi_accessible_get_child_count(accessible_.get(), &error);
  if (error) {
    g_clear_error(&error);
    return result;
  }
  for (gint i = 0; i < count; ++i) {
    AtspiAccessible* child = atspi_accessible_get_child_at_index(accessible_.get(), i, &error);
    if (error) {
      g_clear_error(&error);
      continue;
    }
    if (child) result.push_back(Element(child));
  }
  return result;
}

std::vector<AccessibleUi::Element> AccessibleUi::Element::findAll(
    const std::function<bool(const Element&)>& match) const {
  std::vector<Element> found;
  for (const Element& child : children()) {
    if (match(child)) found.push_back(child);
    for (Element& below : child.findAll(match)) found.push_back(std::move(below));
  }
  return found;
}

std::vector<std::string> AccessibleUi::Element::labelTexts() const {
  std::vector<std::string> texts;
  for (const Element& label : findAll([](const Element& e) { return e.role() == "label"; })) {
    texts.push_back(label.name());
  }
  return texts;
}

AccessibleUi::AccessibleUi() {
  static const bool forgotten = (forgetStaleAccessibilityBus(), true);
  (void)forgotten;
  atspi_init();
}

// The library keeps its bus connections for the process's lifetime; atspi_exit() would
// refuse later use by another test of the same executable.
AccessibleUi::~AccessibleUi() = default;

std::optional<AccessibleUi::Element> AccessibleUi::application(pid_t pid, std::chrono::milliseconds timeout) {
  std::optional<Element> found;
  pollUntil(
      [&] {
        Element desktop(atspi_get_desktop(0));
        for (const Element& application : desktop.children()) {
          g_autoptr(GError) error = nullptr;
          const guint applicationPid = atspi_accessible_get_process_id(application.accessible_.get(), &error);
          if (error) continue;
          if (static_cast<pid_t>(applicationPid) == pid) {
            // Names and children are asked for afresh each time. States stay cached (kept
            // current by the events pumpPending() takes in): with them uncached, the library's own
            // event handling asks the bus from inside a dispatch and deadlocks.
            atspi_accessible_set_cache_mask(
                application.accessible_.get(),
                static_cast<AtspiCache>(ATSPI_CACHE_STATES | ATSPI_CACHE_ROLE | ATSPI_CACHE_INTERFACES));
            found = application;
            return true;
          }
        }
        return false;
      },
      timeout);
  return found;
}

std::optional<AccessibleUi::Element> AccessibleUi::waitFor(const Element& root, const std::string& role,
                                                           const std::string& name, std::chrono::milliseconds timeout) {
  std::optional<Element> found;
  pollUntil(
      [&] {
        auto matches = root.findAll([&](const Element& e) { return e.role() == role && e.name() == name; });
        if (matches.empty()) return false;
        found = matches.front();
        return true;
      },
      timeout);
  return found;
}

std::optional<AccessibleUi::Element> AccessibleUi::waitForLabel(const Element& root, const std::string& prefix,
                                                                std::chrono::milliseconds timeout) {
  std::optional<Element> found;
  pollUntil(
      [&] {
        auto matches = labelsStartingWith(root, prefix);
        if (matches.empty()) return false;
        found = matches.front();
        return true;
      },
      timeout);
  return found;
}

std::vector<AccessibleUi::Element> AccessibleUi::labelsStartingWith(const Element& root, const std::string& prefix) {
  pumpPending();
  return root.findAll([&](const Element& e) { return e.role() == "label" && e.name().rfind(prefix, 0) == 0; });
}

bool AccessibleUi::pointAt(const Element& element) {
  AtspiComponent* component = atspi_accessible_get_component_iface(element.accessible_.get());
  if (!component) return false;
  g_autoptr(GError) error = nullptr;
  // An AtspiRect is a plain boxed struct, freed with g_free.
  g_autofree AtspiRect* extents = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, &error);
  g_clear_object(&component);
  if (error || !extents) return false;
  const int x = extents->x + extents->width / 2;
  const int y = extents->y + extents->height / 2;
  return runCommand({"xdotool", "mousemove", "--sync", std::to_string(x), std::to_string(y)}) == 0;
}

bool AccessibleUi::click(const Element& element) {
  return pointAt(element) && runCommand({"xdotool", "click", "1"}) == 0;
}

bool AccessibleUi::pressKeys(const std::string& keys) { return runCommand({"xdotool", "key", keys}) == 0; }

}  // namespace tessra::testing
