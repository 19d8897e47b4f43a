// Running console programs (the archivers) as child processes and waiting for
// them.
//
// run_console_process puts the child on a pseudo-terminal of its own, so that
// it prints its progress as it would for a user, and keeps a model of that
// terminal's screen; every 200 ms the callback may read the line the cursor
// stands on in the console it is handed and may ask the child to stop, which
// sends it SIGINT. run_process_to_file sends both output streams to a file instead.
//
// Exit codes keep the meaning the archiver drivers know: a normal exit gives
// its code; a child ended by SIGINT or SIGTERM gives 0xC000013A ("ended by
// Control+C"); one ended by another signal 0xC0000000 plus the signal number;
// -1 means the program could not be started or waited for. The children are
// started so that the host's handling of SIGCHLD (ignored, or a handler that
// reaps every child) neither sees nor takes them.
//
// A command line is split by the Windows rules (rkit::split_command_line) and
// the program is executed directly, without a shell; a program name without a
// slash is looked up in PATH. The only input a child ever gets is the archive
// password, typed at its own password prompt: a password never stands on a
// command line, where every local user could read it. Any other question gets
// end-of-file, so the program stops instead of waiting for an answer nobody
// can give.
#pragma once
#include <cstdint>
#include <string>

#include "archivers/console_screen.h"
#include "rkit/unique_fd.h"

namespace bk {

// The child ended by SIGINT or SIGTERM.
constexpr int32_t exit_code_ctrl_c = static_cast<int32_t>(0xC000013Au);
// The child ended by signal n: exit_code_signal_base + n.
constexpr int32_t exit_code_signal_base = static_cast<int32_t>(0xC0000000u);

// The terminal of one run_console_process call: a pseudo-terminal whose
// master side the runner reads, and the screen that its output draws.
class HiddenConsole {
public:
    // Opens the pseudo-terminal. Throws std::logic_error
    // "can't allocate console, error code: " and errno in decimal.
    HiddenConsole();
    HiddenConsole(const HiddenConsole&) = delete;
    HiddenConsole& operator=(const HiddenConsole&) = delete;

    // The master side (non-blocking, closed on exec) and the name of the
    // side the child opens as its terminal.
    int master_fd() const { return master_.get(); }
    const std::string& terminal_name() const { return terminal_name_; }

    ConsoleScreen& screen() { return screen_; }
    const ConsoleScreen& screen() const { return screen_; }

    // Moves what the terminal holds to the screen (and the transcript, when
    // one is kept) without waiting. False once nobody has the terminal open
    // any more and everything has been read.
    bool drain();
    // Every byte read from now on is also appended to transcript (null: none).
    void keep_transcript(std::string* transcript) { transcript_ = transcript; }
    // How many bytes the child has written to the terminal so far.
    uint64_t output_bytes() const { return output_bytes_; }

private:
    rkit::unique_fd master_;
    std::string terminal_name_;
    ConsoleScreen screen_;
    std::string* transcript_ = nullptr;
    uint64_t output_bytes_ = 0;
};

class IConsoleCallback {
public:
    // Called on the runner's thread about every 200 ms while the child runs.
    // true: go on; false: ask the child to stop (SIGINT to its process group);
    // it is asked again at the next poll, and each false sends another SIGINT.
    // Whatever it throws is ignored.
    virtual bool on_console_poll(const HiddenConsole& console) = 0;
    // Called when the child waits for an answer from its terminal that the
    // runner does not give (anything but the password it was given); the
    // child then reads end-of-file. Whatever it throws is ignored.
    virtual void on_console_question(const HiddenConsole&) {}
    // Called once after the child has ended and its last output was read, so
    // that a question the child asked just before it stopped can be seen.
    // Whatever it throws is ignored.
    virtual void on_console_end(const HiddenConsole&) {}
    virtual ~IConsoleCallback() = default;
};

struct ConsoleOptions {
    // Typed (UTF-8) at the child's password prompts: when the child waits
    // for input with the terminal's echo off and the cursor line asks for a
    // password, once per prompt and at most a few times in a run. Empty: the
    // child's input is /dev/null.
    std::string password;
    // When set, receives every byte the child wrote to the terminal (lines
    // end in "\r\n" there).
    std::string* transcript = nullptr;
};

// Runs command_line in work_dir (empty: the current folder) on a new
// pseudo-terminal and waits for its end, calling back every 200 ms while it
// runs; callback may be null. A child that ends before the first 200 ms is
// never polled. Returns the exit code, -1 when the program cannot be started
// or the wait fails. Throws std::logic_error when the terminal cannot be made.
int32_t run_console_process(const std::wstring& command_line, const std::wstring& work_dir,
                            IConsoleCallback* callback, const ConsoleOptions& options = {});

// Runs command_line in work_dir with standard output and standard error both
// written to output_file, which is created or truncated first, and waits
// without a limit. Returns the exit code, or -1 when the file cannot be
// created, the program cannot be started or the wait fails. Never throws.
int32_t run_process_to_file(const std::wstring& command_line, const std::wstring& work_dir,
                            const std::wstring& output_file);

}  // namespace bk
