#pragma once

#include <functional>
#include <set>
#include <string>

#include "Runner/channels/channels.h"
#include "engine/messaging/interface_side.h"
#include "platform/dispatch/lifetime.h"

namespace built_in_interface {

// One address of a sweep as the scan channel reported it.
struct ScanResult {
  std::string ip;
  bool reachable = false;
  // Where it goes among the addresses of its kind (reachable or not) reported so far, so
  // that each list stays in address order (.2 before .10) as results arrive.
  int position = 0;
};

// Address order: dotted pieces compared one by one, numbers by value (192.0.2.2 before
// 192.0.2.10) and before any other text.
struct AddressOrder {
  bool operator()(const std::string& a, const std::string& b) const;
};

// What the "Scan network" action knows about the sweep it asked for, kept apart from how it
// is drawn. It listens on the scan channel only when asked to (the interface never scans by
// itself) and stops listening when asked to or once the sweep is complete.
//
// One sweep at a time: the channel starts a sweep per listen and every sweep still running
// reports to the newest listener, so a scan starts only while no sweep is in flight on the
// channel (its own earlier one, stopped but still running in the host, or a driver's) and
// while no other interface has taken over. A scan then sees its own sweep's events alone:
// its completion event ends it, and one that comes before any result is the host's answer
// that it found no local network to scan.
//
// Main thread only; the observer's callbacks run on it.
class ScanSession {
 public:
  enum class Phase {
    kIdle,       // nothing asked yet
    kScanning,   // listening, results coming
    kComplete,   // every address reported
    kStopped,    // the person stopped listening before the end
    kFailed,     // the listen was refused or the stream broke off
    kNoNetwork,  // the host found no local network to scan
  };

  struct Observer {
    std::function<void()> onReset;                    // a new scan began: forget the shown results
    std::function<void(const ScanResult&)> onResult;  // one new address, in arrival order
    std::function<void()> onStatus;                   // phase, counts or problem changed
  };

  explicit ScanSession(engine::messaging::InterfaceSide& interface);
  ~ScanSession();
  ScanSession(const ScanSession&) = delete;
  ScanSession& operator=(const ScanSession&) = delete;

  void setObserver(Observer observer) { observer_ = std::move(observer); }

  // Whether start() would start a scan now.
  bool canStart() const;
  // Listens, when canStart().
  void start();
  // Stops listening; the sweep itself runs on in the host, unseen, and the next scan can
  // start once it has ended.
  void stop();

  Phase phase() const { return phase_; }
  bool listening() const { return phase_ == Phase::kScanning; }
  int resultCount() const { return static_cast<int>(reachable_.size() + silent_.size()); }
  int reachableCount() const { return static_cast<int>(reachable_.size()); }
  // Why the scan failed, or what went wrong on the way (an error event); empty otherwise.
  const std::string& problem() const { return problem_; }

 private:
  void onEvent(const engine::messaging::StreamEvent& event);
  void onResult(const flutter::EncodableValue& value);
  void onListenReply(const flutter::FlutterReply& reply, uint64_t generation);
  void setPhase(Phase phase);
  void notifyStatus();

  engine::messaging::InterfaceSide& interface_;
  Observer observer_;
  Phase phase_ = Phase::kIdle;
  std::set<std::string, AddressOrder> reachable_;
  std::set<std::string, AddressOrder> silent_;
  std::string problem_;
  // Tells the reply to an old listen from the reply to the newest one.
  uint64_t generation_ = 0;
  dispatch::Lifetime lifetime_;
};

}  // namespace built_in_interface
