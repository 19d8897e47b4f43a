#include "rkit/replace_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace rkit {

namespace {

constexpr size_t name_max = 255;
constexpr size_t random_part = 6;

// The longest start of a UTF-8 name that fits in limit bytes without cutting
// a character in two.
std::string fit_name(const std::string& name, size_t limit) {
    if (name.size() <= limit) return name;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
    return name.substr(0, end);
}

// The folder part of path with its "/"; empty for a bare name.
std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Makes a rename in folder durable.
void sync_folder(const std::string& folder) {
    const unique_fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) ::fsync(dir.get());
}

// The mode a new file gets from open(..., 0666): 0666 without the umask. The
// umask is read from /proc, since setting it to read it back is not safe while
// other threads create files.
mode_t new_file_mode() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) return 0666 & ~static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    return 0644;
}

bool write_all(int fd, std::string_view bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Saving through a link updates the file it points to and keeps the link.
std::string through_link(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec)) return path;
    const std::filesystem::path real = std::filesystem::canonical(path, ec);
    return ec ? path : real.string();
}

}  // namespace

file_beside::~file_beside() {
    if (!remove_) return;
    fd_.reset();
    const int saved = errno;
    ::unlink(path_.c_str());
    errno = saved;
}

bool file_beside::create(const std::string& target, std::string_view prefix, std::string_view tag) {
    const std::string folder = folder_of(target);
    const std::string name = target.substr(folder.size());
    std::string temp = folder + std::string(prefix) +
                       fit_name(name, name_max - prefix.size() - tag.size() - random_part) + std::string(tag) +
                       "XXXXXX";
    fd_.reset(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd_.valid()) return false;
    path_ = std::move(temp);
    remove_ = true;
    return true;
}

bool file_beside::rename_over(const std::string& target, bool durable) {
    if (durable && ::fsync(fd_.get()) != 0) return false;
    if (!fd_.close() || ::rename(path_.c_str(), target.c_str()) != 0) return false;
    remove_ = false;
    if (durable) sync_folder(folder_of(target));
    return true;
}

bool file_beside::keep() {
    if (!fd_.close()) return false;
    remove_ = false;
    return true;
}

bool replace_file_content(const std::string& path, std::string_view bytes) {
    const std::string target = through_link(path);
    file_beside temp;
    if (!temp.create(target, ".", ".")) return false;
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        if (::fchmod(temp.fd(), old.st_mode & 07777) != 0) return false;
        // Only root can hand a file to another owner; for anyone else the
        // owner is already theirs or cannot be kept.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)!::fchown(temp.fd(), old.st_uid, old.st_gid);
    } else if (::fchmod(temp.fd(), new_file_mode()) != 0) {
        return false;
    }
    return write_all(temp.fd(), bytes) && temp.rename_over(target, true);
}

}  // namespace rkit
