#pragma once

#include <memory>
#include <string>

#include "Runner/embedding/binary_messenger.h"
#include "Runner/embedding/stream_handler.h"

namespace flutter {

// A named event channel over a messenger. The interface's "listen" and "cancel" calls reach
// the stream handler; events go out as success envelopes on the same channel name. Like
// FlutterMethodChannel, the object is a handle and the installed handler outlives it.
// A sink handed out by one listen keeps working until the next cancel or listen; after
// that it drops what it is given (the interface is no longer listening through it).
// Main thread only.
class FlutterEventChannel {
 public:
  static FlutterEventChannel eventChannelWithName(const std::string& name, FlutterBinaryMessenger& messenger);

  // The channel shares ownership of the handler for the rest of the run.
  void setStreamHandler(std::shared_ptr<FlutterStreamHandler> handler) const;

  const std::string& name() const { return name_; }

 private:
  FlutterEventChannel(std::string name, FlutterBinaryMessenger& messenger)
      : name_(std::move(name)), messenger_(&messenger) {}

  std::string name_;
  FlutterBinaryMessenger* messenger_;
};

}  // namespace flutter
