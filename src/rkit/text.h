// Text conversion between the host's narrow text and the module's wide strings.
// Every charset (0 default, 1 "ANSI", 2 "OEM console") is UTF-8 here; invalid
// bytes become U+FFFD instead of failing.
#pragma once
#include <string>
#include <string_view>

namespace rkit {

class text_encoding {
public:
    explicit text_encoding(int charset = 0) : charset_(charset) {}
    int charset() const { return charset_; }

private:
    int charset_;
};

std::wstring char_to_wide(std::string_view text, const text_encoding& enc = text_encoding());
std::string wide_to_char(std::wstring_view text, const text_encoding& enc = text_encoding());

// Unicode upper-case mapping, independent of the process locale.
std::wstring to_upper(std::wstring_view text);
wchar_t to_upper(wchar_t c);
// Case-insensitive equality by the upper-case mapping.
bool equal_no_case(std::wstring_view a, std::wstring_view b);
// Spaces and tabs removed from both ends.
std::wstring trim_blanks(std::wstring_view text);

}  // namespace rkit
