#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The Exec key of a desktop entry: one command line, quoted by the Desktop Entry rules.
// These functions work on the key's value as the key-file layer hands it out, i.e. after
// the file format's own string escapes (a literal backslash is "\\" in the value and
// "\\\\" in the file); GKeyFile adds and removes that layer.
namespace service_management::exec {

// One argument, quoted only when it must be: an argument holding a reserved character
// (space, tab, newline, " ' \ > < ~ | & ; $ * ? # ( ) or a backtick) goes in double quotes,
// inside which " ` $ and \ take a backslash. A percent sign is doubled everywhere, since a
// single one starts a field code. An empty argument becomes "".
//
// A backslash in the path is written as the rules demand and read back correctly by
// GLib-based sessions (GNOME) and KDE; systemd 252's xdg-autostart generator misreads it,
// so under that generator such a program does not start. Nothing better can be written: any
// other form is wrong for everybody else.
std::string quoteArgument(std::string_view argument);

// Arguments joined by single spaces, each quoted as above.
std::string commandLine(const std::vector<std::string>& arguments);

// Splits an Exec value back into its arguments, undoing quoting and doubled percent signs;
// field codes (%f, %U, ...) come back as written. Nothing when the value is malformed: an
// unterminated quote, a backslash inside quotes before anything but " ` $ \, or a single
// percent sign at the end.
std::optional<std::vector<std::string>> parseCommandLine(std::string_view value);

}  // namespace service_management::exec
