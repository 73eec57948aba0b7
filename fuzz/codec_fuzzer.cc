// Feeds arbitrary bytes to the standard codec the way the interface's messages reach the
// host: as a plain message, as a method call and as a reply envelope. Decoding must refuse
// or succeed without crashing, within about one value of heap per input byte, and whatever
// it accepts must come out of a second encoding pass exactly as it went in.
#include <sanitizer/allocator_interface.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "Runner/embedding/standard_codec.h"

namespace {

// The heap bytes live while one input is decoded, through the sanitizer's allocation hooks.
// Reservations that are never touched do not show in the resident size that libFuzzer
// watches, so over-reserving needs counting of its own.
namespace heap {
bool counting = false;
int64_t live = 0;
int64_t peak = 0;

void onMalloc(const volatile void*, size_t size) {
  if (!counting) return;
  live += static_cast<int64_t>(size);
  if (live > peak) peak = live;
}
void onFree(const volatile void* block) {
  if (counting) live -= static_cast<int64_t>(__sanitizer_get_allocated_size(const_cast<const void*>(block)));
}

template <typename Decode>
auto measured(const char* what, size_t inputSize, Decode decode) {
  live = peak = 0;
  counting = true;
  auto decoded = decode();
  counting = false;
  // One value per byte at most, and room for an error text.
  const auto bound = static_cast<int64_t>(sizeof(flutter::EncodableValue) * inputSize) + 4096;
  if (peak > bound) {
    std::fprintf(stderr, "%s: decoding %zu bytes took %lld bytes of heap\n", what, inputSize,
                 static_cast<long long>(peak));
    std::abort();
  }
  return decoded;
}
}  // namespace heap

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
  auto decoded = heap::measured("message", bytes.size(), [&] { return StandardMessageCodec::decodeMessage(bytes); });
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
  auto decoded =
      heap::measured("method call", bytes.size(), [&] { return StandardMethodCodec::decodeMethodCall(bytes); });
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
  auto decoded = heap::measured("reply", bytes.size(), [&] { return StandardMethodCodec::decodeReply(bytes); });
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

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  __sanitizer_install_malloc_and_free_hooks(heap::onMalloc, heap::onFree);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const ByteView bytes(data, size);
  message(bytes);
  methodCall(bytes);
  reply(bytes);
  return 0;
}
