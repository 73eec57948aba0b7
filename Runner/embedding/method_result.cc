#include "Runner/embedding/method_result.h"

#include <cassert>
#include <string>

#include "Runner/embedding/embedding_log.h"
#include "Runner/embedding/printable_name.h"

namespace flutter {

// Shared by every copy of one FlutterResult: the answer goes out once, and when the last
// copy goes away without having answered, the interface would wait forever, so say so.
struct FlutterResult::State {
  std::string method;
  Deliver deliver;
  bool answered = false;

  State(std::string method, Deliver deliver) : method(std::move(method)), deliver(std::move(deliver)) {}
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() {
    if (!answered) logEmbeddingProblem("method call \"" + printableName(method) + "\" was dropped without an answer");
  }
};

FlutterResult::FlutterResult(std::string method, Deliver deliver)
    : state_(std::make_shared<State>(std::move(method), std::move(deliver))) {}

void FlutterResult::operator()(FlutterReply reply) const {
  if (state_->answered) {
    assert(!"a method call was answered twice");
    logEmbeddingProblem("method call \"" + printableName(state_->method) +
                        "\" answered twice; the second answer is ignored");
    return;
  }
  state_->answered = true;
  // Released before delivering: the reply may run code that drops the last reference.
  Deliver deliver = std::move(state_->deliver);
  if (deliver) deliver(std::move(reply));
}

bool FlutterResult::answered() const { return state_->answered; }

}  // namespace flutter
