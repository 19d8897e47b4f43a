#include "catalogue/catalogue_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "rkit/path.h"

namespace bk {

std::wstring CatalogueLock::lock_file_path(const std::wstring& catalogue_path) {
    return rkit::concat_path(rkit::extract_dir(catalogue_path),
                             L"." + rkit::extract_name_ext(catalogue_path) + L".lock");
}

CatalogueLock::CatalogueLock(const std::wstring& catalogue_path) {
    const std::string path = rkit::native_path(lock_file_path(catalogue_path));
    // Every user who backs up into the folder must be able to open the lock
    // for writing, whatever the umask of the first one was; the file is
    // empty and nothing in it is ever read.
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0)
        (void)::fchmod(fd_, 0666);
    else if (errno == EEXIST)
        fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) return;
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    int rc;
    do {
        rc = ::fcntl(fd_, F_OFD_SETLKW, &whole);
    } while (rc != 0 && errno == EINTR);
    locked_ = rc == 0;
}

CatalogueLock::~CatalogueLock() {
    // Closing the last descriptor of the open file releases the lock.
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace bk
