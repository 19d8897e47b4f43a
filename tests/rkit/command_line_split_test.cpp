#include <gtest/gtest.h>

#include "rkit/command_line_split.h"

using rkit::split_command_line;
using Args = std::vector<std::wstring>;

TEST(CommandLineSplit, ProgramNameKeepsBackslashesAndEndsAtItsQuote) {
    EXPECT_EQ(split_command_line(L"\"C:\\Program Files\\7-Zip\\\" a b"),
              (Args{L"C:\\Program Files\\7-Zip\\", L"a", L"b"}));
    EXPECT_EQ(split_command_line(L"\"/opt/my app/7z\"x y"), (Args{L"/opt/my app/7z", L"x", L"y"}));
    EXPECT_EQ(split_command_line(L"  7z\tl   arc.7z  "), (Args{L"7z", L"l", L"arc.7z"}));
    EXPECT_EQ(split_command_line(L"\"unterminated name"), (Args{L"unterminated name"}));
    EXPECT_TRUE(split_command_line(L" \t ").empty());
}

TEST(CommandLineSplit, BackslashesAndQuotesInArguments) {
    // The documented examples of the Windows rules, behind a program name.
    EXPECT_EQ(split_command_line(L"p \"abc\" d e"), (Args{L"p", L"abc", L"d", L"e"}));
    EXPECT_EQ(split_command_line(L"p a\\\\\\b d\"e f\"g h"), (Args{L"p", L"a\\\\\\b", L"de fg", L"h"}));
    EXPECT_EQ(split_command_line(L"p a\\\\\\\"b c d"), (Args{L"p", L"a\\\"b", L"c", L"d"}));
    EXPECT_EQ(split_command_line(L"p a\\\\\\\\\"b c\" d e"), (Args{L"p", L"a\\\\b c", L"d", L"e"}));
    // A quoted folder that ends in a backslash swallows its closing quote.
    EXPECT_EQ(split_command_line(L"p -w\"C:\\tmp\\\" x"), (Args{L"p", L"-wC:\\tmp\" x"}));
}

TEST(CommandLineSplit, EmptyAndDoubledQuotes) {
    EXPECT_EQ(split_command_line(L"p \"\" x"), (Args{L"p", L"", L"x"}));
    EXPECT_EQ(split_command_line(L"p \"\""), (Args{L"p", L""}));
    // Three quotes in a row inside quoting give one literal quote.
    EXPECT_EQ(split_command_line(L"p \"a\"\"\"b c\""), (Args{L"p", L"a\"b c"}));
    EXPECT_EQ(split_command_line(L"p /C=\"say \"\"\"hi\"\"\"\" /Q"), (Args{L"p", L"/C=say \"hi\"", L"/Q"}));
    EXPECT_EQ(split_command_line(L"p /D=\"Архив 1\""), (Args{L"p", L"/D=Архив 1"}));
}
