// The module's own temporary files and folders: made atomically under a name
// nobody else holds, and removed by their holder. A tree is only ever deleted
// here, and only when it is one of the module's own folders: a fault in path
// handling (a wrong separator, an empty name) must never become a wiped
// system.
#pragma once
#include <string>
#include <string_view>

namespace rkit {

// A new, empty file "vdk..." in $TMPDIR or /tmp (or the nearest of their
// parents that exists). Throws std::runtime_error "temp directory not exists"
// or "error creating temp filename".
std::wstring make_temp_file_name();
// A new, empty folder made the same way: "vdk" and six random characters.
std::wstring make_temp_folder();
// A new, empty folder in parent, where a task builds what it later moves into
// parent: ".vdk-" and six random characters. Its path in out; false (errno
// set) when it cannot be made, and out then holds the name that was tried.
bool make_private_folder(const std::wstring& parent, std::wstring& out);
// A name that make_private_folder gives (UTF-8).
bool is_private_folder_name(std::string_view name);

// Deletes a folder with everything in it, never following a link inside it,
// but only a folder of the module's own: one of make_temp_folder (directly in
// the temporary folder of now) or of make_private_folder. Anything else (a
// link, the root, a folder that holds the home folder, any other folder) is
// refused with EPERM.
bool dir_deep_delete(const std::wstring& path);

// A temporary file that is deleted when the holder goes.
class TempFile {
public:
    TempFile() : path_(make_temp_file_name()) {}
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// A temporary folder that is deleted with all its content when the holder goes.
class TempFolder {
public:
    TempFolder() : path_(make_temp_folder()) {}
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

}  // namespace rkit
