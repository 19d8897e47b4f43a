// Command lines split by the Windows rules. What the module joins comes back
// whole (see the command-line round trips); here the forms no joining makes.
#include <gtest/gtest.h>

#include "rkit/command_line_split.h"
#include "rkit/text.h"

using Args = std::vector<std::wstring>;

TEST(CommandLineSplit, ProgramNameKeepsItsBackslashesAndOddQuoting) {
    const std::vector<std::pair<std::wstring, Args>> cases{
        {L"\"C:\\Program Files\\7-Zip\\\" a b", {L"C:\\Program Files\\7-Zip\\", L"a", L"b"}},
        {L"\"/opt/my app/7z\"x y", {L"/opt/my app/7z", L"x", L"y"}},
        {L"\"unterminated name", {L"unterminated name"}},
        {L"p \"a\"\"\"b c\"", {L"p", L"a\"b c"}},  // three quotes inside quoting: one literal quote
    };
    for (const auto& [line, args] : cases) EXPECT_EQ(rkit::split_command_line(line), args) << rkit::wide_to_char(line);
}
