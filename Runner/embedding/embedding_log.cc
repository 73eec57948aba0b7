#include "Runner/embedding/embedding_log.h"

#include <iostream>

namespace flutter {
namespace {

EmbeddingLogSink& installedSink() {
  static EmbeddingLogSink sink;
  return sink;
}

}  // namespace

void logEmbeddingProblem(const std::string& line) {
  if (const auto& sink = installedSink()) {
    sink(line);
    return;
  }
  // The embedding is the host's own layer and includes no GLib (the stand-in engine and the
  // adapters below it log through GLib's domains), so its lines go to standard error directly.
  std::cerr << "tessra: " << line << std::endl;
}

EmbeddingLogSink setEmbeddingLogSink(EmbeddingLogSink sink) {
  EmbeddingLogSink previous = std::move(installedSink());
  installedSink() = std::move(sink);
  return previous;
}

}  // namespace flutter
