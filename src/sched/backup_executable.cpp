// Starting vdbackup: the command line is split by the Windows rules and run
// directly, never through a shell, so that no text of the user (a comment, a
// path) is ever read as shell syntax.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "rkit/command_line_split.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "sched/command_line.h"

extern char** environ;

namespace bk {

namespace {

bool is_runnable(const std::wstring& path) {
    const std::string bytes = rkit::native_path(path);
    struct stat st {};
    return ::stat(bytes.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(bytes.c_str(), X_OK) == 0;
}

// The folder of the library this code was linked into: libvardobk.so for a
// host, the program itself when the code is linked statically.
std::wstring module_folder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&module_folder), &info) == 0 || info.dli_fname == nullptr) return {};
    char* real = ::realpath(info.dli_fname, nullptr);
    if (real == nullptr) return {};
    const std::wstring folder = rkit::extract_dir(rkit::from_native_path(real));
    std::free(real);
    return folder;
}

std::vector<std::wstring> search_folders() {
    std::vector<std::wstring> folders{rkit::extract_dir(own_executable_path()), module_folder()};
    if (const char* path = std::getenv("PATH")) {
        const std::string text = path;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find(':', start);
            if (end == std::string::npos) end = text.size();
            // An empty entry would mean the current folder: not searched, so
            // that a file planted in the host's data folder is never run.
            if (end > start) folders.push_back(rkit::from_native_path(text.substr(start, end - start)));
            start = end + 1;
        }
    }
    return folders;
}

// Writes the errno of a failed step to the parent and ends this process.
[[noreturn]] void fail_child(int fd, int error) {
    ssize_t ignored = ::write(fd, &error, sizeof error);
    (void)ignored;
    ::_exit(127);
}

// The last process of the chain: a new session of its own, so that a Ctrl+C
// meant for the host (or the host's end) does not reach it; default signal
// handling; no descriptor of the host but the standard ones.
[[noreturn]] void exec_child(int report_fd, const char* program, char* const argv[], const char* folder) {
    ::setsid();
    for (int sig = 1; sig < NSIG; ++sig) ::signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (folder[0] != '\0' && ::chdir(folder) != 0) fail_child(report_fd, errno);
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        const long limit = ::sysconf(_SC_OPEN_MAX);
        for (int fd = 3; fd < (limit > 0 && limit < 65536 ? limit : 65536); ++fd)
            if (fd != report_fd) ::close(fd);
    }
    ::execve(program, argv, environ);
    fail_child(report_fd, errno);
}

}  // namespace

std::wstring find_backup_executable(const std::wstring& name) {
    if (name.empty()) return {};
    if (name.find_first_of(L"/\\") != std::wstring::npos) {
        std::wstring full;
        if (!rkit::get_absolute_path(rkit::get_current_dir(), name, full) || !is_runnable(full)) return {};
        return full;
    }
    for (const std::wstring& folder : search_folders()) {
        if (folder.empty()) continue;
        const std::wstring candidate = rkit::concat_path(folder, name);
        if (is_runnable(candidate)) return candidate;
    }
    return {};
}

uint32_t start_backup_executable(const std::wstring& command_line, const std::wstring& working_folder) {
    const std::vector<std::wstring> args = rkit::split_command_line(command_line);
    if (args.empty()) return BK_FAILED;
    const std::wstring program = find_backup_executable(args[0]);
    if (program.empty()) return BK_FAILED;

    // Everything the children need is made before fork: after it only
    // async-signal-safe calls are allowed.
    const std::string program_bytes = rkit::native_path(program);
    const std::string folder_bytes = working_folder.empty() ? std::string() : rkit::native_path(working_folder);
    std::vector<std::string> arg_bytes;
    for (const std::wstring& arg : args) arg_bytes.push_back(rkit::wide_to_char(arg));
    std::vector<char*> argv;
    for (std::string& arg : arg_bytes) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return BK_FAILED;

    // Two forks: the middle process ends at once and is reaped here, so the
    // executable, which is not waited for, never lingers as the host's zombie.
    // The middle one is a copy of a threaded process: it forks with _Fork,
    // which runs no fork handlers that could wait for locks of lost threads.
    const pid_t middle = ::fork();
    if (middle == 0) {
        ::close(report[0]);
        const pid_t last = ::_Fork();
        if (last == 0) exec_child(report[1], program_bytes.c_str(), argv.data(), folder_bytes.c_str());
        if (last < 0) fail_child(report[1], errno);
        ::_exit(0);
    }
    ::close(report[1]);
    if (middle < 0) {
        ::close(report[0]);
        return BK_FAILED;
    }
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }

    // The pipe closes without a word when execve succeeded.
    int child_error = 0;
    ssize_t got = 0;
    do {
        got = ::read(report[0], &child_error, sizeof child_error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    return got == 0 ? BK_DONE : BK_FAILED;
}

}  // namespace bk
