// Temporary files and folders of the module's own: made atomically under a
// name nobody else holds, in $TMPDIR or /tmp, and removed by their holder.
#pragma once
#include <string>

namespace rkit {

// A new, empty file "vdk..." in $TMPDIR or /tmp (or the nearest of their
// parents that exists). Throws std::runtime_error "temp directory not exists"
// or "error creating temp filename".
std::wstring make_temp_file_name();
// A new, empty folder made the same way.
std::wstring make_temp_folder();

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
