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
#include <string>

namespace bk {

class CatalogueLock {
public:
    // Waits until the lock is granted. Where the folder cannot hold a lock
    // file or its file system has no locks, goes on unlocked (locked() is
    // false): the backup itself must not fail for want of a lock.
    explicit CatalogueLock(const std::wstring& catalogue_path);
    ~CatalogueLock();
    CatalogueLock(const CatalogueLock&) = delete;
    CatalogueLock& operator=(const CatalogueLock&) = delete;

    bool locked() const { return locked_; }
    static std::wstring lock_file_path(const std::wstring& catalogue_path);

private:
    int fd_ = -1;
    bool locked_ = false;
};

}  // namespace bk
