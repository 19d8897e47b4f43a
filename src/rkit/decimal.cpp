#include "rkit/decimal.h"

#include <cerrno>
#include <cwchar>
#include <limits>
#include <string>

namespace rkit {

namespace {

// The text copied, so that an embedded NUL stops wcstol short of the end and
// the value is refused instead of being cut there.
template <typename Parse>
bool parse_whole(std::wstring_view text, Parse parse) {
    if (text.empty()) return false;
    const std::wstring copy(text);
    wchar_t* end = nullptr;
    errno = 0;
    const bool ok = parse(copy.c_str(), &end);
    return ok && errno != ERANGE && end == copy.c_str() + copy.size();
}

}  // namespace

bool parse_int32(std::wstring_view text, int32_t& out) {
    long number = 0;
    if (!parse_whole(text, [&](const wchar_t* s, wchar_t** end) {
            number = std::wcstol(s, end, 10);
            return true;
        }))
        return false;
    if (number < std::numeric_limits<int32_t>::min() || number > std::numeric_limits<int32_t>::max())
        return false;
    out = static_cast<int32_t>(number);
    return true;
}

bool parse_uint32(std::wstring_view text, uint32_t& out) {
    unsigned long number = 0;
    if (!parse_whole(text, [&](const wchar_t* s, wchar_t** end) {
            number = std::wcstoul(s, end, 10);
            return std::wcschr(s, L'-') == nullptr;
        }))
        return false;
    if (number > std::numeric_limits<uint32_t>::max()) return false;
    out = static_cast<uint32_t>(number);
    return true;
}

}  // namespace rkit
