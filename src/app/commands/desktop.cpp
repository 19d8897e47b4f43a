#include "app/commands/desktop.h"

#include <sys/wait.h>

#include <string>
#include <vector>

#include "rkit/path.h"
#include "rkit/percent_encoding.h"
#include "rkit/process.h"
#include "rkit/text.h"

namespace bk {
namespace {

// Bounds every D-Bus call: the host's thread waits for it.
const char* const kDbusTimeoutSeconds = "5";

// Runs args (looked up in PATH) with the standard streams on /dev/null and
// waits for it. Its exit code, or -1 when it could not be started or did not
// exit normally.
int run_and_wait(const std::vector<std::string>& args) {
    rkit::child_spec spec;
    spec.args = args;
    const int status = rkit::run_and_wait(spec);
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Starts args (looked up in PATH) in folder (empty: the current one) with the
// standard streams on /dev/null, not waited for and leaving no child behind.
// False when the program is not there or cannot be started.
bool start_detached(const std::vector<std::string>& args, const std::string& folder) {
    rkit::child_spec spec;
    spec.args = args;
    spec.folder = folder;
    return rkit::start_detached(spec);
}

// file:// URI of an absolute path: every byte but the unreserved ones and
// "/" percent-encoded, so that the URI also survives GVariant text quoting
// and the comma-separated arrays of dbus-send.
std::string file_uri(const std::string& path) { return "file://" + rkit::percent_encode(path, "/"); }

bool ask_file_manager(const std::string& uri) {
    const int by_gdbus = run_and_wait({"gdbus", "call", "--session", "--timeout", kDbusTimeoutSeconds, "--dest",
                                       "org.freedesktop.FileManager1", "--object-path",
                                       "/org/freedesktop/FileManager1", "--method",
                                       "org.freedesktop.FileManager1.ShowItems", "['" + uri + "']", ""});
    if (by_gdbus == 0) return true;
    // gdbus is part of GLib; a desktop without it usually has dbus-send.
    const std::string timeout_ms = std::string("--reply-timeout=") + kDbusTimeoutSeconds + "000";
    return run_and_wait({"dbus-send", "--session", "--print-reply", timeout_ms,
                         "--dest=org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                         "org.freedesktop.FileManager1.ShowItems", "array:string:" + uri, "string:"}) == 0;
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
