#include "platform/service_management/desktop_entry_exec.h"

namespace service_management::exec {
namespace {

bool isReserved(char c) {
  static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  return kReserved.find(c) != std::string_view::npos;
}

bool takesBackslashInQuotes(char c) { return c == '"' || c == '`' || c == '$' || c == '\\'; }

}  // namespace

std::string quoteArgument(std::string_view argument) {
  bool quote = argument.empty();
  for (char c : argument) quote = quote || isReserved(c);
  std::string out;
  if (quote) out += '"';
  for (char c : argument) {
    if (c == '%') {
      out += "%%";
      continue;
    }
    if (quote && takesBackslashInQuotes(c)) out += '\\';
    out += c;
  }
  if (quote) out += '"';
  return out;
}

std::string commandLine(const std::vector<std::string>& arguments) {
  std::string out;
  for (const auto& argument : arguments) {
    if (!out.empty()) out += ' ';
    out += quoteArgument(argument);
  }
  return out;
}

std::optional<std::vector<std::string>> parseCommandLine(std::string_view value) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false;
  bool inQuotes = false;
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == '%') {
      if (i + 1 >= value.size()) return std::nullopt;
      char next = value[++i];
      if (next == '%') {
        current += '%';
      } else {
        current += '%';
        current += next;
      }
      inArgument = true;
      continue;
    }
    if (inQuotes) {
      if (c == '"') {
        inQuotes = false;
      } else if (c == '\\') {
        if (i + 1 >= value.size() || !takesBackslashInQuotes(value[i + 1])) return std::nullopt;
        current += value[++i];
      } else {
        current += c;
      }
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inArgument) arguments.push_back(std::move(current));
      current.clear();
      inArgument = false;
    } else if (c == '"') {
      inQuotes = true;
      inArgument = true;
    } else {
      current += c;
      inArgument = true;
    }
  }
  if (inQuotes) return std::nullopt;
  if (inArgument) arguments.push_back(std::move(current));
  return arguments;
}

}  // namespace service_management::exec
