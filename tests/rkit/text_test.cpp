// Text conversion keeps every character and never throws on bad bytes; case
// rules do not depend on the locale. Cyrillic names and names that are not
// UTF-8 on their way through every layer are the end-to-end tests'.
#include <gtest/gtest.h>

#include "rkit/text.h"

using namespace rkit;

TEST(Text, AstralCharactersBadBytesAndCase) {
    const std::wstring wide = L"Резервное копирование: ёЁ, €, \U0001F600";
    for (const text_encoding charset : {text_encoding(0), text_encoding(1), text_encoding(2)})
        EXPECT_EQ(char_to_wide(wide_to_char(wide, charset), charset), wide);
    // A stray continuation byte, a truncated sequence at the end, an overlong
    // "/" and an encoded surrogate: each is replaced, the rest kept.
    EXPECT_EQ(char_to_wide("a\x80z"), L"a\uFFFDz");
    EXPECT_EQ(char_to_wide("ok\xD0"), L"ok\uFFFD");
    EXPECT_EQ(char_to_wide("\xC0\xAF").find(L'/'), std::wstring::npos);
    EXPECT_EQ(char_to_wide("\xED\xA0\x80").find_first_not_of(L'\uFFFD'), std::wstring::npos);
    EXPECT_EQ(wide_to_char(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");

    EXPECT_EQ(to_upper(L"база данных ё"), L"БАЗА ДАННЫХ Ё");
    EXPECT_FALSE(equal_no_case(L"е", L"ё"));
}
