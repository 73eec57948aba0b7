#include <systemd/sd-journal.h>
#include <unistd.h>

#include <string>

#include "platform/process/retry_on_eintr.h"
#include "platform/system_log/system_log.h"

namespace system_log {
namespace {

void writeAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = process::retryOnEintr([&] { return ::write(fd, text.data() + done, text.size() - done); });
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

class JournalLogger : public Logger {
 public:
  JournalLogger(JournalSystemLog::Options options, std::string subsystem, std::string category)
      : options_(std::move(options)), subsystem_(std::move(subsystem)), category_(std::move(category)) {}

  bool isErrorEnabled() const override { return options_.errorEnabled; }

  void error(const std::string& message) override {
    if (!options_.errorEnabled) return;
    // Without a listening journal sd_journal_send fails anyway; checking first keeps the
    // common fallback case from creating a socket at all.
    if (::access(options_.journalSocket.c_str(), W_OK) == 0 && sendToJournal(message)) return;
    writeAll(options_.fallbackFd, options_.syslogIdentifier + "[" + std::to_string(::getpid()) + "]: error: [" +
                                      subsystem_ + "/" + category_ + "] " + message + "\n");
  }

 private:
  bool sendToJournal(const std::string& message) const {
    // sd_journal_send always talks to the system's socket; a different socket path is only
    // ever used to force the fallback in tests.
    if (options_.journalSocket != "/run/systemd/journal/socket") return false;
    return sd_journal_send("MESSAGE=%s", message.c_str(), "PRIORITY=3", "SUBSYSTEM=%s", subsystem_.c_str(),
                           "CATEGORY=%s", category_.c_str(), "SYSLOG_IDENTIFIER=%s", options_.syslogIdentifier.c_str(),
                           nullptr) >= 0;
  }

  JournalSystemLog::Options options_;
  std::string subsystem_;
  std::string category_;
};

}  // namespace

std::unique_ptr<Logger> JournalSystemLog::makeLogger(const std::string& subsystem, const std::string& category) {
  return std::make_unique<JournalLogger>(options_, subsystem, category);
}

}  // namespace system_log
