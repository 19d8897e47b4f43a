// Lists a folder's entries whose names match a pattern with the Windows rules:
// "*" and "?", letters compared without case, "*.*" matching every name.
// "." and ".." are never listed. Entries come sorted by name, so that every
// walk over the same folder sees the same order.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace rkit {

// "*" any run of characters, "?" exactly one; nothing else is special.
bool match_wildcards(std::wstring_view pattern, std::wstring_view name, bool ignore_case);
// The Windows rules: match_wildcards without case, and a trailing ".*" or "."
// also matching a name without extension ("*.*" takes "README").
bool match_file_pattern(const std::wstring& pattern, const std::wstring& name);

class file_enumerator {
public:
    // folder joined with a pattern, such as "/data/*.dbf".
    explicit file_enumerator(const std::wstring& folder_and_pattern);
    bool done() const;
    void next();
    // A folder, or a link to one (as a junction is a folder on Windows).
    bool is_dir() const;
    // The entry itself is a symbolic link, so that a recursive walk can
    // decide not to follow it.
    bool is_symlink() const;
    std::wstring filename() const;  // name only, without the folder
    // errno of a folder that could not be opened (0 when it was listed): an
    // unreadable folder must not pass for an empty one.
    int error() const { return error_; }

private:
    struct entry {
        std::wstring name;
        bool dir;
        bool symlink;
    };
    std::vector<entry> entries_;
    size_t pos_ = 0;
    int error_ = 0;
};

}  // namespace rkit
