#include "rkit/temp_files.h"

#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "rkit/files.h"
#include "rkit/path.h"

namespace rkit {

namespace {

constexpr std::string_view temp_prefix = "vdk";
constexpr std::string_view private_prefix = ".vdk-";
constexpr std::string_view random_template = "XXXXXX";

// The temporary folder, or the nearest of its parents that exists.
std::wstring existing_temp_dir() {
    std::wstring dir = temp_dir();
    if (dir.empty()) throw std::runtime_error("error getting temp directory");
    while (!dir_exists(dir)) {
        const std::wstring parent = extract_dir(dir);
        if (parent.empty() || parent == dir) throw std::runtime_error("temp directory not exists");
        dir = parent;
    }
    return dir;
}

std::string name_template() {
    return native_path(existing_temp_dir()) + "/" + std::string(temp_prefix) + std::string(random_template);
}

// prefix and the six characters that mkstemp and mkdtemp put in place of
// the template's "XXXXXX".
bool named_like(std::string_view name, std::string_view prefix) {
    return name.size() == prefix.size() + random_template.size() && name.starts_with(prefix) &&
           std::all_of(name.begin() + static_cast<ptrdiff_t>(prefix.size()), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
           });
}

// path without links, "." or ".."; empty when it cannot be resolved.
std::string real_path(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return {};
    std::string resolved = real;
    ::free(real);
    return resolved;
}

// The home folder, as $HOME and as the password database name it.
std::vector<std::string> home_folders() {
    std::vector<std::string> homes;
    if (const char* home = ::getenv("HOME")) homes.push_back(home);
    passwd entry{}, *found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        homes.push_back(found->pw_dir);
    return homes;
}

// Whether the folder at real (resolved by real_path) is one of the module's
// own that may go with everything in it. The path is judged as it is after
// every conversion, so that no mistake made before can pass the test.
bool deletable(const std::string& real) {
    if (real.empty() || real == "/") return false;
    for (const std::string& home : home_folders()) {
        const std::string real_home = real_path(home);
        if (real_home == real || real_home.starts_with(real + "/")) return false;
    }
    const size_t slash = real.rfind('/');
    const std::string_view name = std::string_view(real).substr(slash + 1);
    if (named_like(name, private_prefix)) return true;
    if (!named_like(name, temp_prefix)) return false;
    try {
        const std::string parent = slash == 0 ? std::string("/") : real.substr(0, slash);
        return real_path(native_path(existing_temp_dir())) == parent;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

std::wstring make_temp_file_name() {
    std::string name = name_template();
    const int fd = ::mkstemp(name.data());
    if (fd < 0) throw std::runtime_error("error creating temp filename");
    ::close(fd);
    return from_native_path(name);
}

std::wstring make_temp_folder() {
    // mkdtemp makes the folder atomically under a name nobody else holds,
    // which a file made and then swapped for a folder would not.
    std::string name = name_template();
    if (!::mkdtemp(name.data())) throw std::runtime_error("error creating temp filename");
    return from_native_path(name);
}

bool make_private_folder(const std::wstring& parent, std::wstring& out) {
    std::string name = native_path(parent) + "/" + std::string(private_prefix) + std::string(random_template);
    const bool made = ::mkdtemp(name.data()) != nullptr;
    out = from_native_path(name);
    return made;
}

bool is_private_folder_name(std::string_view name) { return named_like(name, private_prefix); }

bool dir_deep_delete(const std::wstring& path) {
    std::string native = native_path(path);
    // "link/" would be the folder the link points to.
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    struct stat st {};
    if (::lstat(native.c_str(), &st) != 0) return false;
    if (S_ISLNK(st.st_mode)) {
        errno = EPERM;
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    const std::string real = real_path(native);
    if (!deletable(real)) {
        errno = EPERM;
        return false;
    }
    // remove_all never follows a link: a link inside the folder goes, what it
    // points to stays.
    std::error_code ec;
    std::filesystem::remove_all(real, ec);
    if (ec) {
        errno = ec.value();
        return false;
    }
    return true;
}

TempFile::~TempFile() {
    if (!path_.empty()) file_delete(path_);
}

TempFolder::~TempFolder() {
    if (!path_.empty()) dir_deep_delete(path_);
}

}  // namespace rkit
