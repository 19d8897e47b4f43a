#include "catalogue/catalogue_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "core/string_table.h"
#include "rkit/path.h"

namespace bk {

namespace {

std::atomic<std::chrono::milliseconds::rep> wait_limit_ms{60'000};
constexpr auto retry_interval = std::chrono::milliseconds(100);

}  // namespace

std::chrono::milliseconds CatalogueLock::wait_limit() { return std::chrono::milliseconds(wait_limit_ms.load()); }

void CatalogueLock::set_wait_limit(std::chrono::milliseconds limit) { wait_limit_ms = limit.count(); }

std::wstring CatalogueLock::lock_file_path(const std::wstring& catalogue_path) {
    return rkit::concat_path(rkit::extract_dir(catalogue_path),
                             L"." + rkit::extract_name_ext(catalogue_path) + L".lock");
}

CatalogueLock::CatalogueLock(const std::wstring& catalogue_path, IWorkerStatus* status) {
    const std::wstring lock_path = lock_file_path(catalogue_path);
    const std::string path = rkit::native_path(lock_path);
    // Every user who backs up into the folder must be able to open the lock
    // for writing, whatever the umask of the first one was; the file is
    // empty and nothing in it is ever read.
    fd_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd_.valid())
        (void)::fchmod(fd_.get(), 0666);
    else if (errno == EEXIST)
        fd_.reset(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd_.valid()) return;
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    // Polled rather than waited for, so that neither a cancel nor the end of
    // the wait has to interrupt a blocked call.
    const auto deadline = std::chrono::steady_clock::now() + wait_limit();
    for (;;) {
        if (::fcntl(fd_.get(), F_OFD_SETLK, &whole) == 0) {
            locked_ = true;
            return;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EACCES) return;
        if (std::chrono::steady_clock::now() >= deadline) {
            fd_.reset();
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait_limit()).count();
            throw catalogue_locked(format_string_narrow(ids::ERR_CATALOGUE_LOCKED, {seconds, lock_path}));
        }
        try {
            throw_if_canceled(status);
        } catch (...) {
            fd_.reset();
            throw;
        }
        std::this_thread::sleep_for(retry_interval);
    }
}

// Closing the last descriptor of the open file releases the lock.
CatalogueLock::~CatalogueLock() = default;

}  // namespace bk
