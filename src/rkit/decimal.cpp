#include "rkit/decimal.h"

#include <cwctype>
#include <limits>

namespace rkit {

namespace {

// A number at the start of text: where it ends (0 when there is none), its
// sign and its size, which stops growing once it is past every 64-bit number.
struct leading_number {
    size_t end = 0;
    bool negative = false;
    uint64_t magnitude = 0;
};

constexpr uint64_t beyond_int64 = uint64_t{1} << 63 | 1;

bool is_digit(wchar_t c) { return c >= L'0' && c <= L'9'; }

size_t skip_blanks(std::wstring_view text, size_t pos) {
    while (pos < text.size() && std::iswspace(static_cast<wint_t>(text[pos]))) ++pos;
    return pos;
}

leading_number read_leading(std::wstring_view text) {
    leading_number number;
    size_t pos = skip_blanks(text, 0);
    if (pos < text.size() && (text[pos] == L'+' || text[pos] == L'-')) number.negative = text[pos++] == L'-';
    if (pos == text.size() || !is_digit(text[pos])) return number;
    for (; pos < text.size() && is_digit(text[pos]); ++pos) {
        const auto digit = static_cast<uint64_t>(text[pos] - L'0');
        number.magnitude =
            number.magnitude > (beyond_int64 - digit) / 10 ? beyond_int64 : number.magnitude * 10 + digit;
    }
    number.end = pos;
    return number;
}

// The value, or false when it lies outside min..max.
bool in_range(const leading_number& number, int64_t min, int64_t max, int64_t& value) {
    constexpr uint64_t largest = std::numeric_limits<int64_t>::max();
    if (number.magnitude > largest + (number.negative ? 1 : 0)) return false;
    value = number.negative ? static_cast<int64_t>(0 - number.magnitude) : static_cast<int64_t>(number.magnitude);
    return value >= min && value <= max;
}

}  // namespace

decimal_result parse_decimal(std::wstring_view text, int64_t min, int64_t max, int64_t& out, bool blanks_after) {
    const leading_number number = read_leading(text);
    if (number.end == 0) return decimal_result::not_a_number;
    const size_t end = blanks_after ? skip_blanks(text, number.end) : number.end;
    if (end != text.size()) return decimal_result::not_a_number;
    int64_t value = 0;
    if (!in_range(number, min, max, value)) return decimal_result::out_of_range;
    out = value;
    return decimal_result::ok;
}

bool parse_int32(std::wstring_view text, int32_t& out) {
    int64_t value = 0;
    if (parse_decimal(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), value) !=
        decimal_result::ok)
        return false;
    out = static_cast<int32_t>(value);
    return true;
}

bool parse_uint32(std::wstring_view text, uint32_t& out) {
    int64_t value = 0;
    if (text.find(L'-') != std::wstring_view::npos ||
        parse_decimal(text, 0, std::numeric_limits<uint32_t>::max(), value) != decimal_result::ok)
        return false;
    out = static_cast<uint32_t>(value);
    return true;
}

int64_t leading_int64(std::wstring_view text) {
    const leading_number number = read_leading(text);
    int64_t value = 0;
    if (number.end == 0) return 0;
    if (!in_range(number, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), value))
        return number.negative ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    return value;
}

}  // namespace rkit
