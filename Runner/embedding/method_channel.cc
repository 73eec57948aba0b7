#include "Runner/embedding/method_channel.h"

#include "Runner/embedding/embedding_log.h"
#include "Runner/embedding/standard_codec.h"

namespace flutter {

FlutterMethodChannel FlutterMethodChannel::methodChannelWithName(const std::string& name,
                                                                 FlutterBinaryMessenger& messenger) {
  return FlutterMethodChannel(name, messenger);
}

void FlutterMethodChannel::setMethodCallHandler(FlutterMethodCallHandler handler) const {
  if (!handler) {
    messenger_->setMessageHandler(name_, {});
    return;
  }
  messenger_->setMessageHandler(
      name_, [name = name_, handler = std::move(handler)](const std::vector<uint8_t>& message, BinaryReply reply) {
        auto call = StandardMethodCodec::decodeMethodCall(message);
        if (!call) {
          logEmbeddingProblem("channel \"" + name + "\": undecodable method call dropped (" + call.error() + ")");
          // Answered as unknown so the caller is not left waiting for a reply that never comes.
          if (reply) reply({});
          return;
        }
        FlutterResult result(call.value().method(), [reply = std::move(reply)](FlutterReply answer) {
          if (reply) reply(StandardMethodCodec::encodeReply(answer));
        });
        handler(call.value(), std::move(result));
      });
}

void FlutterMethodChannel::invokeMethod(const std::string& method, const EncodableValue& arguments) const {
  messenger_->send(name_, StandardMethodCodec::encodeMethodCall(FlutterMethodCall(method, arguments)), {});
}

void FlutterMethodChannel::invokeMethod(const std::string& method, const EncodableValue& arguments,
                                        std::function<void(FlutterReply)> onReply) const {
  BinaryReply reply;
  if (onReply) {
    reply = [name = name_, method, onReply = std::move(onReply)](const std::vector<uint8_t>& bytes) {
      auto decoded = StandardMethodCodec::decodeReply(bytes);
      if (!decoded) {
        logEmbeddingProblem("channel \"" + name + "\": undecodable reply to \"" + method + "\" (" + decoded.error() +
                            ")");
        onReply(FlutterError{"undecodable-reply", decoded.error(), EncodableValue()});
        return;
      }
      onReply(std::move(decoded).value());
    };
  }
  messenger_->send(name_, StandardMethodCodec::encodeMethodCall(FlutterMethodCall(method, arguments)),
                   std::move(reply));
}

}  // namespace flutter
