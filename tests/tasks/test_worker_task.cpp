// The worker framework: how a task's outcome comes back, and how questions
// are answered when nobody is watching. Where a task runs and how a cancel
// ends it the end-to-end cancels show.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <tuple>

#include "core/error_list.h"
#include "support/error_messages.h"
#include "support/scripted_ui.h"
#include "support/values.h"
#include "tasks/headless_ui.h"
#include "tasks/worker_task.h"

namespace {

// A task whose work is a lambda, with access to the protected helpers.
class LambdaTask : public bk::BasicTask {
public:
    using Body = std::function<void(LambdaTask&)>;
    explicit LambdaTask(Body body) : BasicTask(20063), body_(std::move(body)) {}
    using BasicTask::add_task_error;

protected:
    void execute() override { body_(*this); }

private:
    Body body_;
};

// The last error is what the caller throws, the earlier ones go to the list;
// an exception of any kind becomes the task's message.
TEST(WorkerTask, TheLastErrorOrAnExceptionIsThrownAndEarlierErrorsAreListed) {
    const bktest::ScriptedUserInterface ui;
    const std::vector<std::tuple<LambdaTask::Body, std::string, std::vector<std::string>>> cases = {
        {[](LambdaTask& t) {
             t.add_task_error("first");
             t.add_task_error("second");
             throw bk::task_canceled();
         },
         "second", {"first"}},
        {[](LambdaTask&) { throw std::logic_error("7z: fatal error"); }, "7z: fatal error", {}},
        {[](LambdaTask&) { throw 7; }, "unknown error in worker thread", {}},
    };
    for (const auto& [body, message, listed] : cases) {
        bk::clear_errors();
        EXPECT_EQ(bktest::error_of([&] { bk::run_worker_task(nullptr, std::make_unique<LambdaTask>(body)); }), message);
        EXPECT_EQ(bktest::error_messages(), listed);
    }
}

// Nobody is there to answer: work runs to its end, and every question gets
// its default button, except Retry/Cancel, which cancels (a retry would ask
// again for ever).
TEST(HeadlessUi, WorkRunsToItsEndAndQuestionsGetTheDefaultButtonButNeverRetry) {
    using namespace bk;
    HeadlessUserInterface headless;
    int answer = 0;
    TaskStatus last;
    headless.run_with_progress(nullptr, L"заголовок", [&](IWorkerStatus& status) {
        status.set_status({L"почти готово", 99});
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        EXPECT_FALSE(status.canceled());
        answer = status.ask(L"Повторить?", MB_RETRYCANCEL);
        last = status.get_status();
    });
    EXPECT_EQ(answer, IDCANCEL);
    EXPECT_EQ(last, (TaskStatus{L"почти готово", 99}));
    for (const auto& [type, expected] :
         {std::pair{MB_OK | MB_ICONINFORMATION, IDOK}, {MB_OKCANCEL, IDOK}, {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
          {MB_YESNO | MB_ICONQUESTION, IDYES}, {MB_YESNO | MB_DEFBUTTON2, IDNO},
          {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL}, {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
          {MB_RETRYCANCEL, IDCANCEL}})
        EXPECT_EQ(headless.message_box(nullptr, L"Копия создана.", type), expected) << type;
}

}  // namespace
