// Paths as the module sees them: wide strings, "/" as the separator, and "\"
// accepted as one too, so that paths written on Windows keep working.
#pragma once
#include <string>
#include <string_view>

namespace rkit {

bool is_separator(wchar_t c);
// Turns every "\" into "/".
std::wstring to_native_separators(const std::wstring& path);

// a and b joined with exactly one separator; an empty part gives the other.
std::wstring concat_path(const std::wstring& a, const std::wstring& b);
// The folder part without a trailing separator ("/" stays "/"); empty for a bare name.
std::wstring extract_dir(const std::wstring& path);
// The file name without folder and extension.
std::wstring extract_name(const std::wstring& path);
// The file name with its extension.
std::wstring extract_name_ext(const std::wstring& path);
// The extension with its dot (".7z"); empty when the name has none.
std::wstring extract_ext(const std::wstring& path);
// ext (with or without dot) added only when path has no extension.
std::wstring default_extension(const std::wstring& path, const std::wstring& ext);
// ext (with or without dot) put in place of path's extension, or added.
std::wstring force_extension(const std::wstring& path, const std::wstring& ext);

bool is_absolute_path(const std::wstring& path);
// Absolute, "." and ".." resolved lexically, duplicate separators removed,
// no trailing separator except for "/" itself.
std::wstring normalize_path(const std::wstring& path);
// path made absolute against base (which is made absolute against the current
// folder when relative). False when it cannot be done (empty base and path,
// or a ".." above the root).
bool get_absolute_path(const std::wstring& base, const std::wstring& path, std::wstring& out);
// full expressed relative to base ("." when equal, "../x" when beside it).
bool get_relative_path(const std::wstring& base, const std::wstring& full, std::wstring& out);
// Two spellings of the same path. Linux file systems are case-sensitive, so
// the comparison is exact after normalising.
bool equal_path(const std::wstring& a, const std::wstring& b);
std::wstring get_current_dir();

// The bytes the kernel takes for a path: UTF-8, "\" turned into "/".
std::string native_path(const std::wstring& path);
// A path as the kernel gave it, back to the module's wide form.
std::wstring from_native_path(std::string_view bytes);

}  // namespace rkit
