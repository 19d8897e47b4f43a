#include "rkit/unique_fd.h"

#include <unistd.h>

#include <cerrno>

namespace rkit {

void unique_fd::reset(int fd) {
    if (fd_ >= 0 && fd_ != fd) {
        const int saved = errno;
        ::close(fd_);
        errno = saved;
    }
    fd_ = fd;
}

bool unique_fd::close() {
    return ::close(release()) == 0;
}

}  // namespace rkit
