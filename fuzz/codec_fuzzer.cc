// Feeds arbitrary bytes to the standard codec the way the interface's messages reach the
// host: as a plain message, as a method call and as a reply envelope. Decoding must refuse
// or succeed without crashing, and whatever it accepts must come out of a second encoding
// pass exactly as it went in.
#include <cstdint>
#include <cstdlib>
#include <cstdio>

#include "Runner/embedding/standard_codec.h"

namespace {

using flutter::ByteView;
using flutter::Bytes;
using flutter::StandardMessageCodec;
using flutter::StandardMethodCodec;

// Bytes are compared rather than values: a NaN inside a decoded value is never equal to
// itself, but it encodes to the same bytes every time.
void expectStable(const Bytes& once, const Bytes& twice, const char* what) {
  if (once != twice) {
    std::fprintf(stderr, "%s: re-encoding a decoded value changed its bytes\n", what);
    std::abort();
  }
}

void message(ByteView bytes) {
  auto decoded = StandardMessageCodec::decodeMessage(bytes);
  if (!decoded) return;
  const Bytes once = StandardMessageCodec::encodeMessage(decoded.value());
  auto again = StandardMessageCodec::decodeMessage(once);
  if (!again) {
    std::fprintf(stderr, "message: own encoding refused: %s\n", again.error().c_str());
    std::abort();
  }
  expectStable(once, StandardMessageCodec::encodeMessage(again.value()), "message");
}

void methodCall(ByteView bytes) {
  auto decoded = StandardMethodCodec::decodeMethodCall(bytes);
  if (!decoded) return;
  const Bytes once = StandardMethodCodec::encodeMethodCall(decoded.value());
  auto again = StandardMethodCodec::decodeMethodCall(once);
  if (!again) {
    std::fprintf(stderr, "method call: own encoding refused: %s\n", again.error().c_str());
    std::abort();
  }
  expectStable(once, StandardMethodCodec::encodeMethodCall(again.value()), "method call");
}

void reply(ByteView bytes) {
  auto decoded = StandardMethodCodec::decodeReply(bytes);
  if (!decoded) return;
  const Bytes once = StandardMethodCodec::encodeReply(decoded.value());
  auto again = StandardMethodCodec::decodeReply(once);
  if (!again) {
    std::fprintf(stderr, "reply: own encoding refused: %s\n", again.error().c_str());
    std::abort();
  }
  expectStable(once, StandardMethodCodec::encodeReply(again.value()), "reply");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ByteView bytes(data, size);
  message(bytes);
  methodCall(bytes);
  reply(bytes);
  return 0;
}
