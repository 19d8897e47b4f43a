#include "app/commands/desktop.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "rkit/path.h"
#include "rkit/percent_encoding.h"
#include "rkit/text.h"

extern char** environ;

namespace bk {
namespace {

// Bounds every D-Bus call: the host's thread waits for it.
const char* const kDbusTimeoutSeconds = "5";

// Runs argv (looked up in PATH) in folder (empty: the current one) with the
// standard streams on /dev/null and waits for it. Its exit code, or -1 when it
// could not be started or did not exit normally.
int run_and_wait(const std::vector<std::string>& args, const std::string& folder) {
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());

    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;

    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Starts args through a shell that puts them in the background and ends at
// once, so the program is not waited for and leaves no child behind. "$@"
// keeps every argument as it is: nothing is parsed by the shell. False when
// the program is not there.
bool start_detached(const std::vector<std::string>& args, const std::string& folder) {
    std::vector<std::string> shell{"/bin/sh", "-c",
                                   "command -v \"$1\" >/dev/null || exit 127; \"$@\" </dev/null >/dev/null 2>&1 &",
                                   "sh"};
    shell.insert(shell.end(), args.begin(), args.end());
    return run_and_wait(shell, folder) == 0;
}

// file:// URI of an absolute path: every byte but the unreserved ones and
// "/" percent-encoded, so that the URI also survives GVariant text quoting
// and the comma-separated arrays of dbus-send.
std::string file_uri(const std::string& path) { return "file://" + rkit::percent_encode(path, "/"); }

bool ask_file_manager(const std::string& uri) {
    const int by_gdbus = run_and_wait({"gdbus", "call", "--session", "--timeout", kDbusTimeoutSeconds, "--dest",
                                       "org.freedesktop.FileManager1", "--object-path",
                                       "/org/freedesktop/FileManager1", "--method",
                                       "org.freedesktop.FileManager1.ShowItems", "['" + uri + "']", ""},
                                      {});
    if (by_gdbus == 0) return true;
    // gdbus is part of GLib; a desktop without it usually has dbus-send.
    const std::string timeout_ms = std::string("--reply-timeout=") + kDbusTimeoutSeconds + "000";
    return run_and_wait({"dbus-send", "--session", "--print-reply", timeout_ms,
                         "--dest=org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                         "org.freedesktop.FileManager1.ShowItems", "array:string:" + uri, "string:"},
                        {}) == 0;
}

}  // namespace

bool show_in_file_manager(const std::wstring& path) {
    const std::string native = rkit::native_path(rkit::normalize_path(path));
    if (ask_file_manager(file_uri(native))) return true;
    return start_detached({"xdg-open", rkit::native_path(rkit::extract_dir(rkit::normalize_path(path)))}, {});
}

bool start_shell_command(const std::wstring& command, const std::wstring& folder) {
    // The command is the user's text: its backslashes are not separators.
    return start_detached({"/bin/sh", "-c", rkit::wide_to_char(command)}, rkit::native_path(folder));
}

}  // namespace bk
