#include "platform/process/launch_messages.h"

#include <cstring>

namespace process {
namespace {

// Both ends are the same build on the same machine, so numbers go in the machine's order.
template <typename Number>
void put(std::string& out, Number value) {
  char bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);
  out.append(bytes, sizeof value);
}

template <typename Number>
Number take(std::string_view& in) {
  Number value;
  std::memcpy(&value, in.data(), sizeof value);
  in.remove_prefix(sizeof value);
  return value;
}

// An id, then the path and each argument, each ended by a NUL.
std::optional<LaunchRequest> decodeBody(std::string_view body) {
  if (body.size() < sizeof(uint64_t) + 1 || body.back() != '\0') return std::nullopt;
  LaunchRequest request;
  request.id = take<uint64_t>(body);
  std::vector<std::string> strings;
  while (!body.empty()) {
    const size_t end = body.find('\0');
    strings.emplace_back(body.substr(0, end));
    body.remove_prefix(end + 1);
  }
  request.path = std::move(strings.front());
  request.arguments.assign(std::make_move_iterator(strings.begin() + 1), std::make_move_iterator(strings.end()));
  return request;
}

}  // namespace

std::optional<std::string> encodeRequest(const LaunchRequest& request) {
  std::string out;
  put(out, uint32_t{0});  // the length, once known
  put(out, request.id);
  auto add = [&out](const std::string& text) {
    if (text.find('\0') != std::string::npos) return false;
    out.append(text).push_back('\0');
    return out.size() <= kMaxRequestBytes;
  };
  if (!add(request.path)) return std::nullopt;
  for (const auto& argument : request.arguments) {
    if (!add(argument)) return std::nullopt;
  }
  const auto length = static_cast<uint32_t>(out.size() - sizeof(uint32_t));
  std::memcpy(out.data(), &length, sizeof length);
  return out;
}

std::vector<DecodedRequest> decodeRequests(std::string_view packet) {
  std::vector<DecodedRequest> requests;
  while (packet.size() >= sizeof(uint32_t)) {
    const uint32_t length = take<uint32_t>(packet);
    if (length < sizeof(uint64_t) || length > packet.size()) break;
    const std::string_view body = packet.substr(0, length);
    packet.remove_prefix(length);
    std::string_view idBytes = body;
    requests.push_back({take<uint64_t>(idBytes), decodeBody(body)});
  }
  return requests;
}

std::string encodeReply(const LaunchReply& reply) {
  std::string out;
  put(out, reply.id);
  out.push_back(reply.termination.signaled ? 1 : 0);
  put(out, static_cast<int32_t>(reply.termination.status));
  return out;
}

std::vector<LaunchReply> decodeReplies(std::string_view packet) {
  std::vector<LaunchReply> replies;
  while (packet.size() >= kReplyBytes) {
    LaunchReply reply;
    reply.id = take<uint64_t>(packet);
    reply.termination.signaled = packet.front() != 0;
    packet.remove_prefix(1);
    reply.termination.status = take<int32_t>(packet);
    replies.push_back(reply);
  }
  return replies;
}

}  // namespace process
