// Replacing a file without a moment in which it is half written: the new
// content goes to a temporary file beside the target, in the same folder and
// so on the same file system, which is renamed over the target at the end.
// The target holds its old or its new content at every moment.
//
// Paths are the kernel's bytes (see native_path). Failures are reported by
// the result, with errno as the failing system call set it.
#pragma once
#include <string>
#include <string_view>

#include "rkit/unique_fd.h"

namespace rkit {

// A new file in the folder of a target, removed again unless it is renamed
// over the target or kept.
class file_beside {
public:
    file_beside() = default;
    ~file_beside();
    file_beside(const file_beside&) = delete;
    file_beside& operator=(const file_beside&) = delete;

    // Creates the file, empty, open for writing and closed on exec, named
    // prefix, target's file name (cut short where the whole name would pass
    // the 255 bytes a name may have), tag and six random characters.
    bool create(const std::string& target, std::string_view prefix, std::string_view tag);
    int fd() const { return fd_.get(); }
    const std::string& path() const { return path_; }

    // Closes the file and renames it over target. durable: its content, and
    // then the rename, reach the disk before this returns, so that not even
    // a crash of the machine can leave a mixture. On failure the file goes.
    bool rename_over(const std::string& target, bool durable);
    // Closes the file and leaves it where it is, for the caller to use.
    bool keep();

private:
    unique_fd fd_;
    std::string path_;
    bool remove_ = false;  // the file is ours to remove
};

// Gives the file at path the content bytes, durably (see file_beside), also
// through a symbolic link: the file it points to gets the content and the
// link stays. The file keeps its mode and, where this process may keep it,
// its owner; a new file gets the mode of new files (0666 without the umask).
// The temporary file is "." + name + "." and six random characters.
bool replace_file_content(const std::string& path, std::string_view bytes);

}  // namespace rkit
