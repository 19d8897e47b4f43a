#include "run_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "core/host_params.h"
#include "rkit/files.h"
#include "rkit/path.h"
#include "rkit/replace_file.h"
#include "rkit/unique_fd.h"
#include "settings/settings_file.h"
#include "run_plan.h"
#include "vardobk/command_line.h"

namespace vdbackup {
namespace fs = std::filesystem;

namespace {

std::string result_name(int code) {
    switch (code) {
        case BK_DONE: return "done";
        case BK_NOT_DONE: return "not done";
        case BK_FAILED: return "failed";
        case EXIT_USAGE: return "usage error";
        default: return "result";
    }
}

bool write_all(int fd, const std::string& bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

// The log opened for appending and locked, as it is named now: a run that
// trimmed it meanwhile has put a new file in its place, and the lock on the
// old one guards nothing.
bool open_locked(const fs::path& file, rkit::unique_fd& fd, struct stat& opened) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        fd.reset(::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
        if (fd.get() < 0) return false;
        while (::flock(fd.get(), LOCK_EX) != 0)
            if (errno != EINTR) return false;
        struct stat named {};
        if (::fstat(fd.get(), &opened) != 0) return false;
        if (::stat(file.c_str(), &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
            return true;
    }
    return false;
}

// The log without its oldest lines, so that line fits within limit, put in
// its place at once: a crash leaves the old log or the new one.
bool replace_trimmed(const fs::path& file, const std::string& line, uintmax_t limit) {
    std::ifstream in(file, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    if (content.size() + line.size() > limit) {
        const size_t excess = content.size() + line.size() - limit;
        const size_t end = content.find('\n', excess - 1);
        content.erase(0, end == std::string::npos ? content.size() : end + 1);
    }
    return rkit::replace_file_content(file.string(), content + line);
}

}  // namespace

std::string mode_name(int32_t mode) {
    switch (mode) {
        case bk::CMDLINE_MODE_BACKUP: return "backup";
        case bk::CMDLINE_MODE_RESTORE: return "restore";
        case bk::CMDLINE_MODE_SETTINGS: return "settings";
        case bk::CMDLINE_MODE_END_OF_WORK: return "end of work";
        default: return "no mode";
    }
}

std::string log_line(const std::tm& local, const std::string& mode, int code, const std::string& archive,
                     const std::string& message) {
    char time[32];
    std::strftime(time, sizeof time, "%Y-%m-%d %H:%M:%S", &local);
    std::string line = std::string(time) + " " + mode + ": " + result_name(code) + " (" + std::to_string(code) + ")";
    if (!archive.empty()) line += ": " + archive;
    if (!message.empty()) line += ": " + message;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    return line + "\n";
}

fs::path log_folder(HostParamCallback params) {
    std::error_code error;
    const fs::path here = fs::current_path(error);
    try {
        const std::wstring root = bk::require_param(params, "root_path");
        bk::BackupSettings settings;
        const std::wstring settings_file = bk::settings_file_path(params);
        if (rkit::file_exists(settings_file)) bk::read_settings_file(settings_file, settings);
        std::wstring folder;
        if (!rkit::get_absolute_path(root, settings.backup_folder, folder)) return here;
        const fs::path found = rkit::native_path(folder);
        return fs::is_directory(found, error) ? found : here;
    } catch (...) {
        return here;
    }
}

bool append_log_line(const fs::path& file, const std::string& line, uintmax_t limit) {
    if (line.empty() || limit < 2) return false;
    // A line longer than the whole log keeps its beginning.
    const std::string fitting = line.size() <= limit ? line : line.substr(0, limit - 1) + "\n";
    rkit::unique_fd fd;
    struct stat opened {};
    if (!open_locked(file, fd, opened)) return false;
    if (static_cast<uintmax_t>(opened.st_size) + fitting.size() <= limit) return write_all(fd.get(), fitting);
    return replace_trimmed(file, fitting, limit);
}

}  // namespace vdbackup
