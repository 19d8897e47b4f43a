// Text conversion keeps every character and never throws on bad bytes; case
// rules do not depend on the locale. Cyrillic names through every layer are
// the end-to-end tests'.
#include <gtest/gtest.h>

#include "rkit/text.h"
#include "rkit/text_file_stream.h"
#include "support/temp_dir.h"

using namespace rkit;

TEST(Text, AstralCharactersAndInvalidBytes) {
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
}

TEST(Text, CaseMappingDoesNotDependOnTheLocale) {
    EXPECT_EQ(to_upper(L"база данных ё"), L"БАЗА ДАННЫХ Ё");
    EXPECT_TRUE(equal_no_case(L"Бухгалтерия 8.3", L"бУХГАЛТЕРИЯ 8.3"));
    EXPECT_FALSE(equal_no_case(L"е", L"ё"));
    EXPECT_EQ(trim_blanks(L" \t 8.3, 8.2 \t"), L"8.3, 8.2");
}

// The list files handed to the archivers; one that cannot be made says so.
TEST(TextFileStream, LinesRoundTripAndAFileThatCannotBeMade) {
    bktest::TempDir dir;
    const std::wstring path = dir.wpath() + L"/список.txt";
    text_file_stream out;
    ASSERT_TRUE(out.open(path, text_file_stream::create, text_encoding(1)));
    for (const wchar_t* line : {L"/home/u/Отчёт.dbf", L"", L"last"}) EXPECT_TRUE(out.write_line(line));
    out.close();
    text_file_stream in;
    ASSERT_TRUE(in.open(path, text_file_stream::read, text_encoding(2)));
    std::vector<std::wstring> lines;
    for (std::wstring line; in.read_line(line);) lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::wstring>{L"/home/u/Отчёт.dbf", L"", L"last"}));
    EXPECT_TRUE(in.eof() && in.ok());
    text_file_stream missing;
    EXPECT_FALSE(missing.open(dir.wpath() + L"/none/list.txt", text_file_stream::create));
    EXPECT_FALSE(missing.write_line(L"x"));
}
