#include "archivers/console_runner.h"

#include "rkit/command_line_split.h"
#include "rkit/process.h"
#include "rkit/text.h"
#include "rkit/unique_fd.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
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
#include <optional>
#include <stdexcept>

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

int32_t exit_code_of(int status) {
    if (status < 0) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        if (sig == SIGINT || sig == SIGTERM) return exit_code_ctrl_c;
        return exit_code_signal_base + sig;
    }
    return -1;
}

// The child of a command line, run in work_dir: the line split by the
// Windows rules, the program executed directly.
rkit::child_spec child_of(const std::wstring& command_line, const std::wstring& work_dir) {
    rkit::child_spec spec;
    for (const std::wstring& arg : rkit::split_command_line(command_line)) spec.args.push_back(rkit::wide_to_char(arg));
    spec.folder = rkit::wide_to_char(work_dir);
    return spec;
}

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
    Answerer(const rkit::waited_child& child, HiddenConsole& console, const std::string& password,
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

    const rkit::waited_child& child_;
    HiddenConsole& console_;
    const std::string& password_;
    IConsoleCallback* callback_;
    std::optional<Reader> answered_;
    uint64_t output_at_answer_ = 0;
    int passwords_typed_ = 0;
    int refusals_ = 0;
};

}  // namespace

HiddenConsole::HiddenConsole() : master_(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    const int master = master_.get();
    char name[128];
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0 ||
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK) != 0)
        throw std::logic_error("can't allocate console, error code: " + std::to_string(errno));
    terminal_name_ = name;
    winsize size{};
    size.ws_col = static_cast<unsigned short>(screen_.columns());
    size.ws_row = static_cast<unsigned short>(screen_.rows());
    ioctl(master, TIOCSWINSZ, &size);
}

bool HiddenConsole::drain() {
    // Bounded, so that a child that never stops writing still lets the
    // runner reach its polls.
    char buffer[65536];
    for (int reads = 0; reads < 16; ++reads) {
        const ssize_t n = read(master_.get(), buffer, sizeof buffer);
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
    rkit::child_spec spec = child_of(command_line, work_dir);
    spec.env = {{"COLUMNS", std::to_string(console.screen().columns())},
                {"LINES", std::to_string(console.screen().rows())}};
    // The screen model reads UTF-8. Started from cron or a service there may
    // be no locale at all, and rar then mangles non-ASCII names.
    if (!environment_is_utf8()) spec.env.emplace_back("LC_ALL", "C.UTF-8");
    console.keep_transcript(options.transcript);

    // In a session of its own, the terminal becomes the child's controlling
    // terminal. With a password to give, the child's input is the terminal;
    // without one it is /dev/null. Either way the child may open /dev/tty
    // itself (RAR reads its password from there), so every wait of it for
    // input from the terminal is answered.
    spec.terminal = console.terminal_name();
    spec.output = rkit::child_stream::terminal;
    spec.input = options.password.empty() ? rkit::child_stream::null_device : rkit::child_stream::terminal;
    rkit::waited_child child(spec);
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
            result = exit_code_of(child.wait());
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
        const rkit::unique_fd output(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
        if (!output.valid()) return -1;
        rkit::child_spec spec = child_of(command_line, work_dir);
        spec.output = rkit::child_stream::descriptor;
        spec.descriptor = output.get();
        return exit_code_of(rkit::run_and_wait(spec));
    } catch (const std::exception&) {
        return -1;
    }
}

}  // namespace bk
