#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "Runner/channels/channels.h"
#include "Runner/embedding/encodable_value.h"
#include "Runner/embedding/stream_handler.h"

namespace discovery::testing {

// Collects what a listener of the scan stream receives, in arrival order. Hand sink() to a
// listen or a sweep; the collector must outlive whatever still reports to it. A value that
// is neither a scan result nor null fails the test. Called where the sink is, the main thread.
class SweepCollector {
 public:
  // One event as the listener saw it: a scan result or the completion null.
  struct Event {
    std::string ip;  // empty for the completion
    bool success = false;
    bool completion = false;
  };

  flutter::FlutterEventSink sink() {
    return [this](const flutter::EncodableValue& value) { add(value); };
  }

  size_t results() const { return events.size() - completions(); }
  size_t completions() const {
    return std::count_if(events.begin(), events.end(), [](const Event& e) { return e.completion; });
  }
  bool completed() const { return completions() > 0; }
  // Whether a result came after a completion.
  bool resultAfterCompletion() const {
    const auto first = std::find_if(events.begin(), events.end(), [](const Event& e) { return e.completion; });
    return std::any_of(first, events.end(), [](const Event& e) { return !e.completion; });
  }
  // The addresses reported at least once; those reported with a reply at least once.
  std::set<std::string> addresses() const { return addressesWhere(false); }
  std::set<std::string> answered() const { return addressesWhere(true); }

  std::vector<Event> events;

 private:
  void add(const flutter::EncodableValue& value) {
    if (value.IsNull()) {
      events.push_back({"", false, true});
      return;
    }
    const auto* map = std::get_if<flutter::EncodableMap>(&value);
    ASSERT_TRUE(map) << "neither a scan result nor null";
    ASSERT_EQ(map->size(), 2u);
    const auto* ip = flutter::Find(*map, channels::kScan.ipKey);
    const auto* success = flutter::Find(*map, channels::kScan.successKey);
    ASSERT_TRUE(ip && success && std::holds_alternative<std::string>(*ip) && std::holds_alternative<bool>(*success));
    events.push_back({std::get<std::string>(*ip), std::get<bool>(*success), false});
  }
  std::set<std::string> addressesWhere(bool answeredOnly) const {
    std::set<std::string> found;
    for (const auto& e : events) {
      if (!e.completion && (e.success || !answeredOnly)) found.insert(e.ip);
    }
    return found;
  }
};

}  // namespace discovery::testing
