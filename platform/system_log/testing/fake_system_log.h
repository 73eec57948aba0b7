#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/system_log/system_log.h"

namespace system_log::testing {

// Captures entries; `errorEnabled` switches the error level off for every logger.
class FakeSystemLog : public SystemLog {
 public:
  struct Entry {
    std::string subsystem;
    std::string category;
    std::string message;
  };
  std::vector<Entry> entries;
  bool errorEnabled = true;
  int loggersMade = 0;

  std::unique_ptr<Logger> makeLogger(const std::string& subsystem, const std::string& category) override {
    ++loggersMade;
    return std::make_unique<FakeLogger>(*this, subsystem, category);
  }

 private:
  class FakeLogger : public Logger {
   public:
    FakeLogger(FakeSystemLog& log, std::string subsystem, std::string category)
        : log_(log), subsystem_(std::move(subsystem)), category_(std::move(category)) {}
    bool isErrorEnabled() const override { return log_.errorEnabled; }
    void error(const std::string& message) override { log_.entries.push_back({subsystem_, category_, message}); }

   private:
    FakeSystemLog& log_;
    std::string subsystem_;
    std::string category_;
  };
};

}  // namespace system_log::testing
