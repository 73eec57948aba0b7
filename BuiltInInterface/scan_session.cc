#include "BuiltInInterface/scan_session.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "BuiltInInterface/reply_problem.h"

namespace built_in_interface {

namespace {

bool isNumber(std::string_view piece) {
  return !piece.empty() && piece.find_first_not_of("0123456789") == std::string_view::npos;
}

// Negative, zero or positive as a sorts before, with or after b.
int compareNumbers(std::string_view a, std::string_view b) {
  a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
  b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

}  // namespace

bool AddressOrder::operator()(const std::string& a, const std::string& b) const {
  std::string_view restA = a, restB = b;
  while (!restA.empty() && !restB.empty()) {
    const std::string_view pieceA = restA.substr(0, restA.find('.'));
    const std::string_view pieceB = restB.substr(0, restB.find('.'));
    // Numbers before anything else, so that the order stays consistent for any text.
    const bool numberA = isNumber(pieceA), numberB = isNumber(pieceB);
    if (numberA != numberB) return numberA;
    const int order = numberA ? compareNumbers(pieceA, pieceB) : pieceA.compare(pieceB);
    if (order != 0) return order < 0;
    restA.remove_prefix(std::min(pieceA.size() + 1, restA.size()));
    restB.remove_prefix(std::min(pieceB.size() + 1, restB.size()));
  }
  if (restA.empty() != restB.empty()) return restA.empty();
  return a < b;  // equal piece by piece ("1.02" and "1.2"): the text decides
}

ScanSession::ScanSession(engine::messaging::InterfaceSide& interface) : interface_(interface) {}

ScanSession::~ScanSession() {
  // Leave no subscription behind that nobody reads.
  if (listening()) interface_.cancel(channels::kScan.name, flutter::EncodableValue(), {});
}

bool ScanSession::canStart() const {
  return !listening() && !interface_.takenOver() && interface_.sweepsInFlight(channels::kScan.name) == 0;
}

void ScanSession::start() {
  if (!canStart()) return;
  reachable_.clear();
  silent_.clear();
  problem_.clear();
  const uint64_t generation = ++generation_;
  phase_ = Phase::kScanning;
  if (observer_.onReset) observer_.onReset();
  notifyStatus();
  auto watch = lifetime_.watch();
  interface_.listen(
      channels::kScan.name, flutter::EncodableValue(),
      [this, watch](const engine::messaging::StreamEvent& event) {
        if (dispatch::Lifetime::alive(watch)) onEvent(event);
      },
      [this, watch, generation](const flutter::FlutterReply& reply) {
        if (dispatch::Lifetime::alive(watch)) onListenReply(reply, generation);
      });
}

void ScanSession::stop() {
  if (!listening()) return;
  interface_.cancel(channels::kScan.name, flutter::EncodableValue(), {});
  setPhase(Phase::kStopped);
}

void ScanSession::onListenReply(const flutter::FlutterReply& reply, uint64_t generation) {
  // A refusal of an earlier listen says nothing about the newest one.
  if (generation != generation_ || phase_ != Phase::kScanning) return;
  if (auto problem = replyProblem(reply)) {
    problem_ = *problem;
    setPhase(Phase::kFailed);
  }
}

void ScanSession::onEvent(const engine::messaging::StreamEvent& event) {
  if (phase_ != Phase::kScanning) return;
  switch (event.kind) {
    case engine::messaging::StreamEvent::Kind::kValue:
      if (event.value.IsNull()) {
        // Ours alone (see start()): with nothing reported, the host had no network to sweep.
        interface_.cancel(channels::kScan.name, flutter::EncodableValue(), {});
        setPhase(resultCount() == 0 ? Phase::kNoNetwork : Phase::kComplete);
      } else {
        onResult(event.value);
      }
      return;
    case engine::messaging::StreamEvent::Kind::kError:
      // The sweep goes on; the error stays in view next to the progress.
      problem_ = event.error.message.empty() ? event.error.code : event.error.code + ": " + event.error.message;
      notifyStatus();
      return;
    case engine::messaging::StreamEvent::Kind::kEndOfStream:
      if (interface_.takenOver()) {
        setPhase(Phase::kStopped);  // a driver's listen took the stream
        return;
      }
      problem_ = "the host ended the stream";
      setPhase(Phase::kFailed);
      return;
  }
}

void ScanSession::onResult(const flutter::EncodableValue& value) {
  const auto* map = std::get_if<flutter::EncodableMap>(&value);
  const flutter::EncodableValue* ip = map ? flutter::Find(*map, channels::kScan.ipKey) : nullptr;
  const flutter::EncodableValue* success = map ? flutter::Find(*map, channels::kScan.successKey) : nullptr;
  const auto* ipText = ip ? std::get_if<std::string>(ip) : nullptr;
  const auto* reachable = success ? std::get_if<bool>(success) : nullptr;
  if (!ipText || !reachable) return;  // not a result this interface can show
  // An address reported twice is shown once; the first report stands.
  if (reachable_.count(*ipText) || silent_.count(*ipText)) return;
  auto& kind = *reachable ? reachable_ : silent_;
  const auto inserted = kind.insert(*ipText).first;
  const int position = static_cast<int>(std::distance(kind.begin(), inserted));
  if (observer_.onResult) observer_.onResult(ScanResult{*ipText, *reachable, position});
  notifyStatus();
}

void ScanSession::setPhase(Phase phase) {
  phase_ = phase;
  notifyStatus();
}

void ScanSession::notifyStatus() {
  if (observer_.onStatus) observer_.onStatus();
}

}  // namespace built_in_interface
