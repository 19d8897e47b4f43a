// Long work runs on a worker thread while the calling thread shows its
// progress. Errors travel as exceptions inside the task and come back to the
// caller from finish(); a cancel comes back as false.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/worker_status.h"

namespace bk {

class IWorkerTask {
public:
    virtual ~IWorkerTask() = default;
    // String id of the headline the progress window shows.
    virtual int title_id() const = 0;
    // The whole work, on the worker thread. Never throws.
    virtual void run(IWorkerStatus* status) = 0;
    // On the calling thread after the worker has ended: true for success,
    // false for a cancel; throws std::runtime_error for a failure.
    virtual bool finish() = 0;
};

class BasicTask : public IWorkerTask {
public:
    explicit BasicTask(int title_id) : title_id_(title_id) {}
    int title_id() const override { return title_id_; }
    void run(IWorkerStatus* status) override;
    // Hands the warnings and every error but the last to the error list and
    // throws the last error.
    bool finish() override;

    const std::vector<std::string>& errors() const { return errors_; }

protected:
    // The task's own work; may throw. task_canceled ends it as canceled.
    virtual void execute() = 0;

    void throw_if_canceled() const;
    // Announces a step; every step is also a point where a cancel is noticed.
    void set_status_text(const std::wstring& text) const;
    void add_task_error(const std::string& text) noexcept;
    // Something the user must hear of although the task goes on and
    // succeeds: it reaches the error list first, before any error.
    void add_task_warning(const std::string& text);
    bool has_warnings() const { return !warnings_.empty(); }
    // Set only while run() is under way.
    IWorkerStatus* status() const { return status_; }

private:
    int title_id_;
    IWorkerStatus* status_ = nullptr;
    std::vector<std::string> errors_;
    std::vector<std::string> warnings_;
    bool canceled_ = false;
};

// Runs the task on a worker thread behind the progress window of the user
// interface, then returns finish()'s result (or lets its exception through).
bool run_worker_task(void* parent, std::unique_ptr<IWorkerTask> task);

}  // namespace bk
