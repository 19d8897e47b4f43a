#include "tasks/headless_ui.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <mutex>
#include <thread>

#include "core/string_table.h"
#include "rkit/path.h"
#include "rkit/text.h"

namespace bk {
namespace {

void print_line(const std::wstring& text) {
    std::string narrow = rkit::wide_to_char(text);
    std::fprintf(stderr, "%s\n", narrow.c_str());
    std::fflush(stderr);
}

// The status of a task nobody watches: kept for get_status, shown as one
// live line when standard error is a terminal. Nobody can press Cancel.
class HeadlessStatus : public IWorkerStatus {
public:
    explicit HeadlessStatus(bool live) : live_(live) {}

    bool canceled() override { return false; }
    TaskStatus get_status() override {
        std::lock_guard guard(lock_);
        return status_;
    }
    void set_status(const TaskStatus& status) override {
        std::lock_guard guard(lock_);
        status_ = status;
    }
    int ask(const std::wstring& text, uint32_t type) override {
        std::lock_guard guard(output_lock_);
        clear_line_locked();
        print_line(text);
        return unattended_answer(type);
    }

    // Redraws the live line; called by the waiting thread every 200 ms.
    void refresh() {
        if (!live_) return;
        std::lock_guard guard(output_lock_);
        TaskStatus copy = get_status();
        std::wstring line = copy.text;
        for (auto& c : line)
            if (c == L'\n' || c == L'\r') c = L' ';
        if (copy.progress >= 0) line = std::to_wstring(copy.progress) + L"% " + line;
        if (line.size() > 100) line = line.substr(0, 97) + L"...";
        std::string narrow = rkit::wide_to_char(line);
        std::fprintf(stderr, "\r\033[K%s", narrow.c_str());
        std::fflush(stderr);
        shown_ = true;
    }
    void clear_line() {
        std::lock_guard guard(output_lock_);
        clear_line_locked();
    }

private:
    void clear_line_locked() {
        if (live_ && shown_) {
            std::fprintf(stderr, "\r\033[K");
            shown_ = false;
        }
    }

    const bool live_;
    std::mutex output_lock_;  // the worker's questions and the live line share stderr
    bool shown_ = false;
    std::mutex lock_;
    TaskStatus status_;
};

}  // namespace

int HeadlessUserInterface::message_box(void*, const std::wstring& text, uint32_t type) {
    print_line(text);
    return unattended_answer(type);
}

void HeadlessUserInterface::run_with_progress(void*, const std::wstring& headline,
                                              const std::function<void(IWorkerStatus&)>& work) {
    const bool live = isatty(STDERR_FILENO) == 1;
    HeadlessStatus status(live);
    if (live) print_line(headline);
    auto done = std::async(std::launch::async, [&] { work(status); });
    while (done.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready) status.refresh();
    status.clear_line();
    done.get();
}

bool HeadlessUserInterface::backup_dialog(void*, const std::vector<Component>&, AutoParams&) {
    throw dialog_unavailable();
}

std::optional<std::wstring> HeadlessUserInterface::restore_dialog(void*, const RestoreDialogInput&) {
    throw dialog_unavailable();
}

void HeadlessUserInterface::restore_warnings(void*, const std::wstring& archive,
                                             const std::vector<RestoreProblem>& problems) {
    print_line(format_string(ids::RESTORE_PROBLEMS, {rkit::extract_name_ext(archive)}));
    for (const auto& problem : problems) {
        std::wstring line = L"\t" + problem.file + L": " + problem.message;
        if (!problem.system_error_text.empty()) line += L" (" + problem.system_error_text + L")";
        print_line(line);
    }
}

bool HeadlessUserInterface::settings_sheet(void*, SetupContext&) { throw dialog_unavailable(); }

}  // namespace bk
