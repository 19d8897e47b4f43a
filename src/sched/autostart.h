// "At logon" tasks: XDG autostart entries, one NAME.desktop file each in
// $XDG_CONFIG_HOME/autostart (default ~/.config/autostart).
#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sched/task_command.h"

namespace sched {

struct AutostartEntry {
    std::wstring comment;
    bool enabled = true;  // false: Hidden=true
    TaskCommand command;  // Exec= and Path=
    friend bool operator==(const AutostartEntry&, const AutostartEntry&) = default;
};

std::filesystem::path autostart_folder();

// The entry's file text, and the entry back from one; nullopt for a text
// without a [Desktop Entry] that runs a program.
std::string desktop_entry_text(const std::wstring& name, const AutostartEntry& entry);
std::optional<AutostartEntry> parse_desktop_entry(std::string_view text);

// nullopt when there is no such entry; std::runtime_error when there is one
// that cannot be read.
std::optional<AutostartEntry> read_autostart(const std::wstring& name);
// Writes the entry atomically, making the folder when it is missing;
// std::runtime_error on failure.
void write_autostart(const std::wstring& name, const AutostartEntry& entry);
// False when there was none; std::runtime_error when it cannot be removed.
bool remove_autostart(const std::wstring& name);
// The names of the entries, in name order.
std::vector<std::wstring> autostart_names();

}  // namespace sched
