// tessra-child-launcher: makes the host's children on its behalf, from a scheduling group of
// its own (see child_launcher_process.h). Started by the host with the socket it talks over
// as descriptor 3; reads requests from it, starts each child with the clone launcher, and
// answers once each child has ended. When the host closes its end (or is gone), it takes no
// more requests, waits for the children still running, answers for them, and exits.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/process/clone_launcher.h"
#include "platform/process/descriptor_limit.h"
#include "platform/process/launch_messages.h"
#include "platform/process/own_scheduling_group.h"
#include "platform/process/retry_on_eintr.h"

namespace {

constexpr int kHostSocket = 3;
// How a child that could not be made is answered: as a failed exec.
constexpr process::Termination kNotStarted{false, 127};

// One packet per answer, sent from the reaper's thread: gathering answers on a thread of
// their own to send several to a packet cost more processor than it saved.
void answer(uint64_t id, process::Termination termination) {
  const std::string reply = process::encodeReply({id, termination});
  // A host that has gone no longer wants it.
  process::retryOnEintr([&] { return send(kHostSocket, reply.data(), reply.size(), MSG_NOSIGNAL); });
}

}  // namespace

int main() {
  close_range(kHostSocket + 1, ~0U, 0);
  signal(SIGPIPE, SIG_IGN);
  process::enterOwnSchedulingGroup();
  process::raiseDescriptorLimit();
  process::reserveDescriptorTable();
  {
    process::CloneLauncher launcher;
    // One byte more than the largest packet, so that a larger one shows as too large.
    std::vector<char> buffer(process::kMaxPacketBytes + 1);
    for (;;) {
      const ssize_t received =
          process::retryOnEintr([&] { return recv(kHostSocket, buffer.data(), buffer.size(), MSG_TRUNC); });
      if (received <= 0) break;  // the host closed its end, or is gone
      const std::string_view packet(buffer.data(), std::min(buffer.size(), static_cast<size_t>(received)));
      for (auto& [id, request] : process::decodeRequests(packet)) {
        const bool started = request && !launcher.launch(request->path, request->arguments,
                                                         [id = id](process::Termination t) { answer(id, t); });
        if (!started) answer(id, kNotStarted);
      }
    }
  }  // waits for every child still running; each is answered
  return 0;
}
