// A console program the runner tests start as a child. Its arguments are
// steps done in order:
//   out TEXT / err TEXT   write TEXT to stdout / stderr, one write, no newline;
//                         \n \r \b \t \e \\ and \xHH are unescaped
//   trap                  count SIGINTs instead of dying of them
//   wait-sigint N         wait until N SIGINTs have been counted
//   pause                 wait for any signal
//   sleep MS              sleep
//   flood BYTES           write at least BYTES of whole numbered lines at full speed
//   info                  write "tty COLUMNS" or "notty", then "eof" or "input"
//                         for what stdin gives, then the current folder
//   exit N                exit with code N
//   exit-count            exit with the number of SIGINTs counted
//   signal N              die of signal N
// Every run ends after 30 s at the latest, so a test never hangs on it.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <string>

namespace {

volatile sig_atomic_t sigints = 0;

void on_sigint(int) { sigints = sigints + 1; }

std::string unescape(const char* s) {
    std::string out;
    for (; *s; ++s) {
        if (*s != '\\' || !s[1]) {
            out.push_back(*s);
            continue;
        }
        switch (*++s) {
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 'b': out.push_back('\b'); break;
        case 't': out.push_back('\t'); break;
        case 'e': out.push_back('\x1b'); break;
        case 'x': {
            const char hex[3] = {s[1], s[1] ? s[2] : '\0', '\0'};
            out.push_back(static_cast<char>(strtol(hex, nullptr, 16)));
            s += 2;
            break;
        }
        default: out.push_back(*s); break;
        }
    }
    return out;
}

void write_all(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) exit(100);
        done += static_cast<size_t>(n);
    }
}

void sleep_ms(long ms) {
    timespec t{ms / 1000, (ms % 1000) * 1000000};
    while (nanosleep(&t, &t) != 0) {
    }
}

void flood(long bytes) {
    std::string block;
    for (int i = 0; block.size() < 65536; ++i) block += "line " + std::to_string(i) + " of the flood\n";
    for (long left = bytes; left > 0; left -= static_cast<long>(block.size())) write_all(1, block);
}

void info() {
    std::string text;
    winsize size{};
    if (isatty(1) && ioctl(1, TIOCGWINSZ, &size) == 0)
        text = "tty " + std::to_string(size.ws_col) + "\n";
    else
        text = "notty\n";
    char c;
    text += read(0, &c, 1) == 0 ? "eof\n" : "input\n";
    char cwd[4096];
    text += getcwd(cwd, sizeof cwd) ? cwd : "?";
    text += "\n";
    write_all(1, text);
}

}  // namespace

int main(int argc, char** argv) {
    alarm(30);
    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i];
        const char* arg = i + 1 < argc ? argv[i + 1] : "";
        if (step == "out") {
            write_all(1, unescape(arg));
            ++i;
        } else if (step == "err") {
            write_all(2, unescape(arg));
            ++i;
        } else if (step == "trap") {
            struct sigaction sa {};
            sa.sa_handler = on_sigint;
            sigaction(SIGINT, &sa, nullptr);
        } else if (step == "wait-sigint") {
            // SIGINT blocked between the test and the wait, so none is missed.
            sigset_t block, old;
            sigemptyset(&block);
            sigaddset(&block, SIGINT);
            sigprocmask(SIG_BLOCK, &block, &old);
            while (sigints < atol(arg)) sigsuspend(&old);
            sigprocmask(SIG_SETMASK, &old, nullptr);
            ++i;
        } else if (step == "pause") {
            pause();
        } else if (step == "sleep") {
            sleep_ms(atol(arg));
            ++i;
        } else if (step == "flood") {
            flood(atol(arg));
            ++i;
        } else if (step == "info") {
            info();
        } else if (step == "exit") {
            return atoi(arg);
        } else if (step == "exit-count") {
            return sigints;
        } else if (step == "signal") {
            signal(atoi(arg), SIG_DFL);
            raise(atoi(arg));
            ++i;
        } else {
            fprintf(stderr, "console_child: unknown step %s\n", argv[i]);
            return 99;
        }
    }
    return 0;
}
