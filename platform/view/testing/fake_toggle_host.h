#pragma once

#include <string>

#include "platform/observation/observer_list.h"
#include "platform/view/view.h"

namespace view::testing {

// Hosts a Toggle without a toolkit: it keeps what it shows, marks itself dirty on each
// will-change of the binding's source and redraws when the test runs the pending redraw,
// the way the GTK host does on its next idle.
template <typename Label>
class FakeToggleHost {
 public:
  explicit FakeToggleHost(const Toggle<Label>& toggle) : toggle_(toggle) {
    if (toggle_.isOn.source) {
      willChange_ = toggle_.isOn.source->objectWillChange().sink([this] { dirty = true; });
    }
    redraw();
  }

  // The user flips the switch.
  void flip() {
    toggle_.isOn.set(!shown);
    dirty = true;
  }
  // Runs the redraw the host would run on its next idle; false when none was pending.
  bool runPendingRedraw() {
    if (!dirty) return false;
    redraw();
    return true;
  }

  const Label& label() const { return toggle_.label; }

  bool shown = false;
  bool dirty = false;
  int reads = 0;

 private:
  void redraw() {
    dirty = false;
    ++reads;
    shown = toggle_.isOn.get();
  }

  Toggle<Label> toggle_;
  observation::AnyCancellable willChange_;
};

}  // namespace view::testing
