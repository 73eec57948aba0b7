#pragma once

#include <functional>
#include <string>

namespace flutter {

// Where the embedding reports what goes wrong on a channel (undecodable bytes, a reply
// given twice or never). Standard error by default, like the engine's own client wrapper;
// tests install a sink to look at the lines. Main thread only.
using EmbeddingLogSink = std::function<void(const std::string& line)>;

void logEmbeddingProblem(const std::string& line);
// Installs `sink` (an empty one restores standard error) and returns the previous one.
EmbeddingLogSink setEmbeddingLogSink(EmbeddingLogSink sink);

}  // namespace flutter
