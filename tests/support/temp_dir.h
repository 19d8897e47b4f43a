// A fresh folder for one test, removed with everything in it afterwards.
#pragma once
#include <filesystem>
#include <string>

namespace bktest {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::wstring wpath() const { return path_.wstring(); }
    // A path inside the folder.
    std::filesystem::path operator/(const std::string& rel) const { return path_ / rel; }

private:
    std::filesystem::path path_;
};

// Writes bytes to a file, creating its folders.
void write_file(const std::filesystem::path& path, const std::string& bytes);
std::string read_file(const std::filesystem::path& path);

}  // namespace bktest
