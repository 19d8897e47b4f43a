// The runner, driving the shell on a real pseudo-terminal, and the terminal
// model whose cursor row the progress parsers read.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <tuple>

#include "archivers/console_runner.h"
#include "archivers/console_screen.h"
#include "rkit/text.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

struct Callback : bk::IConsoleCallback {
    std::function<bool(const bk::HiddenConsole&)> poll;
    std::wstring last_line;
    int calls = 0, questions = 0;
    void on_console_question(const bk::HiddenConsole&) override { ++questions; }
    bool on_console_poll(const bk::HiddenConsole& console) override {
        ++calls;
        return poll ? poll(console) : true;
    }
    void on_console_end(const bk::HiddenConsole& console) override { last_line = console.screen().cursor_line(); }
};

std::wstring sh(const std::wstring& script) { return L"/bin/sh -c \"" + script + L"\""; }

// A child that runs body, then counts SIGINTs until it has wanted of them,
// runs after and exits with the count. It waits in short sleeps, so that no
// SIGINT is held up behind one, and gives up after 30 s, so that no test hangs.
std::wstring counting(const std::wstring& body, int wanted, const std::wstring& after = L"") {
    return sh(L"n=0; trap 'n=$((n+1))' INT; " + body + L"; i=0; while [ $n -lt " + std::to_wstring(wanted) +
              L" ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done; " + after + L"exit $n");
}

// What the child sees: a terminal and its width, input or none, its folder.
const std::wstring info =
    L"if [ -t 1 ]; then echo tty $(stty size <&2 | cut -d' ' -f2); else echo notty; fi; read x || echo eof; pwd";

// Each false answer of the poll sends one SIGINT, which the child counts and
// exits with: with three it stays for several polls answered true, so an
// extra SIGINT would show. The child sees a wide terminal, no input and its
// folder; a line rewritten with \b, \r and colours reads as the terminal
// shows it; megabytes of output never block it (a runner that stopped reading
// between polls would leave it in write() until the test's time-out).
TEST(ConsoleRunner, EachFalseAnswerSendsOneSigint) {
    bktest::TempDir dir;
    const std::wstring progress = L"Сжатие  файл.txt   20%";
    const std::wstring tty = L"tty " + std::to_wstring(bk::ConsoleScreen::default_columns);
    const std::tuple<std::wstring, std::wstring, int> cases[] = {
        {counting(L"printf ready", 3, L"sleep 0.7; "), L"ready", 3},
        {counting(info + L"; printf 'Adding  файл.txt   10%%\\b\\b\\b\\b 20%%\\r\\033[1;32mСжатие\\033[0m'", 1),
         progress, 1},
        {counting(L"yes 'line of the flood' | head -n 450000; printf done", 1), L"done", 1}};
    for (const auto& [steps, marker, wanted] : cases) {
        int falses = 0;
        std::wstring top;
        Callback callback;
        callback.poll = [&](const bk::HiddenConsole& console) {
            if (console.screen().cursor_line() != marker || falses == wanted) return true;
            for (int i = 0; i < 3; ++i) top += console.screen().line(i) + L"|";
            return ++falses, false;
        };
        EXPECT_EQ(bk::run_console_process(steps, dir.wpath(), &callback), wanted) << marker;
        EXPECT_EQ(falses, wanted);
        if (marker == L"ready") {
            EXPECT_GT(callback.calls, wanted + 1);
        } else if (marker == progress) {
            EXPECT_EQ(top, tty + L"|eof|" + dir.wpath() + L"|");
        }
    }
}

TEST(ConsoleRunner, ThrowingCallbacksAreIgnored) {
    Callback throwing;
    throwing.poll = [&](const bk::HiddenConsole&) -> bool {
        if (throwing.calls == 1) throw std::runtime_error("progress display failed");
        return false;
    };
    EXPECT_EQ(bk::run_console_process(sh(L"echo started; sleep 30"), L"", &throwing), bk::exit_code_ctrl_c);
    EXPECT_GE(throwing.calls, 2);
}

// Both runners: the output file is emptied first and holds both streams in
// order; a signal gives the code Windows would show; a program or folder that
// is not there gives -1; a child that ends before the first poll is never
// polled. The exit code reaches them whatever the host does with SIGCHLD, and
// neither leaves a descriptor behind (a terminal, a pipe, the file).
TEST(ConsoleRunner, ExitCodesFromBothRunnersWhenChildrenAreIgnoredOrReapedAndNoDescriptorLeft) {
    bktest::TempDir dir;
    const auto out = dir / "out.txt";
    const auto open_descriptors = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
    };
    const auto before = open_descriptors();
    bktest::write_file(out, std::string(10000, 'x'));
    const std::wstring both_streams = L"echo o1; echo e1 >&2; echo o2; echo e2 >&2; exit 3";
    EXPECT_EQ(bk::run_process_to_file(sh(both_streams), L"", out.wstring()), 3);
    EXPECT_EQ(bktest::read_file(out), "o1\ne1\no2\ne2\n");
    EXPECT_EQ(bk::run_process_to_file(sh(info), dir.wpath(), out.wstring()), 0);
    EXPECT_EQ(bktest::read_file(out), "notty\neof\n" + dir.path().string() + "\n");

    const std::wstring missing = (dir / "missing").wstring();
    const std::tuple<std::wstring, std::wstring, uint32_t> cases[] = {
        {sh(L"kill -11 $$"), L"", 0xC000000Bu}, {sh(L"kill -9 $$"), L"", 0xC0000009u},
        {sh(L"kill -2 $$"), L"", 0xC000013Au},  {sh(L"kill -15 $$"), L"", 0xC000013Au},
        {sh(L"sleep 0.02; exit 5"), L"", 5},    {sh(L"exit 255"), L"", 255},
        {L"\"/no/such/program\" a", L"", -1u},  {L"no-such-program-vdk x", L"", -1u},
        {L"", L"", -1u},                        {L"\"\" x", L"", -1u},
        {sh(L"exit 0"), missing, -1u}};
    struct sigaction old {}, ignore {}, no_wait {}, reap {};
    ignore.sa_handler = SIG_IGN;
    no_wait.sa_handler = SIG_DFL;
    no_wait.sa_flags = SA_NOCLDWAIT;
    reap.sa_handler = [](int) { while (waitpid(-1, nullptr, WNOHANG) > 0) {} };
    sigaction(SIGCHLD, nullptr, &old);
    Callback callback;
    for (const struct sigaction& action : {old, ignore, no_wait, reap}) {
        sigaction(SIGCHLD, &action, nullptr);
        for (const auto& [line, folder, code] : cases) {
            EXPECT_EQ(bk::run_process_to_file(line, folder, out.wstring()), int32_t(code)) << rkit::wide_to_char(line);
            EXPECT_EQ(bk::run_console_process(line, folder, &callback), int32_t(code)) << rkit::wide_to_char(line);
        }
    }
    sigaction(SIGCHLD, &old, nullptr);
    EXPECT_EQ(bk::run_process_to_file(sh(L"exit 0"), L"", (dir / "no/folder/out.txt").wstring()), -1);
    EXPECT_EQ(callback.calls, 0);
    EXPECT_EQ(open_descriptors(), before);
}

// The password goes only to prompts with the echo off, once per prompt and
// at most three times; any other wait for input gets end-of-file at once (a
// hang would end in the test's time-out, not in exit code 0).
TEST(ConsoleRunner, PasswordTypedAtItsPromptsOtherQuestionsGetEndOfFile) {
    const std::wstring read = L"r() { read -r l && echo got $l || echo eof; }; ";
    const std::tuple<std::wstring, std::string, std::string, int> cases[] = {
        // ^C and ^U would interrupt the child or erase the line, unless typed literally.
        {L"printf Password:; stty -echo; r; r", "p\x03ss \x15word", "Password:got p\x03ss \x15word\r\neof\r\n", 1},
        {L"printf 'Enter password:'; stty -echo; r; printf Again:; r; printf Password:; r; printf Password:; r; "
         L"printf Password:; r",
         "pw", "Enter password:got pw\r\nAgain:eof\r\nPassword:got pw\r\nPassword:got pw\r\nPassword:eof\r\n", 2},
        {L"printf 'Overwrite?'; r", "pw", "Overwrite?eof\r\n", 1},
        {L"printf Password:; stty -echo 2>/dev/null; r", "", "Password:eof\r\n", 0},  // no password: /dev/null
    };
    for (const auto& [script, password, output, questions] : cases) {
        Callback callback;
        std::string transcript;
        EXPECT_EQ(bk::run_console_process(sh(read + script), L"", &callback, {password, &transcript}), 0)
            << rkit::wide_to_char(script);
        EXPECT_EQ(transcript, output) << rkit::wide_to_char(script);
        EXPECT_EQ(callback.questions, questions) << rkit::wide_to_char(script);
    }
}

// The last screen of a child that asked something and stopped at once, and
// the locale a child started without one gets: the archivers need UTF-8.
TEST(ConsoleRunner, LastScreenReachesTheCallbackAndChildrenGetAUtf8Locale) {
    std::vector<std::pair<std::string, std::string>> saved;
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        if (const char* value = getenv(name)) saved.emplace_back(name, value);
        unsetenv(name);
    }

    // Names that start like the ones the runner sets are the host's and stay.
    setenv("COLUMNX", "1", 1);
    setenv("LC_ALLX", "2", 1);
    Callback callback;
    const std::wstring ask = L"/bin/sh -c \"printf 'locale %s%s %s?' $COLUMNX $LC_ALLX $LC_ALL\"";
    EXPECT_EQ(bk::run_console_process(ask, L"", &callback), 0);
    EXPECT_EQ(callback.last_line, L"locale 12 C.UTF-8?");
    setenv("LANG", "ru_RU.UTF-8", 1);
    EXPECT_EQ(bk::run_console_process(ask, L"", &callback), 0);
    EXPECT_EQ(callback.last_line, L"locale 12 ?");

    for (const char* name : {"LANG", "COLUMNX", "LC_ALLX"}) unsetenv(name);
    for (const auto& [name, value] : saved) setenv(name.c_str(), value.c_str(), 1);
}

// The terminal model: each group writes its steps to one screen and reads
// the cursor row after each.
TEST(ConsoleScreen, CursorRowAfterRewritesEscapesAndSplitCharacters) {
    const std::vector<std::vector<std::pair<std::string, std::wstring>>> groups = {
        {{"Adding  a.txt   10%\rExtracting", L"Extractingtxt   10%"},  // \r moves without erasing
         {std::string(25, '\b') + "*", L"*xtractingtxt   10%"},         // \b stops at the left edge
         {"\nnext\tcol", L"next    col"}},
        {{"\x1b[1;32mgreen\x1b[0m \x1b]0;window title\x07\x1b(Bplain\x1b[?25l \x1b]2;t\x1b\\end", L"green plain end"},
         {"\r\x1b[", L"green plain end"},
         {"31mred", L"reden plain end"},
         {"\x1b[Kxy\x1b[10Gz\x1b[3D-\x1b[C+", L"redxy  - +"},
         {"\x1b[1K!", L"          !"}},
        {{"Сжатие \xD0", L"Сжатие"},
         {"\xB9: \xF0\x9F", L"Сжатие й:"},
         {"\x98\x80 ok\b\b\b\b\bЁ", L"Сжатие й:Ё\U0001F600 ok"},  // one character, one cell
         {"\n\xFF\x80x", L"\uFFFD\uFFFDx"}},
    };
    for (const auto& steps : groups) {
        bk::ConsoleScreen screen;
        for (const auto& [bytes, line] : steps) {
            screen.write(bytes);
            EXPECT_EQ(screen.cursor_line(), line) << rkit::wide_to_char(line);
        }
    }
}

}  // namespace
