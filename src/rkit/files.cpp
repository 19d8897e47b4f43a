#include "rkit/files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "rkit/path.h"
#include "rkit/replace_file.h"
#include "rkit/unique_fd.h"

namespace rkit {

namespace {

// Keeps errno of the first failure while clean-up calls run.
class errno_keeper {
public:
    errno_keeper() : saved_(errno) {}
    ~errno_keeper() { errno = saved_; }

private:
    int saved_;
};

bool copy_bytes(int from, int to) {
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(from, buf, sizeof buf);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(to, buf + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            done += w;
        }
    }
}

// Fills the open file with the content of the open source, then gives it
// the source's mode and times.
bool fill_from(int from, const struct stat& st, int to) {
    if (!copy_bytes(from, to) || ::fchmod(to, st.st_mode & 07777) != 0) return false;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    return ::futimens(to, times) == 0;
}

// The source of a copy, open, with its status; -1 (errno set) for a folder.
int open_source(const std::string& from, struct stat& st) {
    const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    const bool status = ::fstat(fd, &st) == 0;
    if (status && !S_ISDIR(st.st_mode)) return fd;
    const int error = status ? EISDIR : errno;
    ::close(fd);
    errno = error;
    return -1;
}

// A copy of from in a new file beside to, which target (when given) is the status of.
bool copy_beside(const std::string& from, const std::string& to, file_beside& copy, const struct stat* target) {
    struct stat st {};
    const unique_fd src(open_source(from, st));
    if (!src.valid()) return false;
    if (target && target->st_dev == st.st_dev && target->st_ino == st.st_ino) {
        errno = EINVAL;  // a file copied onto itself would be emptied
        return false;
    }
    return copy.create(to, "", ".vdk") && fill_from(src.get(), st, copy.fd());
}

// A copy of from at to. Replacing goes through a temporary file beside the
// target, renamed over it at the end, so a failed copy never destroys the
// file that was there.
bool copy_file(const std::string& from, const std::string& to, bool overwrite) {
    if (!overwrite) {
        struct stat st {};
        const unique_fd src(open_source(from, st));
        if (!src.valid()) return false;
        unique_fd target(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!target.valid()) return false;
        if (fill_from(src.get(), st, target.get()) && target.close()) return true;
        errno_keeper keep;
        ::unlink(to.c_str());
        return false;
    }
    struct stat existing {};
    const bool exists = ::stat(to.c_str(), &existing) == 0;
    file_beside copy;
    return copy_beside(from, to, copy, exists ? &existing : nullptr) && copy.rename_over(to, false);
}

}  // namespace

bool file_exists(const std::wstring& path) {
    struct stat st {};
    return ::stat(native_path(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool dir_exists(const std::wstring& path) {
    struct stat st {};
    return ::stat(native_path(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool file_delete(const std::wstring& path) { return ::unlink(native_path(path).c_str()) == 0; }

bool file_copy(const std::wstring& from, const std::wstring& to, bool overwrite) {
    // Like the Windows copy, the copy keeps the source's modification time.
    return copy_file(native_path(from), native_path(to), overwrite);
}

bool create_file_beside(const std::wstring& path, const std::wstring& tag, std::wstring& out) {
    file_beside file;
    if (!file.create(native_path(path), "", native_path(tag)) || !file.keep()) return false;
    out = from_native_path(file.path());
    return true;
}

bool file_copy_beside(const std::wstring& from, const std::wstring& to, std::wstring& out) {
    file_beside copy;
    if (!copy_beside(native_path(from), native_path(to), copy, nullptr) || !copy.keep()) return false;
    out = from_native_path(copy.path());
    return true;
}

bool file_move(const std::wstring& from, const std::wstring& to) {
    const std::string src = native_path(from), dst = native_path(to);
    if (::rename(src.c_str(), dst.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    // The staging folder is often on a tmpfs: move by copying.
    if (!copy_file(src, dst, true)) return false;
    if (::unlink(src.c_str()) != 0) {
        errno_keeper keep;
        ::unlink(dst.c_str());
        return false;
    }
    return true;
}

bool file_rename(const std::wstring& from, const std::wstring& to) {
    return ::rename(native_path(from).c_str(), native_path(to).c_str()) == 0;
}

bool create_path(const std::wstring& path) {
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    const std::string native = native_path(path);
    for (size_t pos = 1; pos <= native.size(); ++pos) {
        if (pos < native.size() && native[pos] != '/') continue;
        const std::string prefix = native.substr(0, pos);
        if (prefix.back() == '/') continue;
        if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

int64_t file_size(const std::wstring& path) {
    struct stat st {};
    if (::stat(native_path(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size;
}

std::wstring temp_dir() {
    const char* env = ::getenv("TMPDIR");
    if (env && *env) return from_native_path(env);
    return L"/tmp";
}

}  // namespace rkit
