#include "archivers/console_runner.h"

#include "rkit/command_line_split.h"
#include "rkit/text.h"
#include "rkit/unique_fd.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/sched.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

extern char** environ;

namespace bk {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto poll_interval = std::chrono::milliseconds(200);
// After the child has ended, output of a grandchild that still holds the
// terminal is not waited for longer than this.
constexpr int final_drain_ms = 50;
// A child that asks for input mostly does so right after writing the
// question: the terminal is looked at this long after output stops, then at
// doubling intervals up to the poll interval.
constexpr auto first_question_check = std::chrono::milliseconds(5);
// 7-Zip asks twice when it adds to an archive with encrypted headers (to open
// it and for the new data), RAR asks twice when it makes one; more questions
// mean the password was wrong.
constexpr int max_password_answers = 3;
// A program that keeps asking although it reads end-of-file is hung up on.
constexpr int max_refusals = 8;

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

// fd moved above the standard streams (a host may have closed them, and the
// child's dup2 onto 0, 1 and 2 must not overwrite it), closed on exec.
int above_standard_streams(int fd) {
    if (fd < 0 || fd > 2) return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    return moved;
}

// Where the child's standard streams go.
struct ChildStreams {
    const char* terminal = nullptr;     // opened as its controlling terminal, for output
    bool input_from_terminal = false;   // else input is /dev/null
    int output_fd = -1;                 // output when there is no terminal
};

// Everything the child needs, made before the clone: a child of a threaded
// process may only make async-signal-safe calls, so nothing there allocates.
struct Launch {
    const char* program;
    char* const* argv;
    char* const* envp;
    const char* dir;  // null: stay in the current folder
    ChildStreams streams;
    int report_fd;    // the write end of the waiter's pipe to the runner
    int max_fd;
};

// The program is not our child but our grandchild. Our child, the waiter,
// starts it, waits for it and reports on a pipe: the program's process id
// once it runs, errno when it cannot be started, its wait status when it
// has ended. An exec makes any process report its end with SIGCHLD, which
// the host may ignore (and the kernel then reaps the child unasked) or
// catch with a handler that reaps every child; the waiter never executes
// anything, so it keeps the exit signal it was cloned with: none. Its
// reports are the only way the exit code reaches the runner, and the host
// never sees it end.
struct Report {
    int kind;
    int value;
};
enum : int { report_started = 1, report_failed = 2, report_ended = 3 };

void send_report(int fd, int kind, int value) {
    const Report report{kind, value};
    while (write(fd, &report, sizeof report) < 0 && errno == EINTR) {
    }
}

[[noreturn]] void waiter_failed(int report_fd, int error) {
    send_report(report_fd, report_failed, error);
    _exit(0);
}

int move_above_standard_streams(int fd) {
    if (fd < 0 || fd > 2) return fd;
    const int moved = fcntl(fd, F_DUPFD, 3);
    close(fd);
    return moved;
}

// Closes every descriptor from first on but keep.
void close_from(int first, int keep, int max_fd) {
    if (syscall(SYS_close_range, static_cast<unsigned>(first), static_cast<unsigned>(keep - 1), 0u) == 0 &&
        syscall(SYS_close_range, static_cast<unsigned>(keep + 1), ~0u, 0u) == 0)
        return;
    for (int fd = first; fd < max_fd; ++fd)
        if (fd != keep) close(fd);
}

[[noreturn]] void waiter_main(const Launch& launch) {
    const int report = launch.report_fd;
    // Every signal stays blocked in the waiter, as the runner blocked them
    // for the clone: no handler of the host runs here, and a SIGINT to the
    // process group stops the program while the waiter lives on to report
    // it. The dispositions go back to their defaults: a host that ignores
    // SIGCHLD or SIGINT must not pass that on.
    for (int sig = 1; sig < NSIG; ++sig) {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigaction(sig, &action, nullptr);  // refused for SIGKILL, SIGSTOP and the C library's own: harmless
    }
    // In a session of its own the waiter leads a process group that the
    // program joins, so a SIGINT to the group reaches the program and its
    // own children, and nothing of ours; the terminal it opens becomes the
    // controlling terminal of the session.
    if (setsid() < 0) waiter_failed(report, errno);
    const ChildStreams& streams = launch.streams;
    const int output =
        streams.terminal ? move_above_standard_streams(open(streams.terminal, O_RDWR)) : streams.output_fd;
    if (output < 0) waiter_failed(report, errno);
    const int input = streams.input_from_terminal ? output : move_above_standard_streams(open("/dev/null", O_RDONLY));
    if (input < 0 || dup2(input, 0) < 0 || dup2(output, 1) < 0 || dup2(output, 2) < 0) waiter_failed(report, errno);
    if (launch.dir && chdir(launch.dir) != 0) waiter_failed(report, errno);
    // Nothing of the host but the three standard streams reaches the program.
    close_from(3, report, launch.max_fd);

    int exec_pipe[2];
    if (pipe2(exec_pipe, O_CLOEXEC) != 0) waiter_failed(report, errno);
    const pid_t pid = _Fork();
    if (pid < 0) waiter_failed(report, errno);
    if (pid == 0) {
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execve(launch.program, launch.argv, launch.envp);
        const int error = errno;
        while (write(exec_pipe[1], &error, sizeof error) < 0 && errno == EINTR) {
        }
        _exit(127);
    }
    // The exec closes the program's end of the pipe: end-of-file means it runs.
    close(exec_pipe[1]);
    int error = 0;
    ssize_t n;
    do n = read(exec_pipe[0], &error, sizeof error);
    while (n < 0 && errno == EINTR);
    int status = 0;
    if (n > 0) {
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        waiter_failed(report, error);
    }
    send_report(report, report_started, pid);
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) _exit(1);  // no report: the runner sees -1
    send_report(report, report_ended, status);
    _exit(0);
}

bool read_report(int fd, Report& report) {
    ssize_t n;
    do n = read(fd, &report, sizeof report);
    while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof report);
}

// A started program: the process group it is in (the waiter's), its own
// process id, and the waiter's report pipe.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(pid_t waiter, pid_t pid, int reports) : waiter_(waiter), pid_(pid), reports_(reports) {}
    ChildProcess(ChildProcess&& other) noexcept { *this = std::move(other); }
    ChildProcess& operator=(ChildProcess&& other) noexcept {
        std::swap(waiter_, other.waiter_);
        std::swap(pid_, other.pid_);
        reports_ = std::move(other.reports_);
        return *this;
    }
    ~ChildProcess() {
        if (waiter_ > 0) reap();
    }

    bool started() const { return waiter_ > 0; }
    pid_t group() const { return waiter_; }
    pid_t pid() const { return pid_; }
    // Readable once the program has ended.
    int end_fd() const { return reports_.get(); }

    // The exit code, waiting for the end; -1 when the wait failed.
    int32_t finish() {
        Report report{};
        const bool ended = read_report(reports_.get(), report) && report.kind == report_ended;
        reap();
        return ended ? exit_code_of(report.value) : -1;
    }

private:
    void reap() {
        reports_.reset();
        // __WALL: a child with no exit signal is invisible to a plain wait.
        // ECHILD when the host took it (a kernel without clone3).
        while (waitpid(waiter_, nullptr, __WALL) < 0 && errno == EINTR) {
        }
        waiter_ = -1;
    }

    pid_t waiter_ = -1;
    pid_t pid_ = -1;
    rkit::unique_fd reports_;
};

// Starts the program that launch describes; not started() when it cannot be.
ChildProcess start_child(Launch& launch) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return {};
    rkit::unique_fd read_end(above_standard_streams(ends[0])), write_end(above_standard_streams(ends[1]));
    if (read_end.get() < 0 || write_end.get() < 0) return {};
    launch.report_fd = write_end.get();

    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    clone_args args{};
    args.exit_signal = 0;
    auto waiter = static_cast<pid_t>(syscall(SYS_clone3, &args, sizeof args));
    // A kernel or a sandbox without clone3: a child that ends with SIGCHLD,
    // which only the waiter's own exit code (never needed) depends on.
    if (waiter < 0 && (errno == ENOSYS || errno == EPERM)) waiter = _Fork();
    if (waiter == 0) waiter_main(launch);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    write_end.reset();
    if (waiter < 0) return {};

    Report report{};
    const bool started = read_report(read_end.get(), report) && report.kind == report_started;
    ChildProcess child(waiter, started ? report.value : -1, read_end.release());
    if (!started) return {};  // the waiter is reaped on the way out
    return child;
}

bool is_executable_file(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The arguments and environment of a child, kept alive until it is started.
class ChildImage {
public:
    explicit ChildImage(const std::wstring& command_line) {
        for (const std::wstring& arg : rkit::split_command_line(command_line))
            args_.push_back(rkit::wide_to_char(arg));
        if (args_.empty() || args_[0].empty()) return;
        for (std::string& arg : args_) argv_.push_back(arg.data());
        argv_.push_back(nullptr);
        for (char** e = environ; e && *e; ++e) env_.push_back(*e);
        program_ = resolve(args_[0]);
    }

    bool valid() const { return !program_.empty(); }

    // Sets NAME=value for the child, replacing what the host has.
    void set_env(const std::string& name, const std::string& value) {
        owned_env_.push_back(name + "=" + value);
        std::erase_if(env_, [&](const char* e) {
            return std::string_view(e).starts_with(name) && e[name.size()] == '=';
        });
    }

    // Starts the program in work_dir.
    ChildProcess start(const std::wstring& work_dir, const ChildStreams& streams) {
        if (!valid()) return {};
        const std::string dir = rkit::wide_to_char(work_dir);
        std::vector<char*> env = env_;
        for (std::string& e : owned_env_) env.push_back(e.data());
        env.push_back(nullptr);
        rlimit files{};
        const int max_fd = getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 65536
                               ? static_cast<int>(files.rlim_cur) : 65536;
        Launch launch{program_.c_str(), argv_.data(), env.data(), dir.empty() ? nullptr : dir.c_str(),
                      streams, -1, max_fd};
        return start_child(launch);
    }

private:
    // The file to execute: a path as given (a relative one means the folder
    // we are in, as it would for CreateProcess, not the child's working
    // folder), a bare name from PATH; empty when there is none.
    static std::string resolve(const std::string& program) {
        if (program.find('/') != std::string::npos) {
            if (program[0] == '/') return program;
            std::error_code error;
            const auto absolute = std::filesystem::absolute(program, error);
            return error ? program : absolute.string();
        }
        const char* path = std::getenv("PATH");
        std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
        for (size_t begin = 0; begin <= dirs.size();) {
            size_t end = dirs.find(':', begin);
            if (end == std::string::npos) end = dirs.size();
            const std::string dir = dirs.substr(begin, end - begin);
            const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
            if (is_executable_file(candidate)) return candidate;
            begin = end + 1;
        }
        return {};
    }

    std::vector<std::string> args_;
    std::string program_;
    std::vector<char*> argv_;
    std::vector<char*> env_;
    std::vector<std::string> owned_env_;
};

int milliseconds_until(Clock::time_point when) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1000));
}

// The first bytes of a small file of /proc; empty when it cannot be read.
std::string read_proc_file(const std::string& path) {
    rkit::unique_fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return {};
    char buffer[4096];
    const ssize_t n = read(fd.get(), buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

bool asks_for_password(const std::wstring& line) {
    std::wstring lower = line;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
    return lower.find(L"password") != std::wstring::npos;
}

// Answers what the child asks on its terminal: the password at a password
// prompt, end-of-file at anything else. Whether the child waits for input is
// read from /proc: one of its threads sleeps in read() on the terminal.
class Answerer {
public:
    Answerer(const ChildProcess& child, HiddenConsole& console, const std::string& password,
             IConsoleCallback* callback)
        : child_(child), console_(console), password_(password), callback_(callback) {}

    void check() {
        const std::optional<Reader> reader = waiting_reader();
        // The same sleep as at the last answer: that answer is not read yet.
        if (!reader || reader == answered_) return;
        termios mode{};
        if (tcgetattr(console_.master_fd(), &mode) != 0) return;
        const bool new_output = console_.output_bytes() != output_at_answer_;
        answered_ = reader;
        output_at_answer_ = console_.output_bytes();
        if (!password_.empty() && !(mode.c_lflag & ECHO) && new_output &&
            passwords_typed_ < max_password_answers && asks_for_password(console_.screen().cursor_line())) {
            ++passwords_typed_;
            type(mode);
            return;
        }
        if (callback_) {
            try {
                callback_->on_console_question(console_);
            } catch (...) {
            }
        }
        // Without canonical input there is no end-of-file to give; a program
        // that keeps asking is hung up on, as a closed terminal would be.
        if (++refusals_ > max_refusals || !(mode.c_lflag & ICANON)) {
            kill(-child_.group(), SIGHUP);
            return;
        }
        const char eof = mode.c_cc[VEOF] != _POSIX_VDISABLE ? static_cast<char>(mode.c_cc[VEOF]) : '\x04';
        write_all(std::string(1, eof));
    }

private:
    // A thread of the child asleep in read() on the terminal, and how many
    // times it has gone to sleep so far: a new count is a new read.
    struct Reader {
        std::string task;
        std::string sleeps;
        bool operator==(const Reader&) const = default;
    };

    std::optional<Reader> waiting_reader() const {
        const std::string proc = "/proc/" + std::to_string(child_.pid());
        DIR* tasks = opendir((proc + "/task").c_str());
        if (!tasks) return std::nullopt;
        std::optional<Reader> found;
        while (const dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] == '.') continue;
            const std::string task = proc + "/task/" + entry->d_name;
            // "NUMBER ARG1 ...": the system call a sleeping thread is in, and its arguments in hex.
            long number = -1;
            unsigned long long fd = 0;
            if (std::sscanf(read_proc_file(task + "/syscall").c_str(), "%ld 0x%llx", &number, &fd) != 2 ||
                number != SYS_read)
                continue;
            char target[256];
            const std::string link = proc + "/fd/" + std::to_string(fd);
            const ssize_t n = readlink(link.c_str(), target, sizeof target);
            const std::string_view file(target, n > 0 ? static_cast<size_t>(n) : 0);
            // /dev/tty is the terminal too: the child's session has no other.
            if (file != console_.terminal_name() && file != "/dev/tty") continue;
            const std::string status = read_proc_file(task + "/status");
            const size_t at = status.find("voluntary_ctxt_switches:");
            found = Reader{entry->d_name, at == std::string::npos ? "" : status.substr(at, status.find('\n', at) - at)};
            break;
        }
        closedir(tasks);
        return found;
    }

    void type(const termios& mode) {
        // Characters the terminal would act on (erase, kill, interrupt ...)
        // are typed after the literal-next character.
        std::string keys;
        const bool literal_next = (mode.c_lflag & IEXTEN) && mode.c_cc[VLNEXT] != _POSIX_VDISABLE;
        for (const char c : password_) {
            const auto byte = static_cast<unsigned char>(c);
            if (literal_next && (byte < 0x20 || byte == 0x7F)) keys += static_cast<char>(mode.c_cc[VLNEXT]);
            keys += c;
        }
        keys += '\n';
        write_all(keys);
    }

    void write_all(const std::string& keys) {
        for (size_t done = 0; done < keys.size();) {
            const ssize_t n = write(console_.master_fd(), keys.data() + done, keys.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                pollfd fd{console_.master_fd(), POLLOUT, 0};
                poll(&fd, 1, 100);
            } else if (n < 0 && errno != EINTR) {
                return;
            }
        }
    }

    const ChildProcess& child_;
    HiddenConsole& console_;
    const std::string& password_;
    IConsoleCallback* callback_;
    std::optional<Reader> answered_;
    uint64_t output_at_answer_ = 0;
    int passwords_typed_ = 0;
    int refusals_ = 0;
};

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
            const std::string_view bytes(buffer, static_cast<size_t>(n));
            screen_.write(bytes);
            if (transcript_) transcript_->append(bytes);
            output_bytes_ += bytes.size();
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
                            IConsoleCallback* callback, const ConsoleOptions& options) {
    HiddenConsole console;
    ChildImage image(command_line);
    if (!image.valid()) return -1;
    image.set_env("COLUMNS", std::to_string(console.screen().columns()));
    image.set_env("LINES", std::to_string(console.screen().rows()));
    // The screen model reads UTF-8. Started from cron or a service there may
    // be no locale at all, and rar then mangles non-ASCII names.
    if (!environment_is_utf8()) image.set_env("LC_ALL", "C.UTF-8");
    console.keep_transcript(options.transcript);

    // With a password to give, the child's input is the terminal; without
    // one it is /dev/null. Either way the child may open /dev/tty itself
    // (RAR reads its password from there), so every wait of it for input
    // from the terminal is answered.
    ChildProcess child = image.start(work_dir, {console.terminal_name().c_str(), !options.password.empty(), -1});
    if (!child.started()) return -1;
    Answerer answerer(child, console, options.password, callback);

    int32_t result = -1;
    bool terminal_open = true;
    const auto now = Clock::now();
    auto next_poll = now + poll_interval;
    Clock::duration question_delay = first_question_check;
    auto next_question_check = now + question_delay;
    for (;;) {
        pollfd fds[2] = {{child.end_fd(), POLLIN, 0}, {console.master_fd(), POLLIN, 0}};
        const int timeout = std::min(milliseconds_until(next_poll), milliseconds_until(next_question_check));
        const int ready = poll(fds, terminal_open ? 2 : 1, timeout);
        if (ready > 0 && terminal_open && fds[1].revents != 0) {
            const uint64_t before = console.output_bytes();
            terminal_open = console.drain();
            // New output may be a question: look soon after it stops.
            if (console.output_bytes() != before) {
                question_delay = first_question_check;
                next_question_check = Clock::now() + question_delay;
            }
        }

        if (ready > 0 && fds[0].revents != 0) {
            result = child.finish();
            break;
        }

        const bool poll_due = Clock::now() >= next_poll;
        if (poll_due || Clock::now() >= next_question_check) {
            answerer.check();
            question_delay = std::min<Clock::duration>(question_delay * 2, poll_interval);
            next_question_check = Clock::now() + question_delay;
        }
        if (!poll_due) continue;
        if (callback) {
            try {
                if (!callback->on_console_poll(console)) kill(-child.group(), SIGINT);
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
        // One open file behind both streams keeps their writes in order.
        rkit::unique_fd output(above_standard_streams(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)));
        if (output.get() < 0) return -1;
        ChildImage image(command_line);
        ChildProcess child = image.start(work_dir, {nullptr, false, output.get()});
        return child.started() ? child.finish() : -1;
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
