#pragma once

#include <optional>
#include <string>

// Whether a program is safe to start at every login: an autostart entry runs it with the
// user's rights, so nobody else may be able to swap it. For the autostart adapter only.
namespace service_management::autostart {

// Why another user could replace `program` (an absolute path), or nothing when nobody but
// this user and root can. Both the path as given and the file it resolves to are checked:
// the program and every folder above it must belong to this user or to root, the program
// and its own folder may be written by nobody else (a copy run from /tmp is refused: other
// users may create files there), and any folder further up may be written by others only
// with the sticky bit (like /tmp), which keeps them from renaming what is not theirs.
// Reads file metadata only; any thread.
std::optional<std::string> whyOthersCouldReplace(const std::string& program);

}  // namespace service_management::autostart
