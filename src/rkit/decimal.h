// Decimal integers in text. A number is white space, an optional sign and
// decimal digits; it is read only when the whole text is the number (an
// embedded NUL included), and only within the range asked for: long is
// 64-bit here, the fields the numbers go to are 32-bit.
#pragma once
#include <cstdint>
#include <string_view>

namespace rkit {

enum class decimal_result { ok, not_a_number, out_of_range };

// The whole of text as a decimal integer from min to max; with blanks_after,
// white space may also follow the number. out is set only for ok.
decimal_result parse_decimal(std::wstring_view text, int64_t min, int64_t max, int64_t& out,
                             bool blanks_after = false);
// parse_decimal for the 32-bit fields: false, out untouched, unless ok.
bool parse_int32(std::wstring_view text, int32_t& out);
// The same; a minus sign is refused rather than wrapped around, even on 0.
bool parse_uint32(std::wstring_view text, uint32_t& out);
// The number text starts with, read as _wtoi64 reads it: 0 when it starts
// with none, the nearest end of the 64-bit range when it is beyond it, and
// whatever follows the digits ignored.
int64_t leading_int64(std::wstring_view text);

}  // namespace rkit
