#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct _AtspiAccessible;

namespace tessra::testing {

// What a person (or a screen reader) finds in a running program's windows, read through the
// accessibility bus of the test's session, and the person's hands: mouse and keyboard of the X
// display through xdotool. Names and children are read afresh each time; states (sensitive,
// checked) follow the program's change events. Hidden widgets count as present: the program
// clears the texts it hides.
class AccessibleUi {
 public:
  // One element of the program's interface.
  class Element {
   public:
    std::string role() const;  // "push button", "label", "toggle button", "list", ...
    std::string name() const;  // for labels, the text they show
    bool sensitive() const;
    bool checked() const;
    bool showing() const;  // for a window: shown on the screen (mapped)
    std::vector<Element> children() const;
    // Every element below this one, depth first, that `match` accepts.
    std::vector<Element> findAll(const std::function<bool(const Element&)>& match) const;
    // The texts of all labels below this one, in order.
    std::vector<std::string> labelTexts() const;

   private:
    friend class AccessibleUi;
    explicit Element(_AtspiAccessible* accessible);  // takes over one reference
    std::shared_ptr<_AtspiAccessible> accessible_;
  };

  AccessibleUi();
  ~AccessibleUi();
  AccessibleUi(const AccessibleUi&) = delete;
  AccessibleUi& operator=(const AccessibleUi&) = delete;

  // The program of `pid` as the accessibility bus shows it, once it has shown up.
  std::optional<Element> application(pid_t pid, std::chrono::milliseconds timeout);

  // The first element below `root` with this role and name, once there is one.
  std::optional<Element> waitFor(const Element& root, const std::string& role, const std::string& name,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // The first label below `root` whose text starts with `prefix`, once there is one.
  std::optional<Element> waitForLabel(const Element& root, const std::string& prefix,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // The labels below `root` whose text starts with `prefix`, now.
  static std::vector<Element> labelsStartingWith(const Element& root, const std::string& prefix);

  // Moves the pointer to the middle of `element` on screen and clicks it.
  static bool click(const Element& element);
  // Types keys (xdotool names, e.g. "alt+c", "Escape") into the window under the pointer,
  // which has the keyboard when no window manager runs.
  static bool pressKeys(const std::string& keys);
  // Puts the pointer over `element`, so that its window gets the keys.
  static bool pointAt(const Element& element);
};

}  // namespace tessra::testing
