// Files and folders. Every operation reports failure by its result and leaves
// errno as the failing system call set it.
#pragma once
#include <cstdint>
#include <string>

namespace rkit {

bool file_exists(const std::wstring& path);  // a regular file (or a link to one)
bool dir_exists(const std::wstring& path);
bool file_delete(const std::wstring& path);
// With overwrite, the copy is made beside the target and renamed over it, so
// the target holds either its old or its new content at every moment.
bool file_copy(const std::wstring& from, const std::wstring& to, bool overwrite);
// A new, empty file in the folder of path, named after path's file name (cut
// short where the whole name would pass the 255 bytes a name may have) with
// tag and six random characters after it. Its path in out.
bool create_file_beside(const std::wstring& path, const std::wstring& tag, std::wstring& out);
// A copy of from in a new file beside to (named as create_file_beside with the
// tag ".vdk"), keeping the source's times and mode. Its path in out.
bool file_copy_beside(const std::wstring& from, const std::wstring& to, std::wstring& out);
// rename(); across file systems a copy that keeps times and mode, then the source deleted.
bool file_move(const std::wstring& from, const std::wstring& to);
bool file_rename(const std::wstring& from, const std::wstring& to);
// Every missing folder of path; true when the folder exists afterwards.
bool create_path(const std::wstring& path);
// Size of a file in bytes, or -1.
int64_t file_size(const std::wstring& path);
// $TMPDIR or /tmp.
std::wstring temp_dir();

}  // namespace rkit
