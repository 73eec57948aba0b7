#include "Runner/embedding/method_result.h"

#include <gtest/gtest.h>

#include "Runner/embedding/testing/log_capture.h"

namespace flutter {
namespace {

using testing::EmbeddingLogCapture;

TEST(FlutterResult, CopiesShareOneAnswer) {
  EmbeddingLogCapture log;
  std::vector<FlutterReply> delivered;
  FlutterResult result("m", [&](FlutterReply reply) { delivered.push_back(std::move(reply)); });
  FlutterResult copy = result;
  EXPECT_FALSE(copy.answered());
  result(EncodableValue(true));
  EXPECT_TRUE(copy.answered());
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0], FlutterReply(EncodableValue(true)));
  EXPECT_TRUE(log.lines.empty());
}

TEST(FlutterResult, ASecondAnswerIsCaught) {
  std::vector<FlutterReply> delivered;
  FlutterResult result("twice", [&](FlutterReply reply) { delivered.push_back(std::move(reply)); });
  result(FlutterMethodNotImplemented);
#ifndef NDEBUG
  EXPECT_DEATH(result(EncodableValue(false)), "answered twice");
#else
  EmbeddingLogCapture log;
  result(EncodableValue(false));
  EXPECT_TRUE(log.contains("\"twice\" answered twice"));
#endif
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0], FlutterReply(FlutterMethodNotImplemented));
}

TEST(FlutterResult, DroppingTheLastCopyUnansweredIsLogged) {
  EmbeddingLogCapture log;
  bool delivered = false;
  {
    FlutterResult result("forgotten", [&](FlutterReply) { delivered = true; });
    FlutterResult copy = result;
  }
  EXPECT_FALSE(delivered);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_TRUE(log.contains("\"forgotten\" was dropped without an answer"));

  // The caller chose the name: it cannot forge a line of the log.
  {
    FlutterResult result("x\ntessra: forged", [](FlutterReply) {});
  }
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_EQ(log.lines[1], "method call \"x\\x0atessra: forged\" was dropped without an answer");
}

}  // namespace
}  // namespace flutter
