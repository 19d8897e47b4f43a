#include "rkit/process.h"

#include <fcntl.h>
#include <linux/sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>

extern char** environ;

namespace rkit {

namespace {

// What the starter tells us: the program's process id once it runs, errno
// when it cannot be started, its wait status when it has ended.
struct report {
    int kind;
    int value;
};
enum : int { report_started = 1, report_failed = 2, report_ended = 3 };

// Everything the starter needs, made before the clone: nothing there allocates.
struct launch {
    const char* program;
    char* const* argv;
    char* const* envp;
    const char* folder;  // null: stay in ours
    child_stream input;
    child_stream output;
    int descriptor;
    int input_descriptor;
    const char* terminal;
    bool new_session;
    bool wait;
    int report_fd;  // the write end of the starter's pipe to us
    int max_fd;
};

// fd moved above the standard streams (we or a host may have closed them,
// and the dup2 onto 0, 1 and 2 must not overwrite it), closed on exec.
int above_standard_streams(int fd) {
    if (fd < 0 || fd > 2) return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    return moved;
}

// --- In the starter: async-signal-safe calls only. ---

void send_report(int fd, int kind, int value) {
    const report message{kind, value};
    while (write(fd, &message, sizeof message) < 0 && errno == EINTR) {
    }
}

[[noreturn]] void starter_failed(int report_fd, int error) {
    send_report(report_fd, report_failed, error);
    _exit(0);
}

// Closes every descriptor from first on but keep.
void close_from(int first, int keep, int max_fd) {
    if ((keep <= first || ::close_range(first, keep - 1, 0) == 0) && ::close_range(keep + 1, ~0u, 0) == 0) return;
    for (int fd = first; fd < max_fd; ++fd)
        if (fd != keep) close(fd);
}

// The descriptor a standard stream of the child is to be; -1 (errno set)
// when it cannot be opened. Not called for an inherited one.
int stream_source(int descriptor, child_stream stream, int flags, int terminal) {
    switch (stream) {
        case child_stream::null_device:
            return above_standard_streams(open("/dev/null", flags | O_CLOEXEC));
        case child_stream::descriptor:
            return descriptor;
        case child_stream::terminal:
            return terminal;
        case child_stream::inherit:
            break;
    }
    errno = EINVAL;
    return -1;
}

[[noreturn]] void exec_program(const launch& start, int exec_report) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(start.program, start.argv, start.envp);
    const int error = errno;
    while (write(exec_report, &error, sizeof error) < 0 && errno == EINTR) {
    }
    _exit(127);
}

[[noreturn]] void starter_main(const launch& start) {
    const int report_fd = start.report_fd;
    // Every signal stays blocked in the starter, as we blocked them for the
    // clone: no handler of ours runs here, and a SIGINT to the child's
    // group stops the program while the starter lives on to report it. The
    // dispositions go back to their defaults: a host that ignores SIGCHLD or
    // SIGINT must not pass that on.
    for (int sig = 1; sig < NSIG; ++sig) {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        sigaction(sig, &action, nullptr);  // refused for SIGKILL, SIGSTOP and the C library's own: harmless
    }
    // In a session of its own the starter leads a process group that the
    // program joins.
    if (start.new_session && setsid() < 0) starter_failed(report_fd, errno);
    int terminal = -1;
    if (start.input == child_stream::terminal || start.output == child_stream::terminal) {
        terminal = above_standard_streams(open(start.terminal, O_RDWR | O_CLOEXEC));
        if (terminal < 0) starter_failed(report_fd, errno);
    }
    if (start.input != child_stream::inherit) {
        const int input = stream_source(start.input_descriptor, start.input, O_RDONLY, terminal);
        if (input < 0 || dup2(input, 0) < 0) starter_failed(report_fd, errno);
    }
    if (start.output != child_stream::inherit) {
        const int output = stream_source(start.descriptor, start.output, O_WRONLY, terminal);
        if (output < 0 || dup2(output, 1) < 0 || dup2(output, 2) < 0) starter_failed(report_fd, errno);
    }
    if (start.folder && chdir(start.folder) != 0) starter_failed(report_fd, errno);
    close_from(3, report_fd, start.max_fd);

    int exec_pipe[2];
    if (pipe2(exec_pipe, O_CLOEXEC) != 0) starter_failed(report_fd, errno);
    const pid_t pid = _Fork();
    if (pid < 0) starter_failed(report_fd, errno);
    if (pid == 0) exec_program(start, exec_pipe[1]);
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
        starter_failed(report_fd, error);
    }
    send_report(report_fd, report_started, pid);
    if (!start.wait) _exit(0);
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) _exit(1);  // no report: the wait gives -1
    send_report(report_fd, report_ended, status);
    _exit(0);
}

// --- Back in our process. ---

bool read_report(int fd, report& message) {
    ssize_t n;
    do n = read(fd, &message, sizeof message);
    while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof message);
}

void reap(pid_t starter) {
    const int saved = errno;
    // __WALL: a child with no exit signal is invisible to a plain wait.
    // ECHILD when the host took it (a kernel without clone3).
    while (waitpid(starter, nullptr, __WALL) < 0 && errno == EINTR) {
    }
    errno = saved;
}

// The file to execute for program: a path as given (a relative one from our
// current folder), a bare name from PATH; empty when there is none.
std::string find_program(const std::string& program) {
    if (program.empty()) return {};
    if (program.find('/') != std::string::npos) {
        if (program[0] == '/') return program;
        std::error_code error;
        const auto absolute = std::filesystem::absolute(program, error);
        return error ? program : absolute.string();
    }
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
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

// A caller's descriptor as the child is to get it: one of the standard
// streams is copied above them (into copy), since the child's dup2 onto 0, 1
// and 2 would overwrite it.
int copy_above_standard_streams(int fd, unique_fd& copy) {
    if (fd < 0 || fd > 2) return fd;
    copy.reset(fcntl(fd, F_DUPFD_CLOEXEC, 3));
    return copy.get();
}

// What a child_spec becomes before the clone, kept alive until the starter
// has been made.
class prepared_launch {
public:
    prepared_launch(const child_spec& spec, bool wait) : args_(spec.args), folder_(spec.folder) {
        program_ = spec.program.empty() ? find_program(args_.empty() ? std::string() : args_[0]) : spec.program;
        for (std::string& arg : args_) argv_.push_back(arg.data());
        argv_.push_back(nullptr);
        for (char** e = environ; e && *e; ++e) {
            const std::string_view entry(*e);
            const bool replaced = std::any_of(spec.env.begin(), spec.env.end(), [&](const auto& change) {
                return entry.starts_with(change.first) && entry.size() > change.first.size() &&
                       entry[change.first.size()] == '=';
            });
            if (!replaced) envp_.push_back(*e);
        }
        for (const auto& [name, value] : spec.env) added_env_.push_back(name + "=" + value);
        for (std::string& e : added_env_) envp_.push_back(e.data());
        envp_.push_back(nullptr);
        const int descriptor = copy_above_standard_streams(spec.descriptor, own_descriptor_);
        const int input_descriptor =
            spec.input_descriptor >= 0 ? copy_above_standard_streams(spec.input_descriptor, own_input_descriptor_)
                                       : descriptor;
        rlimit files{};
        const int max_fd = getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 65536
                               ? static_cast<int>(files.rlim_cur) : 65536;
        launch_ = {program_.c_str(), argv_.data(), envp_.data(), folder_.empty() ? nullptr : folder_.c_str(),
                   spec.input, spec.output, descriptor, input_descriptor, spec.terminal.c_str(), spec.new_session,
                   wait, -1, max_fd};
    }

    // Clones the starter: its process id and the read end of its report
    // pipe, or -1 (errno set) when the program is not there or no process
    // can be made.
    pid_t start(unique_fd& reports) {
        if (program_.empty() || args_.empty()) {
            errno = ENOENT;
            return -1;
        }
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) return -1;
        unique_fd read_end(above_standard_streams(ends[0])), write_end(above_standard_streams(ends[1]));
        if (!read_end.valid() || !write_end.valid()) return -1;
        launch_.report_fd = write_end.get();

        sigset_t all, old;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &old);
        clone_args args{};
        args.exit_signal = 0;
        auto starter = static_cast<pid_t>(syscall(SYS_clone3, &args, sizeof args));
        // A kernel or a sandbox without clone3: a child that ends with
        // SIGCHLD, which only the starter's own exit code (never needed)
        // depends on.
        if (starter < 0 && (errno == ENOSYS || errno == EPERM)) starter = _Fork();
        if (starter == 0) starter_main(launch_);
        const int error = errno;
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
        if (starter > 0) reports = std::move(read_end);
        errno = error;
        return starter;
    }

private:
    std::vector<std::string> args_;
    std::string folder_;
    std::string program_;
    std::vector<char*> argv_;
    std::vector<std::string> added_env_;
    std::vector<char*> envp_;
    unique_fd own_descriptor_;
    unique_fd own_input_descriptor_;
    launch launch_{};
};

// Starts the starter of spec and reads its first report: the starter's
// process id and the program's, or -1 when the program does not run.
pid_t start_child(const child_spec& spec, bool wait, unique_fd& reports, pid_t& pid) {
    prepared_launch prepared(spec, wait);
    const pid_t starter = prepared.start(reports);
    if (starter < 0) return -1;
    report message{};
    if (read_report(reports.get(), message) && message.kind == report_started) {
        pid = message.value;
        return starter;
    }
    reports.reset();
    reap(starter);
    errno = message.kind == report_failed ? message.value : ECHILD;
    return -1;
}

}  // namespace

waited_child::waited_child(const child_spec& spec) { starter_ = start_child(spec, true, reports_, pid_); }

waited_child& waited_child::operator=(waited_child&& other) noexcept {
    std::swap(starter_, other.starter_);
    std::swap(pid_, other.pid_);
    std::swap(reports_, other.reports_);
    return *this;
}

waited_child::~waited_child() {
    if (starter_ <= 0) return;
    reports_.reset();
    reap(starter_);
}

int waited_child::wait() {
    report message{};
    return read_report(reports_.get(), message) && message.kind == report_ended ? message.value : -1;
}

int run_and_wait(const child_spec& spec) {
    waited_child child(spec);
    return child.started() ? child.wait() : -1;
}

bool start_detached(const child_spec& spec) {
    unique_fd reports;
    pid_t pid = -1;
    const pid_t starter = start_child(spec, false, reports, pid);
    if (starter < 0) return false;
    reports.reset();
    reap(starter);
    return true;
}

bool is_executable_file(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace rkit
