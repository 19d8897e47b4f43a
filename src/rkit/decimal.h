// Decimal numbers in text, read as wcstol and wcstoul read them (leading
// blanks and a sign allowed), but only when the whole text is the number and
// it fits the 32-bit target: long is 64-bit here, the fields are not.
#pragma once
#include <cstdint>
#include <string_view>

namespace rkit {

// False, out untouched, for empty text, trailing characters or out of range.
bool parse_int32(std::wstring_view text, int32_t& out);
// The same; a minus sign is refused rather than wrapped around.
bool parse_uint32(std::wstring_view text, uint32_t& out);

}  // namespace rkit
