#include "platform/flutter_engine/built_in/scan_session.h"

#include "platform/flutter_engine/built_in/reply_problem.h"

namespace engine::built_in {

ScanSession::ScanSession(InterfaceSide& interface) : interface_(interface) {}

ScanSession::~ScanSession() {
  // Leave no subscription behind that nobody reads.
  if (listening()) interface_.cancel(kChannel, flutter::EncodableValue(), {});
}

void ScanSession::start() {
  seen_.clear();
  reachable_ = 0;
  problem_.clear();
  const uint64_t generation = ++generation_;
  phase_ = Phase::kScanning;
  if (observer_.onReset) observer_.onReset();
  notifyStatus();
  auto watch = lifetime_.watch();
  interface_.listen(
      kChannel, flutter::EncodableValue(),
      [this, watch](const StreamEvent& event) {
        if (Lifetime::alive(watch)) onEvent(event);
      },
      [this, watch, generation](const flutter::FlutterReply& reply) {
        if (Lifetime::alive(watch)) onListenReply(reply, generation);
      });
}

void ScanSession::stop() {
  if (!listening()) return;
  interface_.cancel(kChannel, flutter::EncodableValue(), {});
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

void ScanSession::onEvent(const StreamEvent& event) {
  if (phase_ != Phase::kScanning) return;
  switch (event.kind) {
    case StreamEvent::Kind::kValue:
      if (event.value.IsNull()) {
        if (resultCount() < kAddressCount) return;  // an earlier sweep's end
        interface_.cancel(kChannel, flutter::EncodableValue(), {});
        setPhase(Phase::kComplete);
      } else {
        onResult(event.value);
      }
      return;
    case StreamEvent::Kind::kError:
      // The sweep goes on; the error stays in view next to the progress.
      problem_ = event.error.message.empty() ? event.error.code : event.error.code + ": " + event.error.message;
      notifyStatus();
      return;
    case StreamEvent::Kind::kEndOfStream:
      problem_ = "the host ended the stream";
      setPhase(Phase::kFailed);
      return;
  }
}

void ScanSession::onResult(const flutter::EncodableValue& value) {
  const auto* map = std::get_if<flutter::EncodableMap>(&value);
  const flutter::EncodableValue* ip = map ? flutter::Find(*map, "ip") : nullptr;
  const flutter::EncodableValue* success = map ? flutter::Find(*map, "success") : nullptr;
  const auto* ipText = ip ? std::get_if<std::string>(ip) : nullptr;
  const auto* reachable = success ? std::get_if<bool>(success) : nullptr;
  if (!ipText || !reachable) return;  // not a result this interface can show
  // With two sweeps reporting, an address comes twice; the first report stands.
  if (!seen_.insert(*ipText).second) return;
  if (*reachable) ++reachable_;
  if (observer_.onResult) observer_.onResult(ScanResult{*ipText, *reachable});
  notifyStatus();
}

void ScanSession::setPhase(Phase phase) {
  phase_ = phase;
  notifyStatus();
}

void ScanSession::notifyStatus() {
  if (observer_.onStatus) observer_.onStatus();
}

}  // namespace engine::built_in
