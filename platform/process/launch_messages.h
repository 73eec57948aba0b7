#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process/process_launcher.h"

namespace process {

// What the host and its child-launcher process (child_launcher_process.h) say to each other
// over a SOCK_SEQPACKET socket. The host asks for children; the launcher answers once for
// each, when that child has ended (or could not be made), under the request's id. A packet
// holds one message or more: the host sends as many requests to a packet as fit, so that a
// sweep's 254 cross in one; the launcher sends each answer as its child ends.
struct LaunchRequest {
  uint64_t id = 0;
  std::string path;
  std::vector<std::string> arguments;
};

struct LaunchReply {
  uint64_t id = 0;
  Termination termination;
};

// The largest packet either side sends or takes, and the largest request in it: a ping's
// request is under a hundred bytes.
inline constexpr size_t kMaxPacketBytes = 32 * 1024;
inline constexpr size_t kMaxRequestBytes = 16 * 1024;
inline constexpr size_t kReplyBytes = 8 + 1 + 4;

// The request framed for a packet (its length first), or nothing when it is larger than
// kMaxRequestBytes or a string holds a NUL (the child could not be given it). A packet is
// such requests back to back.
std::optional<std::string> encodeRequest(const LaunchRequest& request);

// A request of a packet, or, for one that is not whole, only its id, so that it can still
// be answered.
struct DecodedRequest {
  uint64_t id = 0;
  std::optional<LaunchRequest> request;
};
// The requests of a packet in order. Decoding stops at a frame too short to hold an id or
// running past the packet's end.
std::vector<DecodedRequest> decodeRequests(std::string_view packet);

// A packet of answers is replies back to back.
std::string encodeReply(const LaunchReply& reply);
// The replies of a packet in order; a broken tail is dropped.
std::vector<LaunchReply> decodeReplies(std::string_view packet);

}  // namespace process
