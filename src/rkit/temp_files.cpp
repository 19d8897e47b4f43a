#include "rkit/temp_files.h"

#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>

#include "rkit/files.h"
#include "rkit/path.h"

namespace rkit {

namespace {

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
    return native_path(concat_path(existing_temp_dir(), L"vdkXXXXXX"));
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

TempFile::~TempFile() {
    if (!path_.empty()) file_delete(path_);
}

TempFolder::~TempFolder() {
    if (!path_.empty()) dir_deep_delete(path_);
}

}  // namespace rkit
