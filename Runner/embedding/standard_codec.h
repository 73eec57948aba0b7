#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "Runner/embedding/encodable_value.h"
#include "Runner/embedding/flutter_error.h"
#include "Runner/embedding/method_call.h"
#include "Runner/embedding/method_result.h"

namespace flutter {

// Either a decoded value or the reason the bytes were refused. Decoding never throws.
template <typename T>
class DecodeResult {
 public:
  DecodeResult(T value) : value_(std::move(value)) {}
  static DecodeResult failure(std::string error) {
    DecodeResult result;
    result.error_ = std::move(error);
    return result;
  }

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  // Empty when ok().
  const std::string& error() const { return error_; }

 private:
  DecodeResult() = default;
  std::optional<T> value_;
  std::string error_;
};

using Bytes = std::vector<uint8_t>;
using ByteView = std::span<const uint8_t>;

// Flutter's standard message codec: every value the interface and the host exchange, byte
// for byte as the engine's own codecs write it (host byte order; sizes of one, three or five
// bytes; float64 and typed lists aligned to their element size from the start of the whole
// message). Decoding refuses truncated input, unknown tags, sizes larger than what is left,
// strings that are not UTF-8, trailing bytes, and nesting deeper than kMaxNestingDepth.
// Lists and maps are checked against what the bytes left can hold before anything is
// reserved, so that no message makes the decoder allocate more than about one value
// (sizeof(EncodableValue), 56 bytes) per byte of the message.
class StandardMessageCodec {
 public:
  // Lists and maps nested deeper than this are refused, so hostile bytes cannot exhaust the
  // stack. Real channel traffic stays far below it.
  static constexpr int kMaxNestingDepth = 64;

  static Bytes encodeMessage(const EncodableValue& value);
  // An empty message is null: the interface sends no bytes for a null message.
  static DecodeResult<EncodableValue> decodeMessage(ByteView message);

  // Building blocks for the method codec: append one value to `out` (its alignment counts
  // from out's start), or read one from `message` at `offset`, advancing it.
  static void writeValue(Bytes& out, const EncodableValue& value);
  static DecodeResult<EncodableValue> readValue(ByteView message, size_t& offset);
};

// Flutter's standard method codec: method calls and the success and error envelopes of
// their replies (and of events), over the standard message codec.
class StandardMethodCodec {
 public:
  static Bytes encodeMethodCall(const FlutterMethodCall& call);
  static DecodeResult<FlutterMethodCall> decodeMethodCall(ByteView message);

  static Bytes encodeSuccessEnvelope(const EncodableValue& value);
  static Bytes encodeErrorEnvelope(const FlutterError& error);
  // A reply as it crosses: success or error envelope, or no bytes at all for "not
  // implemented".
  static Bytes encodeReply(const FlutterReply& reply);
  // The inverse of encodeReply. An error envelope's null message becomes an empty string;
  // an optional trailing stack trace is accepted and dropped.
  static DecodeResult<FlutterReply> decodeReply(ByteView envelope);
};

}  // namespace flutter
