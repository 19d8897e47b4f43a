// Starting programs as child processes: the one place that does.
//
// A program is executed directly, never through a shell, so that no text in
// its arguments is ever read as shell syntax. Between the fork and the exec a
// process of ours stands, the starter: it gives the program the default
// handling of every signal and no blocked one, its standard streams, its
// working folder, a session of its own when asked, and no descriptor of ours
// but the three standard streams. A copy of a threaded process may only make
// async-signal-safe calls, so everything it needs is made before the fork.
//
// Two ways to start one:
// - waited for: the starter waits for the program and reports its end on a
//   pipe. An exec makes any process report its end with SIGCHLD, which a
//   host may ignore (the kernel then reaps the child unasked) or catch with
//   a handler that reaps every child; the starter never executes anything
//   and keeps the exit signal it was cloned with: none. So the host neither
//   sees nor takes it, and its reports are how the exit code reaches us.
// - detached: the starter ends as soon as the exec has succeeded, and is
//   reaped here at once; the program is adopted by init and never lingers as
//   our zombie. Only whether the exec succeeded is known.
#pragma once
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "rkit/unique_fd.h"

namespace rkit {

// Where a child's standard streams come from and go to.
enum class child_stream {
    inherit,      // ours
    null_device,  // /dev/null
    descriptor,   // child_spec::descriptor (child_spec::input_descriptor for the input, when set)
    terminal,     // child_spec::terminal, which the child opens itself
};

struct child_spec {
    // The arguments; args[0] names the program.
    std::vector<std::string> args;
    // The file to execute; empty: args[0], a name without a slash looked up
    // in PATH, a relative path with one taken from our current folder (not
    // from the child's working folder).
    std::string program;
    // NAME and value set for the child, in place of our own NAME if we have one.
    std::vector<std::pair<std::string, std::string>> env;
    // The child's working folder; empty: ours.
    std::string folder;
    child_stream input = child_stream::null_device;
    child_stream output = child_stream::null_device;  // standard output and standard error alike
    int descriptor = -1;
    // The input's own descriptor, so that a child can read one file and write
    // another; -1: descriptor.
    int input_descriptor = -1;
    // Opened read-write by the child; in a session of its own a terminal
    // opened so becomes its controlling terminal.
    std::string terminal;
    // A session, and so a process group, of its own: a Control+C or the end
    // of our terminal does not reach it, and a signal to its group reaches
    // it and its own children, and nothing of ours.
    bool new_session = true;
};

// A child that is waited for.
class waited_child {
public:
    waited_child() = default;
    // Starts spec; not started() when the program is not there or cannot be
    // started (a working folder, a stream or the exec failed), errno then
    // says why.
    explicit waited_child(const child_spec& spec);
    waited_child(waited_child&& other) noexcept { *this = std::move(other); }
    waited_child& operator=(waited_child&& other) noexcept;
    // Waits for the starter's end, which follows the program's.
    ~waited_child();

    bool started() const { return starter_ > 0; }
    pid_t pid() const { return pid_; }
    // The process group of a child with a session of its own.
    pid_t group() const { return starter_; }
    // Readable once the program has ended.
    int end_fd() const { return reports_.get(); }
    // Waits for the program's end: its wait status (see waitpid), or -1
    // when it cannot be had.
    int wait();

private:
    pid_t starter_ = -1;
    pid_t pid_ = -1;
    unique_fd reports_;
};

// Starts spec and waits for its end: the wait status, or -1 when it could not
// be started or waited for.
int run_and_wait(const child_spec& spec);
// Starts spec without waiting for it: true once its exec has succeeded.
bool start_detached(const child_spec& spec);

// A regular file that we may execute.
bool is_executable_file(const std::string& path);

}  // namespace rkit
