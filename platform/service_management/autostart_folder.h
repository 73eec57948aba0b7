#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/service_management/service_management.h"
#include "platform/xdg/xdg_folders.h"

// The freedesktop.org autostart folders: <config home>/autostart for the user, then each
// <config dir>/autostart (by default /etc/xdg/autostart) for the system, of the XDG folders
// handed in. For one file name only the most important entry counts, the user's included
// when it hides a system entry. For the adapter only.
namespace service_management::autostart {

std::string userFolder(const xdg::Folders& folders);
std::vector<std::string> systemFolders(const xdg::Folders& folders);

// <desktop id>.desktop in the user folder (whether or not it exists).
std::string userEntryPath(const xdg::Folders& folders, const std::string& desktopId);
// The first system entry of that name.
std::optional<std::string> systemEntryPath(const xdg::Folders& folders, const std::string& desktopId);
// The entry that counts: the user's when it exists, else the first system one.
std::optional<std::string> effectiveEntryPath(const xdg::Folders& folders, const std::string& desktopId);

// What an entry means for the session: RequiresApproval when switched off (Hidden=true or
// X-GNOME-Autostart-enabled=false), NotFound when the program it names is gone (TryExec,
// then the first word of Exec) or the file cannot be read as an entry, Enabled otherwise.
// OnlyShowIn/NotShowIn are not looked at: they depend on the desktop of the next login.
SMAppServiceStatus statusOfEntry(const std::string& path);

// The effective entries of every file name across all folders, user folder first, each
// with its desktop file id (the file name without ".desktop").
struct EffectiveEntry {
  std::string desktopId;
  std::string path;
};
std::vector<EffectiveEntry> allEffectiveEntries(const xdg::Folders& folders);

// Writes the entry at `path` so that it starts `executable` with no arguments and is
// switched on, in one atomic replacement. Only our keys are set (Type, Name, Exec, TryExec,
// Terminal and the switches); whatever else an existing entry holds (a start-up delay, a
// comment, translations) is kept. Fails, writing nothing, for a path that is not UTF-8 or
// holds control characters (tab, newline, ...): no desktop entry can hold either; and for
// a program that other users could swap (see program_location.h).
//
// Where an entry is a link, writing it replaces the file it points to, atomically, and
// only when that file is this user's; otherwise nothing is written and the change fails.
ServiceOutcome writeEntryForProgram(const std::string& path, const std::string& name, const std::string& executable);
// Copies the entry at `from` to `to` with the switches set for `enabled`.
ServiceOutcome writeSwitchedCopy(const std::string& from, const std::string& to, bool enabled);
// Removes the file; a missing file is success. An entry that is a link stays one and is
// switched off instead.
ServiceOutcome removeEntry(const std::string& path);

}  // namespace service_management::autostart
