// A user interface for tests: answers questions from a script, records what
// was shown, and presses Cancel at a chosen moment. Work still runs on a real
// worker thread, as it does behind the real progress window.
#pragma once
#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tasks/user_interface.h"

namespace bktest {

// The next answer of a script, or after its last what is answered when nobody
// is there; a dialog script that has run out throws, as without a display.
template <typename Answer>
Answer next_answer(std::deque<Answer>& script, uint32_t box_type = 0) {
    if constexpr (std::is_same_v<Answer, int>)
        if (script.empty()) return bk::unattended_answer(box_type);
    if (script.empty()) throw bk::dialog_unavailable();
    Answer answer = std::move(script.front());
    script.pop_front();
    return answer;
}

class ScriptedStatus : public bk::IWorkerStatus {
public:
    struct Question {
        std::wstring text;
        uint32_t type;
    };

    // Cancel once the task has reported this many statuses (0: from the start),
    // or once a status text contains piece.
    void cancel_after_updates(int count) { locked([&] { cancel_after_ = count; }); }
    void cancel_when_text_contains(const std::wstring& piece) { locked([&] { cancel_on_text_ = piece; }); }
    void cancel() { canceled_ = true; }
    void answer_with(std::vector<int> answers) { locked([&] { answers_.assign(answers.begin(), answers.end()); }); }
    // Called with every status on the worker thread: the test changes the world at a chosen step.
    void on_status(std::function<void(const bk::TaskStatus&)> action) { locked([&] { on_status_ = action; }); }

    bool canceled() override { return canceled_; }
    bk::TaskStatus get_status() override {
        return locked([&] { return statuses_.empty() ? bk::TaskStatus{} : statuses_.back(); });
    }
    void set_status(const bk::TaskStatus& status) override {
        if (const auto action = locked([&] { return on_status_; })) action(status);
        std::lock_guard guard(lock_);
        statuses_.push_back(status);
        if (cancel_after_ >= 0 && static_cast<int>(statuses_.size()) >= cancel_after_) canceled_ = true;
        if (!cancel_on_text_.empty() && status.text.find(cancel_on_text_) != std::wstring::npos) canceled_ = true;
    }
    int ask(const std::wstring& text, uint32_t type) override {
        std::lock_guard guard(lock_);
        questions_.push_back({text, type});
        return next_answer(answers_, type);
    }

    std::vector<bk::TaskStatus> statuses() const { return locked([&] { return statuses_; }); }
    std::vector<Question> questions() const { return locked([&] { return questions_; }); }
    bool showed(const std::wstring& piece) const {  // some status text contains piece
        const auto all = statuses();
        return std::any_of(all.begin(), all.end(), [&](const auto& s) { return s.text.find(piece) != s.text.npos; });
    }

private:
    template <typename F>
    auto locked(F f) const -> decltype(f()) {
        std::lock_guard guard(lock_);
        return f();
    }

    mutable std::mutex lock_;
    std::atomic<bool> canceled_{false};
    int cancel_after_ = -1;
    std::wstring cancel_on_text_;
    std::function<void(const bk::TaskStatus&)> on_status_;
    std::deque<int> answers_;
    std::vector<bk::TaskStatus> statuses_;
    std::vector<Question> questions_;
};

class ScriptedUserInterface : public bk::IUserInterface {
public:
    ScriptedUserInterface() { bk::set_user_interface(this); }
    ~ScriptedUserInterface() override { bk::set_user_interface(nullptr); }

    void answer_boxes_with(std::vector<int> answers) { box_answers_.assign(answers.begin(), answers.end()); }
    int message_box(void*, const std::wstring& text, uint32_t type) override {
        boxes.push_back({text, type});
        return next_answer(box_answers_, type);
    }

    void run_with_progress(void*, const std::wstring& headline,
                           const std::function<void(bk::IWorkerStatus&)>& work) override {
        headlines.push_back(headline);
        std::thread([&] { work(status); }).join();
    }

    // Each dialog answers from its script: OK after the edit, a chosen
    // archive, or Cancel (no edit, no archive). A dialog a test did not
    // expect cannot be shown, and fails the command.
    void backup_dialog_ok(std::function<void(bk::AutoParams&)> edit = {}) { backup_script_.push_back(ok(edit)); }
    void backup_dialog_cancel() { backup_script_.push_back(nullptr); }
    bool backup_dialog(void*, const std::vector<bk::Component>& components, bk::AutoParams& params) override {
        backup_dialogs.push_back({components, params});
        return answer(backup_script_, params);
    }
    void restore_dialog_choose(const std::wstring& archive) { restore_script_.push_back(archive); }
    void restore_dialog_cancel() { restore_script_.push_back(std::nullopt); }
    std::optional<std::wstring> restore_dialog(void*, const bk::RestoreDialogInput& input) override {
        restore_dialogs.push_back(input);
        return next_answer(restore_script_);
    }
    void settings_sheet_ok(std::function<void(bk::SetupContext&)> edit = {}) { sheet_script_.push_back(ok(edit)); }
    void settings_sheet_cancel() { sheet_script_.push_back(nullptr); }
    bool settings_sheet(void*, bk::SetupContext& context) override {
        settings_sheets.push_back(context);
        return answer(sheet_script_, context);
    }
    void restore_warnings(void*, const std::wstring& archive,
                          const std::vector<bk::RestoreProblem>& problems) override {
        restore_warnings_shown.push_back({archive, problems});
    }

    struct BackupDialogShown {
        std::vector<bk::Component> components;
        bk::AutoParams params;  // as the dialog opened
    };
    struct WarningsShown {
        std::wstring archive;
        std::vector<bk::RestoreProblem> problems;
    };

    ScriptedStatus status;
    std::vector<ScriptedStatus::Question> boxes;
    std::vector<std::wstring> headlines;
    std::vector<BackupDialogShown> backup_dialogs;
    std::vector<bk::RestoreDialogInput> restore_dialogs;
    std::vector<WarningsShown> restore_warnings_shown;
    std::vector<bk::SetupContext> settings_sheets;  // as each sheet opened

private:
    template <typename Shown>
    using Edit = std::function<void(Shown&)>;
    template <typename Shown>
    static Edit<Shown> ok(Edit<Shown> edit) {
        return edit ? edit : [](Shown&) {};
    }
    template <typename Shown>
    static bool answer(std::deque<Edit<Shown>>& script, Shown& shown) {
        const Edit<Shown> edit = next_answer(script);
        if (edit) edit(shown);
        return static_cast<bool>(edit);
    }

    std::deque<int> box_answers_;
    std::deque<Edit<bk::AutoParams>> backup_script_;
    std::deque<std::optional<std::wstring>> restore_script_;
    std::deque<Edit<bk::SetupContext>> sheet_script_;
};

}  // namespace bktest
