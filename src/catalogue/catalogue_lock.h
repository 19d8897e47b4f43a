// An exclusive advisory lock on one catalogue, held while it is read, changed
// and written back, so that backups finishing together in a shared folder
// do not lose each other's records.
//
// The lock is taken on a hidden file beside the catalogue; the file stays
// there, since removing it would let a waiting process lock a file nobody
// else can see any more. Open-file-description locks are used: they exclude
// threads of one process as well as other processes, and network file
// systems pass them on to the server as ordinary byte-range locks.
#pragma once
#include <chrono>
#include <stdexcept>
#include <string>

#include "core/worker_status.h"
#include "rkit/unique_fd.h"

namespace bk {

// The lock stayed taken for the whole wait: the message names the lock file.
class catalogue_locked : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CatalogueLock {
public:
    // Waits until the lock is granted, at most wait_limit(), noticing a
    // cancel through status (task_canceled); then throws catalogue_locked.
    // Where the folder cannot hold a lock file or its file system has no
    // locks, goes on unlocked (locked() is false): the backup itself must
    // not fail for want of a lock.
    explicit CatalogueLock(const std::wstring& catalogue_path, IWorkerStatus* status = nullptr);
    ~CatalogueLock();
    CatalogueLock(const CatalogueLock&) = delete;
    CatalogueLock& operator=(const CatalogueLock&) = delete;

    bool locked() const { return locked_; }
    static std::wstring lock_file_path(const std::wstring& catalogue_path);

    // A minute: long enough for any other backup to write its record, short
    // enough that a lock held by a hung program does not hang every backup.
    static std::chrono::milliseconds wait_limit();
    // For tests, which cannot wait a minute.
    static void set_wait_limit(std::chrono::milliseconds limit);

private:
    rkit::unique_fd fd_;
    bool locked_ = false;
};

}  // namespace bk
