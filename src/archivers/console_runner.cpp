#include "archivers/console_runner.h"

#include "rkit/command_line_split.h"
#include "rkit/text.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace bk {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto poll_interval = std::chrono::milliseconds(200);
// After the child has ended, output of a grandchild that still holds the
// terminal is not waited for longer than this.
constexpr int final_drain_ms = 50;

thread_local HiddenConsole* current_console = nullptr;

int32_t exit_code_of(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        if (sig == SIGINT || sig == SIGTERM) return exit_code_ctrl_c;
        return exit_code_signal_base + sig;
    }
    return -1;
}

// The arguments and environment of a child, kept alive until it is spawned.
class ChildImage {
public:
    explicit ChildImage(const std::wstring& command_line) {
        for (const std::wstring& arg : rkit::split_command_line(command_line))
            args_.push_back(rkit::wide_to_char(arg));
        if (args_.empty() || args_[0].empty()) return;
        // A relative path means the folder we are in, as it would for
        // CreateProcess, not the child's working folder.
        program_ = args_[0];
        if (program_.find('/') != std::string::npos && program_[0] != '/') {
            std::error_code error;
            const auto absolute = std::filesystem::absolute(program_, error);
            if (!error) program_ = absolute.string();
        }
        for (std::string& arg : args_) argv_.push_back(arg.data());
        argv_.push_back(nullptr);
        for (char** e = environ; e && *e; ++e) env_.push_back(*e);
    }

    bool valid() const { return !program_.empty(); }

    // Sets NAME=value for the child, replacing what the host has.
    void set_env(const std::string& name, const std::string& value) {
        owned_env_.push_back(name + "=" + value);
        std::erase_if(env_, [&](const char* e) {
            return std::string_view(e).starts_with(name) && e[name.size()] == '=';
        });
    }

    // Spawns the child; -1 when it cannot be started.
    pid_t spawn(const std::wstring& work_dir, posix_spawn_file_actions_t* actions, short flags) {
        const std::string dir = rkit::wide_to_char(work_dir);
        if (!dir.empty() && posix_spawn_file_actions_addchdir_np(actions, dir.c_str()) != 0) return -1;
        // Nothing of the host but the three standard streams reaches the child.
        if (posix_spawn_file_actions_addclosefrom_np(actions, 3) != 0) return -1;

        posix_spawnattr_t attr;
        if (posix_spawnattr_init(&attr) != 0) return -1;
        // A host that ignores or blocks signals must not pass that on: the
        // child has to stop on SIGINT.
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attr, &all);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setflags(&attr, static_cast<short>(flags | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK));

        std::vector<char*> env = env_;
        for (std::string& e : owned_env_) env.push_back(e.data());
        env.push_back(nullptr);

        pid_t pid = -1;
        const int rc = posix_spawnp(&pid, program_.c_str(), actions, &attr, argv_.data(), env.data());
        posix_spawnattr_destroy(&attr);
        return rc == 0 ? pid : -1;
    }

private:
    std::vector<std::string> args_;
    std::string program_;
    std::vector<char*> argv_;
    std::vector<char*> env_;
    std::vector<std::string> owned_env_;
};

class FileActions {
public:
    FileActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
    ~FileActions() {
        if (ok_) posix_spawn_file_actions_destroy(&actions_);
    }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;

    bool ok() const { return ok_; }
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
    bool ok_ = false;
};

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Waits for the child without a limit; its exit code, or -1.
int32_t wait_child(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return exit_code_of(status);
}

// A descriptor that becomes readable when the child ends; -1 on kernels
// without one. Called through syscall(): the C library's declaration of it
// lacks C linkage in some versions.
int open_child_fd(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

int milliseconds_until(Clock::time_point when) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1000));
}

}  // namespace

HiddenConsole::HiddenConsole() : previous_(current_console) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0 ||
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK) != 0) {
        const int error = errno;
        if (master_ >= 0) close(master_);
        throw std::logic_error("can't allocate console, error code: " + std::to_string(error));
    }
    terminal_name_ = name;
    winsize size{};
    size.ws_col = static_cast<unsigned short>(screen_.columns());
    size.ws_row = static_cast<unsigned short>(screen_.rows());
    ioctl(master_, TIOCSWINSZ, &size);
    current_console = this;
}

HiddenConsole::~HiddenConsole() {
    if (current_console == this) current_console = previous_;
    close(master_);
}

bool HiddenConsole::drain() {
    // Bounded, so that a child that never stops writing still lets the
    // runner reach its polls.
    char buffer[65536];
    for (int reads = 0; reads < 16; ++reads) {
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n > 0) {
            screen_.write(std::string_view(buffer, static_cast<size_t>(n)));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return true;
        } else {
            return false;  // EIO: every holder of the terminal has closed it
        }
    }
    return true;
}

static bool environment_is_utf8() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            std::string text(value);
            for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return text.find("utf-8") != std::string::npos || text.find("utf8") != std::string::npos;
        }
    }
    return false;
}

int32_t run_console_process(const std::wstring& command_line, const std::wstring& work_dir,
                            IConsoleCallback* callback) {
    HiddenConsole console;
    ChildImage image(command_line);
    if (!image.valid()) return -1;
    image.set_env("COLUMNS", std::to_string(console.screen().columns()));
    image.set_env("LINES", std::to_string(console.screen().rows()));
    // The screen model reads UTF-8. Started from cron or a service there may
    // be no locale at all, and rar then mangles non-ASCII names.
    if (!environment_is_utf8()) image.set_env("LC_ALL", "C.UTF-8");

    FileActions actions;
    if (!actions.ok()) return -1;
    // Opened after setsid(), the terminal becomes the child's controlling one.
    if (posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0) != 0 ||
        posix_spawn_file_actions_addopen(actions.get(), 1, console.terminal_name().c_str(), O_RDWR, 0) != 0 ||
        posix_spawn_file_actions_adddup2(actions.get(), 1, 2) != 0)
        return -1;
    // In a session of its own the child leads its process group, so a SIGINT
    // to the group reaches it and its own children, and nothing of ours.
    const pid_t pid = image.spawn(work_dir, actions.get(), POSIX_SPAWN_SETSID);
    if (pid < 0) return -1;

    // The pidfd wakes the wait the moment the child ends; without one the
    // wait falls back to short sleeps.
    Fd child(open_child_fd(pid));
    int32_t result = -1;
    bool terminal_open = true;
    auto next_poll = Clock::now() + poll_interval;
    for (;;) {
        pollfd fds[2];
        nfds_t count = 0;
        if (terminal_open) fds[count++] = {console.master_fd(), POLLIN, 0};
        if (child.get() >= 0) fds[count++] = {child.get(), POLLIN, 0};
        int timeout = milliseconds_until(next_poll);
        if (child.get() < 0) timeout = std::min(timeout, 10);
        const int ready = poll(fds, count, timeout);
        if (ready > 0 && terminal_open && fds[0].revents != 0) terminal_open = console.drain();

        int status = 0;
        const pid_t waited = waitpid(pid, &status, WNOHANG);
        if (waited == pid) {
            result = exit_code_of(status);
            break;
        }
        if (waited < 0 && errno != EINTR) break;  // the wait failed: -1

        if (Clock::now() < next_poll) continue;
        if (callback) {
            try {
                if (!callback->on_console_poll(console)) kill(-pid, SIGINT);
            } catch (...) {
                // A failing progress display must not end the wait for the child.
            }
        }
        // A slow callback delays the next poll instead of bunching them up.
        next_poll += poll_interval;
        if (next_poll <= Clock::now()) next_poll = Clock::now() + poll_interval;
    }

    // What the child wrote last is still in the terminal.
    while (terminal_open) {
        pollfd fd{console.master_fd(), POLLIN, 0};
        if (poll(&fd, 1, final_drain_ms) <= 0) break;
        terminal_open = console.drain();
    }
    if (callback) {
        try {
            callback->on_console_end(console);
        } catch (...) {
        }
    }
    return result;
}

int32_t run_process_to_file(const std::wstring& command_line, const std::wstring& work_dir,
                            const std::wstring& output_file) {
    try {
        const std::string path = rkit::wide_to_char(output_file);
        if (path.empty()) return -1;
        Fd output(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        if (output.get() < 0) return -1;
        ChildImage image(command_line);
        if (!image.valid()) return -1;
        FileActions actions;
        // One open file behind both streams keeps their writes in order.
        if (!actions.ok() ||
            posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0) != 0 ||
            posix_spawn_file_actions_adddup2(actions.get(), output.get(), 1) != 0 ||
            posix_spawn_file_actions_adddup2(actions.get(), output.get(), 2) != 0)
            return -1;
        const pid_t pid = image.spawn(work_dir, actions.get(), 0);
        if (pid < 0) return -1;
        return wait_child(pid);
    } catch (const std::exception&) {
        return -1;
    }
}

bool read_console_line(std::wstring& line) {
    if (!current_console) return false;
    line = current_console->screen().cursor_line();
    return true;
}

}  // namespace bk
