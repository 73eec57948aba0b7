#pragma once

#include <memory>
#include <string>

namespace system_log {

// A log handle for one subsystem and category. Any thread; writing never blocks for long
// and never fails visibly: a lost entry is not worth stopping the program for.
class Logger {
 public:
  virtual ~Logger() = default;
  Logger() = default;
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // Whether error-level entries are recorded at all; callers skip building them when not.
  virtual bool isErrorEnabled() const = 0;
  // One error-level entry with an already formatted message. Never ends the program.
  virtual void error(const std::string& message) = 0;
};

// Port: the system log. Any thread.
class SystemLog {
 public:
  virtual ~SystemLog() = default;
  SystemLog() = default;
  SystemLog(const SystemLog&) = delete;
  SystemLog& operator=(const SystemLog&) = delete;

  virtual std::unique_ptr<Logger> makeLogger(const std::string& subsystem, const std::string& category) = 0;
};

// The systemd journal: entries at priority 3 (error) with SUBSYSTEM and CATEGORY fields and
// the program's SYSLOG_IDENTIFIER. Where no journal listens (no socket, or sending fails),
// one readable line goes to `fallbackFd` instead:
//   <identifier>[<pid>]: error: [<subsystem>/<category>] <message>
// GLib's error level is not used: it aborts the program.
class JournalSystemLog : public SystemLog {
 public:
  struct Options {
    std::string syslogIdentifier = "tessra";
    std::string journalSocket = "/run/systemd/journal/socket";
    int fallbackFd = 2;  // standard error
    bool errorEnabled = true;
  };
  JournalSystemLog() = default;
  explicit JournalSystemLog(Options options) : options_(std::move(options)) {}

  std::unique_ptr<Logger> makeLogger(const std::string& subsystem, const std::string& category) override;

 private:
  Options options_;
};

}  // namespace system_log
