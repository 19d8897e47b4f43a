#include "rkit/file_enumerator.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include "rkit/path.h"
#include "rkit/text.h"

namespace rkit {

namespace {

// Windows file-pattern rules on one name: letters compared by their
// upper-case mapping.
bool glob(std::wstring_view pattern, std::wstring_view name) { return match_wildcards(pattern, name, true); }

}  // namespace

bool match_wildcards(std::wstring_view pattern, std::wstring_view name, bool ignore_case) {
    // Greedy scan that remembers the last "*": when the rest fails, that star
    // takes one more character and the scan resumes after it. With only "*"
    // and "?" this tries every placement the full backtracking search would.
    size_t p = 0, n = 0;
    size_t star = std::wstring_view::npos, star_n = 0;
    auto same = [ignore_case](wchar_t a, wchar_t b) { return a == b || (ignore_case && to_upper(a) == to_upper(b)); };
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            star_n = n;
        } else if (p < pattern.size() && (pattern[p] == L'?' || same(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (star != std::wstring_view::npos) {
            p = star + 1;
            n = ++star_n;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

bool match_file_pattern(const std::wstring& pattern, const std::wstring& name) {
    if (glob(pattern, name)) return true;
    std::wstring_view p(pattern);
    // A trailing ".*" also matches no extension at all: "*.*" takes "README",
    // "report.*" takes "report".
    if (p.size() >= 2 && p.ends_with(L".*")) return glob(p.substr(0, p.size() - 2), name);
    // A trailing "." asks for a name without extension: "*." takes "README".
    if (p.size() >= 2 && p.back() == L'.' && name.find(L'.') == std::wstring::npos)
        return glob(p.substr(0, p.size() - 1), name);
    return false;
}

file_enumerator::file_enumerator(const std::wstring& folder_and_pattern) {
    std::wstring folder = extract_dir(folder_and_pattern);
    const std::wstring pattern = extract_name_ext(folder_and_pattern);
    if (folder.empty()) folder = is_absolute_path(folder_and_pattern) ? L"/" : L".";
    if (pattern.empty()) return;

    const std::string native_folder = native_path(folder);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native_folder.c_str()), ::closedir);
    if (!dir) {
        error_ = errno;
        return;
    }
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string_view raw(e->d_name);
        if (raw == "." || raw == "..") continue;
        std::wstring name = from_native_path(raw);
        if (!match_file_pattern(pattern, name)) continue;
        bool is_dir = e->d_type == DT_DIR;
        bool is_link = e->d_type == DT_LNK;
        if (e->d_type == DT_UNKNOWN || is_link) {
            const std::string full = native_folder + "/" + std::string(raw);
            struct stat st {};
            if (e->d_type == DT_UNKNOWN && ::lstat(full.c_str(), &st) == 0) is_link = S_ISLNK(st.st_mode);
            is_dir = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        entries_.push_back({std::move(name), is_dir, is_link});
    }
    std::sort(entries_.begin(), entries_.end(), [](const entry& a, const entry& b) { return a.name < b.name; });
}

bool file_enumerator::done() const { return pos_ >= entries_.size(); }

void file_enumerator::next() {
    if (pos_ < entries_.size()) ++pos_;
}

bool file_enumerator::is_dir() const { return !done() && entries_[pos_].dir; }

bool file_enumerator::is_symlink() const { return !done() && entries_[pos_].symlink; }

std::wstring file_enumerator::filename() const { return done() ? std::wstring() : entries_[pos_].name; }

}  // namespace rkit
