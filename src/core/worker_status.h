// How a worker task talks to the progress dialog: the status line, a cancel
// request and questions to the user. File gathering and the archivers report
// through it too, so it lives below them.
#pragma once
#include <cstdint>
#include <string>

#include "core/exceptions.h"

namespace bk {

struct TaskStatus {
    std::wstring text;      // may hold line feeds
    int32_t progress = -1;  // 0..100 shows a progress bar, -1 hides it
    friend bool operator==(const TaskStatus&, const TaskStatus&) = default;
};

// Called from the worker thread; the implementation guards its own data.
class IWorkerStatus {
public:
    virtual bool canceled() = 0;
    virtual TaskStatus get_status() = 0;
    virtual void set_status(const TaskStatus& status) = 0;
    // A message box with MessageBoxW type flags shown on the user's thread;
    // returns the button (IDOK, IDCANCEL, ...).
    virtual int ask(const std::wstring& text, uint32_t type) = 0;

protected:
    ~IWorkerStatus() = default;
};

// Throws task_canceled when the user asked to stop; no status, no cancel.
inline void throw_if_canceled(IWorkerStatus* status) {
    if (status && status->canceled()) throw task_canceled();
}

// Shows text with the progress bar hidden, after checking for a cancel, so
// that every announced step is also a point where a cancel is noticed.
inline void set_status_text(IWorkerStatus* status, const std::wstring& text) {
    if (!status) return;
    throw_if_canceled(status);
    status->set_status(TaskStatus{text, -1});
}

}  // namespace bk
