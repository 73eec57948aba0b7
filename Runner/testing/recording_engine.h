#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Runner/embedding/flutter_engine.h"
#include "Runner/embedding/flutter_view_controller.h"
#include "Runner/embedding/testing/recording_messenger.h"
#include "platform/appkit/ns_view.h"

namespace runner::testing {

// A messenger that also notes each handler it is given in a shared journal, as
// "handler <channel>" plus whatever `annotate` adds (for example the state of a window at
// that moment).
class JournalMessenger : public flutter::testing::RecordingMessenger {
 public:
  JournalMessenger(std::vector<std::string>& journal, std::function<std::string()> annotate)
      : journal_(journal), annotate_(std::move(annotate)) {}

  void setMessageHandler(const std::string& channel, flutter::BinaryMessageHandler handler) override {
    journal_.push_back("handler " + channel + (annotate_ ? annotate_() : ""));
    RecordingMessenger::setMessageHandler(channel, std::move(handler));
  }

 private:
  std::vector<std::string>& journal_;
  std::function<std::string()> annotate_;
};

// An engine whose messenger is a JournalMessenger and whose registrations go into the same
// journal as "registrar <key>". `destroyed` (optional) is set when the engine goes.
class RecordingEngine : public flutter::FlutterEngine {
 public:
  RecordingEngine(std::vector<std::string>& journal, std::function<std::string()> annotate = {},
                  bool* destroyed = nullptr)
      : journal_(journal), messenger(journal, std::move(annotate)), destroyed_(destroyed) {}
  ~RecordingEngine() override {
    if (destroyed_) *destroyed_ = true;
  }

  flutter::FlutterBinaryMessenger& binaryMessenger() override { return messenger; }
  appkit::NSView& view() override { return view_; }
  void notePluginRegistered(const std::string& key) override { journal_.push_back("registrar " + key); }

 private:
  class PlainView : public appkit::NSView {};
  std::vector<std::string>& journal_;

 public:
  JournalMessenger messenger;

 private:
  PlainView view_;
  bool* destroyed_;
};

// Installs an engine factory for the lifetime of the object that makes RecordingEngines,
// and remembers the last one made.
class ScopedRecordingEngineFactory {
 public:
  ScopedRecordingEngineFactory(std::vector<std::string>& journal, std::function<std::string()> annotate = {}) {
    flutter::FlutterViewController::setEngineFactory([this, &journal, annotate]() {
      auto engine = std::make_unique<RecordingEngine>(journal, annotate, &lastEngineDestroyed);
      lastEngineDestroyed = false;
      lastEngine = engine.get();
      return engine;
    });
  }
  ~ScopedRecordingEngineFactory() { flutter::FlutterViewController::setEngineFactory({}); }
  ScopedRecordingEngineFactory(const ScopedRecordingEngineFactory&) = delete;
  ScopedRecordingEngineFactory& operator=(const ScopedRecordingEngineFactory&) = delete;

  RecordingEngine* lastEngine = nullptr;
  bool lastEngineDestroyed = false;
};

}  // namespace runner::testing
