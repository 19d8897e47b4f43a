#include "rkit/text.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace rkit {

namespace {

constexpr wchar_t replacement = 0xFFFD;

bool is_scalar(wchar_t c) {
    const auto v = static_cast<int64_t>(c);
    return v >= 0 && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF);
}

}  // namespace

// Every charset is UTF-8 on this platform, so the encoding only matters to
// callers that pass it on; the conversion itself is the same for all.
std::wstring char_to_wide(std::string_view text, const text_encoding&) {
    std::wstring out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    const int64_t length = static_cast<int64_t>(text.size());
    int64_t i = 0;
    while (i < length) {
        UChar32 c;
        U8_NEXT(s, i, length, c);
        out.push_back(c < 0 ? replacement : static_cast<wchar_t>(c));
    }
    return out;
}

std::string wide_to_char(std::wstring_view text, const text_encoding&) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        const UChar32 c = is_scalar(wc) ? static_cast<UChar32>(wc) : replacement;
        uint8_t buf[U8_MAX_LENGTH];
        int32_t n = 0;
        U8_APPEND_UNSAFE(buf, n, c);
        out.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(n));
    }
    return out;
}

wchar_t to_upper(wchar_t c) {
    if (!is_scalar(c)) return c;
    return static_cast<wchar_t>(u_toupper(static_cast<UChar32>(c)));
}

std::wstring to_upper(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out) c = to_upper(c);
    return out;
}

bool equal_no_case(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && to_upper(a[i]) != to_upper(b[i])) return false;
    return true;
}

std::wstring trim_blanks(std::wstring_view text) {
    const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
    size_t begin = 0, end = text.size();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return std::wstring(text.substr(begin, end - begin));
}

}  // namespace rkit
