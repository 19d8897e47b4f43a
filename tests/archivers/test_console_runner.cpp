#include <gtest/gtest.h>

#include "archivers/console_runner.h"
#include "rkit/text.h"
#include "support/temp_dir.h"

#include <functional>
#include <stdexcept>

namespace {

using Poll = std::function<bool(const bk::HiddenConsole&)>;

class Callback : public bk::IConsoleCallback {
public:
    explicit Callback(Poll poll = nullptr) : poll_(std::move(poll)) {}
    bool on_console_poll(const bk::HiddenConsole& console) override {
        ++calls;
        return poll_ ? poll_(console) : true;
    }
    int calls = 0;

private:
    Poll poll_;
};

// A command line that runs the test child with the given steps.
std::wstring child(const std::wstring& steps) {
    return L"\"" + rkit::char_to_wide(CONSOLE_CHILD_PATH) + L"\" " + steps;
}

std::wstring cursor_line() {
    std::wstring line;
    return bk::read_console_line(line) ? line : L"<no console>";
}

// Exit code of a child that the 30 s safety alarm of the test child ended:
// what a test sees instead of hanging when the runner misbehaves.
constexpr int32_t ended_by_alarm = bk::exit_code_signal_base + 14;

}  // namespace

class ConsoleRunnerSigint : public testing::TestWithParam<int> {};

TEST_P(ConsoleRunnerSigint, EachFalseAnswerSendsOneSigint) {
    // The child counts SIGINTs and, having got as many as expected, stays
    // long enough for several more polls answered true, then exits with its count.
    const int wanted = GetParam();
    int falses = 0;
    Callback callback([&](const bk::HiddenConsole&) {
        if (cursor_line() != L"ready" || falses == wanted) return true;
        ++falses;
        return false;
    });
    const int32_t result = bk::run_console_process(
        child(L"trap out ready wait-sigint " + std::to_wstring(wanted) + L" sleep 700 exit-count"), L"",
        &callback);
    EXPECT_EQ(result, wanted);
    EXPECT_EQ(falses, wanted);
    EXPECT_GT(callback.calls, wanted + 1);
}

INSTANTIATE_TEST_SUITE_P(Answers, ConsoleRunnerSigint, testing::Values(1, 3));

TEST(ConsoleRunner, ChildThatEndsAtOnceIsNeverPolled) {
    Callback callback;
    EXPECT_EQ(bk::run_console_process(child(L"out bye exit 5"), L"", &callback), 5);
    EXPECT_EQ(callback.calls, 0);
    EXPECT_EQ(bk::run_console_process(child(L"exit 0"), L"", nullptr), 0);
}

TEST(ConsoleRunner, CallbackExceptionsAreIgnoredAndSigintEndsTheChild) {
    Callback callback([&](const bk::HiddenConsole&) -> bool {
        if (callback.calls == 1) throw std::runtime_error("progress display failed");
        return false;
    });
    EXPECT_EQ(bk::run_console_process(child(L"out started pause"), L"", &callback), bk::exit_code_ctrl_c);
    EXPECT_GE(callback.calls, 2);
}

TEST(ConsoleRunner, CursorLineOfTheLiveTerminal) {
    // Rewrites with \b and \r, a colour sequence and Cyrillic text, all
    // through a real terminal; the child waits until the line was seen.
    std::wstring seen;
    Callback callback([&](const bk::HiddenConsole&) {
        seen = cursor_line();
        return seen != L"Сжатие  файл.txt   20%";
    });
    const int32_t result = bk::run_console_process(
        child(L"trap out \"first line\\n\" out \"Adding  файл.txt   10%\\b\\b\\b\\b 20%\\r\\e[1;32mСжатие\\e[0m\" "
              L"wait-sigint 1 exit-count"),
        L"", &callback);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(seen, L"Сжатие  файл.txt   20%");
}

TEST(ConsoleRunner, ChildSeesAWideTerminalNoInputAndItsWorkingFolder) {
    bktest::TempDir dir;
    std::wstring lines[4];
    Callback callback([&](const bk::HiddenConsole& console) {
        if (cursor_line() != L"ready, two words") return true;
        for (int i = 0; i < 4; ++i) lines[i] = console.screen().line(i);
        return false;
    });
    EXPECT_EQ(bk::run_console_process(child(L"info out \"ready, two words\" pause"), dir.wpath(), &callback),
              bk::exit_code_ctrl_c);
    EXPECT_EQ(lines[0], L"tty " + std::to_wstring(bk::ConsoleScreen::default_columns));
    EXPECT_EQ(lines[1], L"eof");
    EXPECT_EQ(lines[2], dir.wpath());
    EXPECT_EQ(lines[3], L"ready, two words");
}

TEST(ConsoleRunner, ChildWritingMegabytesNeverBlocks) {
    // The marker comes after the flood, so seeing it means the whole flood
    // was read; a runner that stopped reading would leave the child stuck
    // in write() until its alarm.
    Callback callback([&](const bk::HiddenConsole&) { return cursor_line() != L"done"; });
    const int32_t result =
        bk::run_console_process(child(L"trap flood 8000000 out done wait-sigint 1 exit-count"), L"", &callback);
    EXPECT_NE(result, ended_by_alarm);
    EXPECT_EQ(result, 1);
}

TEST(ConsoleRunner, MissingProgramOrFolderGivesMinusOne) {
    bktest::TempDir dir;
    const std::wstring out = (dir / "out.txt").wstring();
    Callback callback;
    for (const std::wstring& line : {std::wstring(L"\"/no/such/program\" a"), std::wstring(L"no-such-program-vdk x"),
                                     std::wstring(L""), std::wstring(L"\"\" x")}) {
        EXPECT_EQ(bk::run_console_process(line, L"", &callback), -1);
        EXPECT_EQ(bk::run_process_to_file(line, L"", out), -1);
    }
    const std::wstring missing_dir = (dir / "missing").wstring();
    EXPECT_EQ(bk::run_console_process(child(L"exit 0"), missing_dir, &callback), -1);
    EXPECT_EQ(bk::run_process_to_file(child(L"exit 0"), missing_dir, out), -1);
    EXPECT_EQ(callback.calls, 0);
}

TEST(ProcessToFile, TruncatesAndKeepsBothStreamsInOrder) {
    bktest::TempDir dir;
    const auto out = dir / "listing.txt";
    bktest::write_file(out, std::string(10000, 'x'));
    EXPECT_EQ(bk::run_process_to_file(child(L"out o1\\n err e1\\n out o2\\n err e2\\n exit 3"), L"", out.wstring()), 3);
    EXPECT_EQ(bktest::read_file(out), "o1\ne1\no2\ne2\n");

    EXPECT_EQ(bk::run_process_to_file(child(L"info"), dir.wpath(), out.wstring()), 0);
    EXPECT_EQ(bktest::read_file(out), "notty\neof\n" + dir.path().string() + "\n");

    EXPECT_EQ(bk::run_process_to_file(child(L"exit 0"), L"", (dir / "no/such/folder/out.txt").wstring()), -1);
}

TEST(ProcessToFile, ChildEndedBySignals) {
    bktest::TempDir dir;
    const std::wstring out = (dir / "out.txt").wstring();
    EXPECT_EQ(bk::run_process_to_file(child(L"signal 11"), L"", out), static_cast<int32_t>(0xC000000Bu));
    EXPECT_EQ(bk::run_process_to_file(child(L"signal 9"), L"", out), static_cast<int32_t>(0xC0000009u));
    EXPECT_EQ(bk::run_process_to_file(child(L"signal 15"), L"", out), bk::exit_code_ctrl_c);
    EXPECT_EQ(bk::run_process_to_file(child(L"signal 2"), L"", out), bk::exit_code_ctrl_c);
    EXPECT_EQ(bk::run_process_to_file(child(L"exit 255"), L"", out), 255);
    EXPECT_EQ(bk::run_console_process(child(L"signal 11"), L"", nullptr), static_cast<int32_t>(0xC000000Bu));
}

// The last screen of a child that asked something and stopped at once, and
// the locale a child started without one gets: the archivers need UTF-8.
TEST(ConsoleRunner, LastScreenReachesTheCallbackAndChildrenGetAUtf8Locale) {
    struct LastLine : bk::IConsoleCallback {
        bool on_console_poll(const bk::HiddenConsole&) override { return true; }
        void on_console_end(const bk::HiddenConsole& console) override { line = console.screen().cursor_line(); }
        std::wstring line;
    } callback;
    const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    std::vector<std::pair<std::string, std::string>> saved;
    for (const char* name : names)
        if (const char* value = getenv(name)) saved.emplace_back(name, value);
    for (const char* name : names) unsetenv(name);

    EXPECT_EQ(bk::run_console_process(L"/bin/sh -c \"printf 'locale %s?' $LC_ALL\"", L"", &callback), 0);
    EXPECT_EQ(callback.line, L"locale C.UTF-8?");

    setenv("LANG", "ru_RU.UTF-8", 1);
    EXPECT_EQ(bk::run_console_process(L"/bin/sh -c \"printf 'locale %s?' $LC_ALL\"", L"", &callback), 0);
    EXPECT_EQ(callback.line, L"locale ?");

    unsetenv("LANG");
    for (const auto& [name, value] : saved) setenv(name.c_str(), value.c_str(), 1);
}
