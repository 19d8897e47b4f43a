#include "tasks/worker_task.h"

#include <stdexcept>

#include "core/com_error.h"
#include "core/error_list.h"
#include "core/stop_request.h"
#include "core/string_table.h"
#include "rkit/text.h"
#include "tasks/user_interface.h"

namespace bk {

void BasicTask::run(IWorkerStatus* status) {
    status_ = status;
    try {
        execute();
    } catch (const task_canceled&) {
        canceled_ = true;
    } catch (const std::exception& e) {
        add_task_error(e.what());
    } catch (const com_error& e) {
        add_task_error(rkit::wide_to_char(e.error_message()));
    } catch (...) {
        add_task_error("unknown error in worker thread");
    }
    status_ = nullptr;
}

bool BasicTask::finish() {
    for (const std::string& warning : warnings_) add_error(warning);
    if (errors_.empty()) return !canceled_;
    for (size_t i = 0; i + 1 < errors_.size(); ++i) add_error(errors_[i]);
    throw std::runtime_error(errors_.back());
}

void BasicTask::throw_if_canceled() const { bk::throw_if_canceled(status_); }

void BasicTask::set_status_text(const std::wstring& text) const { bk::set_status_text(status_, text); }

void BasicTask::add_task_warning(const std::string& text) { warnings_.push_back(text); }

void BasicTask::add_task_error(const std::string& text) noexcept {
    try {
        errors_.push_back(text);
    } catch (...) {
    }
}

namespace {

// The status the task sees: the user interface's, where a stop asked for
// from outside it (a signal to the backup executable) counts as Cancel.
class stop_aware_status_ final : public IWorkerStatus {
public:
    explicit stop_aware_status_(IWorkerStatus& shown) : shown_(shown) {}
    bool canceled() override { return stop_requested() || shown_.canceled(); }
    TaskStatus get_status() override { return shown_.get_status(); }
    void set_status(const TaskStatus& status) override { shown_.set_status(status); }
    int ask(const std::wstring& text, uint32_t type) override { return shown_.ask(text, type); }

private:
    IWorkerStatus& shown_;
};

}  // namespace

bool run_worker_task(void* parent, std::unique_ptr<IWorkerTask> owned) {
    // The worker holds its own reference, so the task outlives whichever
    // thread lets go of it last.
    std::shared_ptr<IWorkerTask> task(std::move(owned));
    user_interface().run_with_progress(parent, load_string(task->title_id()), [task](IWorkerStatus& shown) {
        stop_aware_status_ status(shown);
        task->run(&status);
    });
    return task->finish();
}

}  // namespace bk
