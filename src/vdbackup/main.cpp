// vdbackup: the backup executable. Scheduled tasks and the module start it to
// make or restore a backup outside the host's process. It stands in for the
// host: it answers the module's parameters from the host profile and the
// command line, and reports the module's messages on standard error and, one
// line a run, in vdbackup.log. It holds
// the module's libraries itself rather than loading libvardobk.so.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "app/commands/commands.h"
#include "app/dispatch.h"
#include "core/error_list.h"
#include "core/stop_request.h"
#include "rkit/command_line_quote.h"
#include "rkit/path.h"
#include "rkit/process.h"
#include "rkit/text.h"
#include "run_log.h"
#include "run_plan.h"
#include "vardobk/command_line.h"

namespace {

vdbackup::RunPlan plan;

// SIGINT, SIGTERM and SIGHUP (a user's Ctrl+C, a shutdown, a closed
// terminal) stop the work as Cancel would, so that nothing half-made stays
// behind; a second one ends the program at once.
volatile sig_atomic_t stop_signals = 0;

extern "C" void on_stop_signal(int sig) {
    const sig_atomic_t seen = stop_signals;
    stop_signals = seen + 1;
    if (seen > 0) {
        ::signal(sig, SIG_DFL);
        ::raise(sig);
        return;
    }
    bk::request_stop();
}

void handle_stop_signals() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &action, nullptr);
}

int32_t answer_param(const char* key, char* buffer, int32_t size) {
    auto it = plan.params.find(key);
    if (it == plan.params.end()) return -1;
    const auto length = static_cast<int32_t>(it->second.size());
    if (buffer && size > 0) it->second.copy(buffer, static_cast<size_t>(std::min(length, size)));
    return length;
}

// The command line as the module wrote it: argv joined back by the Windows
// quoting rules, which the parser splits again.
std::wstring own_command_line(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 0; i < argc; ++i) args.push_back(rkit::char_to_wide(argv[i]));
    return rkit::join_command_line(args);
}

bool process_running(uint32_t pid) {
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return false;
    // A child of someone else that has ended but was not reaped yet holds no files.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const auto close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] != 'Z';
}

void wait_for_process(uint32_t pid) {
    if (pid == 0 || pid == static_cast<uint32_t>(getpid())) return;
    while (stop_signals == 0 && process_running(pid)) std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

// The host program, started again as it was started before: in this
// session, with our standard streams.
void start_detached(const std::vector<std::wstring>& command) {
    rkit::child_spec spec;
    for (const auto& arg : command) spec.args.push_back(rkit::native_path(arg));
    spec.input = spec.output = rkit::child_stream::inherit;
    spec.new_session = false;
    if (!rkit::start_detached(spec)) std::fprintf(stderr, "vdbackup: cannot start %s\n", spec.args[0].c_str());
}

std::string message(int32_t index) {
    std::string text(static_cast<size_t>(bk::copy_error(index, nullptr, 0)), '\0');
    bk::copy_error(index, text.data(), static_cast<int32_t>(text.size()));
    return text;
}

void print_messages() {
    for (int32_t i = 0; i < bk::error_count(); ++i) std::fprintf(stderr, "%s\n", message(i).c_str());
}

// One line in vdbackup.log; whatever goes wrong there leaves the run as it was.
void log_run(int32_t mode, int code, const std::string& failure) {
    try {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        const std::string first = !failure.empty() ? failure : bk::error_count() > 0 ? message(0) : std::string();
        const std::string line =
            vdbackup::log_line(local, vdbackup::mode_name(mode), code, rkit::wide_to_char(bk::last_archive()), first);
        vdbackup::append_log_line(vdbackup::log_folder(answer_param) / vdbackup::RUN_LOG_NAME, line);
    } catch (...) {
    }
}

// --help and --version, as a Linux user tries them; the switches of the
// module's own command lines are read by its parser.
bool answered_long_option(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(vdbackup::usage_text().c_str(), stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vdbackup %s\n", VDBACKUP_VERSION);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (answered_long_option(argc, argv)) return BK_DONE;
    handle_stop_signals();
    std::unique_ptr<bk::IBkCommandLineInfo> info(bk::factoryBkCommandLineInfo());
    bk::WinappParseCommandLine(own_command_line(argc, argv), *info);
    const int32_t mode = info->mode();
    try {
        vdbackup::check_usage(*info);
        bk::HostProfile profile;
        if (!info->help()) {
            const std::wstring path = vdbackup::profile_path(*info);
            try {
                profile = bk::read_host_profile(path);
            } catch (const std::exception& e) {
                const std::string failure = "vdbackup: cannot read the host profile " + rkit::wide_to_char(path);
                std::fprintf(stderr, "%s\n%s\n", e.what(), failure.c_str());
                log_run(mode, BK_FAILED, failure + ": " + e.what());
                return BK_FAILED;
            }
        }
        plan = vdbackup::plan_run(*info, profile);
    } catch (const vdbackup::usage_error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        log_run(mode, vdbackup::EXIT_USAGE, e.what());
        return vdbackup::EXIT_USAGE;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        log_run(mode, BK_FAILED, e.what());
        return BK_FAILED;
    }
    if (plan.show_help) {
        std::fputs(vdbackup::usage_text().c_str(), stdout);
        return BK_DONE;
    }

    wait_for_process(plan.wait_for_pid);
    const uint32_t result = bk::dispatch(bk::module_commands(), plan.command, nullptr, plan.flags, answer_param, nullptr);
    print_messages();
    log_run(mode, static_cast<int>(result), {});
    // Stopped by a signal, the machine or the user is going away: the host
    // program is not started again.
    if (!plan.restart.empty() && stop_signals == 0) start_detached(plan.restart);
    return static_cast<int>(result);
}
