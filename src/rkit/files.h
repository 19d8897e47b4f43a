// Files and folders. Every operation reports failure by its result and leaves
// errno as the failing system call set it.
#pragma once
#include <cstdint>
#include <string>

namespace rkit {

bool file_exists(const std::wstring& path);  // a regular file (or a link to one)
bool dir_exists(const std::wstring& path);
bool file_delete(const std::wstring& path);
bool file_copy(const std::wstring& from, const std::wstring& to, bool overwrite);
// rename(); across file systems a copy that keeps times and mode, then the source deleted.
bool file_move(const std::wstring& from, const std::wstring& to);
bool file_rename(const std::wstring& from, const std::wstring& to);
bool dir_create(const std::wstring& path);
// Every missing folder of path; true when the folder exists afterwards.
bool create_path(const std::wstring& path);
// A folder with everything in it.
bool dir_deep_delete(const std::wstring& path);
// Size of a file in bytes, or -1.
int64_t file_size(const std::wstring& path);
// $TMPDIR or /tmp.
std::wstring temp_dir();

}  // namespace rkit
