#include "rkit/path.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "rkit/text.h"

namespace rkit {

namespace {

// The extension starts at the last dot of the name, unless that dot opens
// the name: ".profile" is a hidden file, not an extension.
size_t ext_pos(const std::wstring& name) {
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0) return std::wstring::npos;
    return dot;
}

size_t name_start(const std::wstring& path) {
    const size_t sep = path.find_last_of(L"/\\");
    return sep == std::wstring::npos ? 0 : sep + 1;
}

std::wstring dotted(const std::wstring& ext) {
    if (ext.empty() || ext.front() == L'.') return ext;
    return L"." + ext;
}

std::vector<std::wstring> split_parts(const std::wstring& path) {
    std::vector<std::wstring> parts;
    size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && is_separator(path[i])) ++i;
        size_t j = i;
        while (j < path.size() && !is_separator(path[j])) ++j;
        if (j > i) parts.push_back(path.substr(i, j - i));
        i = j;
    }
    return parts;
}

// Resolves "." and ".." of an absolute path. A ".." at the root either stays
// at the root (strict == false, as the kernel does) or is a failure.
bool resolve_absolute(const std::wstring& path, bool strict, std::wstring& out) {
    std::vector<std::wstring> kept;
    for (auto& part : split_parts(path)) {
        if (part == L".") continue;
        if (part == L"..") {
            if (kept.empty()) {
                if (strict) return false;
                continue;
            }
            kept.pop_back();
            continue;
        }
        kept.push_back(std::move(part));
    }
    std::wstring result;
    for (const auto& part : kept) result += L"/" + part;
    out = result.empty() ? L"/" : result;
    return true;
}

std::wstring make_absolute(const std::wstring& path) {
    if (is_absolute_path(path)) return path;
    return get_current_dir() + L"/" + path;
}

}  // namespace

bool is_separator(wchar_t c) { return c == L'/' || c == L'\\'; }

std::wstring to_native_separators(const std::wstring& path) {
    std::wstring out = path;
    for (auto& c : out)
        if (c == L'\\') c = L'/';
    return out;
}

std::wstring concat_path(const std::wstring& a, const std::wstring& b) {
    if (a.empty()) return to_native_separators(b);
    if (b.empty()) return to_native_separators(a);
    std::wstring head = to_native_separators(a);
    while (head.size() > 1 && head.back() == L'/') head.pop_back();
    size_t skip = 0;
    while (skip < b.size() && is_separator(b[skip])) ++skip;
    std::wstring tail = to_native_separators(b.substr(skip));
    if (head == L"/") return head + tail;
    return head + L"/" + tail;
}

std::wstring extract_dir(const std::wstring& path) {
    const size_t start = name_start(path);
    if (start == 0) return {};
    std::wstring dir = to_native_separators(path.substr(0, start));
    while (dir.size() > 1 && dir.back() == L'/') dir.pop_back();
    return dir;
}

std::wstring extract_name_ext(const std::wstring& path) { return path.substr(name_start(path)); }

std::wstring extract_name(const std::wstring& path) {
    std::wstring name = extract_name_ext(path);
    const size_t dot = ext_pos(name);
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

std::wstring extract_ext(const std::wstring& path) {
    std::wstring name = extract_name_ext(path);
    const size_t dot = ext_pos(name);
    return dot == std::wstring::npos ? std::wstring() : name.substr(dot);
}

std::wstring default_extension(const std::wstring& path, const std::wstring& ext) {
    if (!extract_ext(path).empty()) return path;
    return path + dotted(ext);
}

std::wstring force_extension(const std::wstring& path, const std::wstring& ext) {
    const size_t start = name_start(path);
    const size_t dot = ext_pos(path.substr(start));
    const std::wstring stem = dot == std::wstring::npos ? path : path.substr(0, start + dot);
    return stem + dotted(ext);
}

bool is_absolute_path(const std::wstring& path) { return !path.empty() && is_separator(path[0]); }

std::wstring normalize_path(const std::wstring& path) {
    std::wstring out;
    resolve_absolute(make_absolute(path), false, out);
    return out;
}

bool get_absolute_path(const std::wstring& base, const std::wstring& path, std::wstring& out) {
    if (base.empty() && path.empty()) return false;
    std::wstring joined;
    if (is_absolute_path(path)) {
        joined = path;
    } else {
        const std::wstring abs_base = make_absolute(base);
        if (abs_base.empty()) return false;  // no current folder
        joined = abs_base + L"/" + path;
    }
    if (!is_absolute_path(joined)) return false;
    return resolve_absolute(joined, true, out);
}

bool get_relative_path(const std::wstring& base, const std::wstring& full, std::wstring& out) {
    if (base.empty() || full.empty()) return false;
    const auto b = split_parts(normalize_path(base));
    const auto f = split_parts(normalize_path(full));
    size_t common = 0;
    while (common < b.size() && common < f.size() && b[common] == f[common]) ++common;
    std::wstring result;
    for (size_t i = common; i < b.size(); ++i) result = concat_path(result, L"..");
    for (size_t i = common; i < f.size(); ++i) result = concat_path(result, f[i]);
    out = result.empty() ? L"." : result;
    return true;
}

bool equal_path(const std::wstring& a, const std::wstring& b) {
    // An empty path names nothing; it must not turn into the current folder.
    if (a.empty() || b.empty()) return a.empty() && b.empty();
    return normalize_path(a) == normalize_path(b);
}

std::wstring get_current_dir() {
    std::vector<char> buf(4096);
    for (;;) {
        if (getcwd(buf.data(), buf.size())) return from_native_path(buf.data());
        if (errno != ERANGE) return {};
        buf.resize(buf.size() * 2);
    }
}

std::string native_path(const std::wstring& path) { return wide_to_char(to_native_separators(path)); }

std::wstring from_native_path(std::string_view bytes) { return char_to_wide(bytes); }

}  // namespace rkit
