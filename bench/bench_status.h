// The status sink the benchmarks give the module: it keeps the last status
// under a lock, as the progress window does, and nobody ever cancels.
#pragma once
#include <mutex>

#include "core/worker_status.h"

namespace benchsupport {

class StoringStatus : public bk::IWorkerStatus {
public:
    bool canceled() override { return false; }
    bk::TaskStatus get_status() override {
        std::lock_guard lock(mutex_);
        return status_;
    }
    void set_status(const bk::TaskStatus& status) override {
        std::lock_guard lock(mutex_);
        status_ = status;
    }
    int ask(const std::wstring&, uint32_t) override { return 1; }

private:
    std::mutex mutex_;
    bk::TaskStatus status_;
};

}  // namespace benchsupport
