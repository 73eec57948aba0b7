#pragma once

#include <string>
#include <vector>

#include "Runner/embedding/stream_handler.h"

namespace dispatch {
class MainQueue;
}
namespace process {
class ProcessLauncher;
}

namespace discovery {

// The system ping utility (iputils) and the arguments of one probe, before the address:
// one echo request, waiting one second for the reply.
inline constexpr const char* kPingPath = "/usr/bin/ping";
inline const std::vector<std::string> kPingArguments = {"-c", "1", "-W", "1"};

// The ping sweep: one ping child per address, all at once, and one scan result per address
// as its child ends ({"ip", "success"}: whether the ping got a reply), then the completion
// null once every address has reported. A sweep is not tied to whoever receives its events:
// nothing stops its children. Called on the main thread; the children end on a thread of the
// launcher, and every event is delivered on the main thread, through the main queue.
class PingSweep {
 public:
  PingSweep(process::ProcessLauncher& processes, dispatch::MainQueue& mainQueue)
      : processes_(processes), mainQueue_(mainQueue) {}
  PingSweep(const PingSweep&) = delete;
  PingSweep& operator=(const PingSweep&) = delete;

  // Pings baseIp + n for n in [start, end]. Every child has been launched, and every refused
  // launch reported through `deliver` (as a failed result), when this returns; the other
  // results and the completion come later. `deliver`, with whatever it holds, is kept until
  // the sweep has reported its completion; this object need not live that long.
  void run(const std::string& baseIp, int start, int end, flutter::FlutterEventSink deliver) const;

 private:
  process::ProcessLauncher& processes_;
  dispatch::MainQueue& mainQueue_;
};

}  // namespace discovery
