// A console program the runner tests start as a child. Its arguments are
// steps done in order:
//   out TEXT / err TEXT   write TEXT (\n \r \b \e unescaped) to stdout / stderr, in one write
//   trap                  count SIGINTs instead of dying of them
//   wait-sigint N         wait until N SIGINTs have been counted
//   sleep MS              sleep
//   flood BYTES           write at least BYTES of numbered lines at full speed
//   info                  write "tty COLUMNS" or "notty", then "eof" or "input"
//                         for what stdin gives, then the current folder
//   noecho                turn the terminal's echo off, as a password prompt does
//   read                  read a line from stdin, write "got LINE" or "eof"
//   exit N / exit-count   exit with code N / with the number of SIGINTs counted
//   signal N              die of signal N
// Every run ends after 30 s at the latest, so a test never hangs on it.
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <string>

namespace {

volatile sig_atomic_t sigints = 0;

void write_all(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) exit(100);
        done += static_cast<size_t>(n);
    }
}

std::string unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        const size_t k = s[i] == '\\' && i + 1 < s.size() ? std::string("nrbe").find(s[i + 1]) : std::string::npos;
        out.push_back(k == std::string::npos ? s[i] : "\n\r\b\x1b"[k]);
        i += k != std::string::npos;
    }
    return out;
}

std::string info() {
    winsize size{};
    std::string text = isatty(1) && ioctl(1, TIOCGWINSZ, &size) == 0 ? "tty " + std::to_string(size.ws_col) : "notty";
    char c, cwd[4096];
    text += read(0, &c, 1) == 0 ? "\neof\n" : "\ninput\n";
    return text + (getcwd(cwd, sizeof cwd) ? cwd : "?") + "\n";
}

}  // namespace

int main(int argc, char** argv) {
    alarm(30);
    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i], arg = i + 1 < argc ? argv[i + 1] : "";
        const long n = atol(arg.c_str());
        if (step == "trap") {
            struct sigaction sa {};
            sa.sa_handler = [](int) { sigints = sigints + 1; };
            sigaction(SIGINT, &sa, nullptr);
        } else if (step == "info") {
            write_all(1, info());
        } else if (step == "noecho") {
            termios mode{};
            tcgetattr(0, &mode);
            mode.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            tcsetattr(0, TCSANOW, &mode);
        } else if (step == "read") {
            std::string line;
            char c = 0;
            while (read(0, &c, 1) == 1 && c != '\n') line += c;
            write_all(1, c == '\n' ? "got " + line + "\n" : "eof\n");
        } else if (step == "exit-count") {
            return sigints;
        } else if (++i; step == "out" || step == "err") {  // the steps from here on take an argument
            write_all(step == "out" ? 1 : 2, unescape(arg));
        } else if (step == "wait-sigint") {
            // SIGINT blocked between the test and the wait, so none is missed.
            sigset_t block, old;
            sigemptyset(&block);
            sigaddset(&block, SIGINT);
            sigprocmask(SIG_BLOCK, &block, &old);
            while (sigints < n) sigsuspend(&old);
            sigprocmask(SIG_SETMASK, &old, nullptr);
        } else if (step == "sleep") {
            for (timespec t{n / 1000, (n % 1000) * 1000000}; nanosleep(&t, &t) != 0;) {
            }
        } else if (step == "flood") {
            std::string block;
            for (int line = 0; block.size() < 65536; ++line) block += "line " + std::to_string(line) + " of the flood\n";
            for (long left = n; left > 0; left -= static_cast<long>(block.size())) write_all(1, block);
        } else if (step == "signal") {
            signal(static_cast<int>(n), SIG_DFL);
            raise(static_cast<int>(n));
        } else if (step == "exit") {
            return static_cast<int>(n);
        } else {
            write_all(2, "console_child: unknown step " + step + "\n");
            return 99;
        }
    }
    return 0;
}
