#pragma once

#include <string>
#include <vector>

#include "Runner/embedding/embedding_log.h"

namespace flutter::testing {

// Collects the embedding's problem lines for the lifetime of the object.
class EmbeddingLogCapture {
 public:
  EmbeddingLogCapture() {
    previous_ = setEmbeddingLogSink([this](const std::string& line) { lines.push_back(line); });
  }
  ~EmbeddingLogCapture() { setEmbeddingLogSink(std::move(previous_)); }
  EmbeddingLogCapture(const EmbeddingLogCapture&) = delete;
  EmbeddingLogCapture& operator=(const EmbeddingLogCapture&) = delete;

  bool contains(const std::string& text) const {
    for (const auto& line : lines) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

  std::vector<std::string> lines;

 private:
  EmbeddingLogSink previous_;
};

}  // namespace flutter::testing
