#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "Runner/channels/channels.h"
#include "engine/stand_in_engine.h"
#include "platform/dispatch/testing/fake_main_queue.h"

namespace built_in_interface::testing {

// The built-in interface's surroundings over a fake main queue: a stand-in engine whose
// interface side it talks to, and the host's end of the same real channels, where tests
// register what the host would.
class InterfaceSideFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    standIn = std::make_unique<engine::StandInEngine>(
        queue, engine::StandInEngineOptions{std::nullopt, {}, {channels::kScan.name}});
  }
  flutter::FlutterBinaryMessenger& host() { return standIn->binaryMessenger(); }
  engine::messaging::InterfaceSide& ui() { return standIn->interfaceSide(); }
  void settle() { queue.runUntilIdle(); }

  dispatch::testing::FakeMainQueue queue;
  std::unique_ptr<engine::StandInEngine> standIn;
};

}  // namespace built_in_interface::testing
