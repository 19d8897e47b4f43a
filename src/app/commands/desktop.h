// What a backup does on the user's desktop when it has finished: the new
// archive shown in the file manager, and the user's own follow-up command.
#pragma once
#include <string>

namespace bk {

// Asks the file manager over D-Bus (org.freedesktop.FileManager1.ShowItems)
// to open the folder of path with the file selected; when no file manager
// answers, opens the folder with xdg-open, not waited for. False when nothing
// could be asked to show it. Nothing is reported to the user either way.
bool show_in_file_manager(const std::wstring& path);

// Starts command as /bin/sh -c command in folder and does not wait for it: a
// command typed by a user is a shell command here. False when the shell could
// not be started; what the command itself does is not looked at.
bool start_shell_command(const std::wstring& command, const std::wstring& folder);

}  // namespace bk
