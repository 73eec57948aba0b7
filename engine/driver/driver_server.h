#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "engine/messaging/interface_side.h"

namespace engine::driver {

// The driver endpoint: a Unix stream socket through which a test or tool plays the
// interface, with the line protocol of driver_protocol.h. Served by GIO in the default
// main context (the main thread), so it needs a running GLib main loop.
//
// Only the application's own user may attach (checked on the peer's credentials); anyone
// else gets one "forbidden" line and is closed. One client at a time: while one is
// attached, another connection is answered with a "busy" line and closed. While a client
// is attached it receives every host-to-interface call (which the engine answers with
// null on its behalf) and the built-in interface does not see them. When the client goes
// away, its listens are cancelled and the calls go back to the built-in interface; the
// host notices nothing else. A client that only shuts down its sending side stays
// attached and keeps receiving answers and events until it closes its reading side or a
// write to it fails.
//
// Nothing a client does can make the engine hold more than a bounded amount for it. The
// server stops reading while more than kDriverHighWater bytes are owed to the client
// (lines not yet written to it, plus the lines of its requests the host has not answered
// yet) or kMaxDriverPendingRequests requests await answers, and reads on once what it owes
// has drained to half of that. Events keep coming meanwhile and are never dropped on
// their own: when more than kDriverUnsentCap bytes wait to be written, the client is
// dropped as a whole (one line on standard error, its listens cancelled as on any
// departure).
inline constexpr size_t kDriverHighWater = 256 * 1024;
inline constexpr size_t kMaxDriverPendingRequests = 64;
inline constexpr size_t kDriverUnsentCap = 8 * 1024 * 1024;
// A listen on a sweep channel (InterfaceSide::declareSweepChannel: the scan channel, where
// each listen starts 254 pings) is refused with a "too-many-sweeps" error while this many
// sweeps have not sent their completion null. Two: an interface needs one, and the
// channel's own "listen again while a sweep runs" needs a second; each sweep holds up to
// 254 children with two descriptors each and keeps the main thread busy for its launch
// loop, so the next listen waits for a null rather than stacking up more.
inline constexpr size_t kMaxDriverSweeps = 2;

class DriverServer {
 public:
  // Creates the socket at `path` (see DriverSocketFile: mode 0600, a stale socket file
  // replaced, anything else left alone) and starts serving. On failure returns nullptr
  // and says why in `whyNot`.
  static std::unique_ptr<DriverServer> start(const std::string& path, messaging::InterfaceSide& interface,
                                             std::string& whyNot);
  // Closes the client, stops serving and removes the socket file it created.
  ~DriverServer();
  DriverServer(const DriverServer&) = delete;
  DriverServer& operator=(const DriverServer&) = delete;

  bool hasClient() const;
  const std::string& path() const;

  struct Impl;
  // For start() only.
  explicit DriverServer(std::unique_ptr<Impl> impl);

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace engine::driver
