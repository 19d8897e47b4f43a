// The Windows file-pattern rules that a folder search applies to names: what
// "*.*", a trailing "." and ".*" take, and letters (Cyrillic too) without case.
// Listing folders is shown by the search of a group's folder.
#include <gtest/gtest.h>

#include <tuple>

#include "rkit/file_enumerator.h"
#include "rkit/text.h"

TEST(FilePattern, WindowsRules) {
    const std::vector<std::tuple<const wchar_t*, const wchar_t*, bool>> cases{
        {L"*.*", L"a.b.c", true},        {L"report.*", L"report", true}, {L"report.*", L"reports", false},
        {L"*.", L"README", true},        {L"*.", L"a.txt", false},       {L"?.dbf", L".dbf", false},
        {L"a*b*c", L"aXbYbZc", true},    {L"a*b*c", L"aXbYbZ", false},   {L"*.dbf", L"x.dbf.bak", false},
        {L"ОТЧЁТ*.txt", L"отчёт за март.TXT", true}, {L"отчет*", L"отчёт", false}};
    for (const auto& [pattern, name, match] : cases)
        EXPECT_EQ(rkit::match_file_pattern(pattern, name), match)
            << rkit::wide_to_char(pattern) << " " << rkit::wide_to_char(name);
}
