// The path and name rules that the end-to-end tests do not reach: a hidden
// file has no extension, a name that only begins like a folder is not inside
// it, two paths are the same only when spelled the same ("\" counting as "/"),
// and the Windows file patterns that a folder search applies to names.
#include <gtest/gtest.h>

#include <tuple>

#include "rkit/file_enumerator.h"
#include "rkit/path.h"
#include "rkit/text.h"

using namespace rkit;

TEST(Path, HiddenFilesLookalikeFoldersAndEqualPaths) {
    EXPECT_EQ(extract_ext(L"/home/u/.profile"), L"");
    EXPECT_EQ(force_extension(L"/b.d/x", L"rar"), L"/b.d/x.rar");
    std::wstring out;
    ASSERT_TRUE(get_relative_path(L"/home/u/data/", L"\\home\\u\\database", out));
    EXPECT_EQ(out, L"../database");
    EXPECT_TRUE(equal_path(L"/a/b/../c", L"\\a\\c\\."));
    EXPECT_TRUE(equal_path(L"x.dbf", concat_path(get_current_dir(), L"x.dbf")));
    EXPECT_FALSE(equal_path(L"/a/B", L"/a/b"));
    EXPECT_FALSE(equal_path(L"", L"."));
}

// What "*.*", a trailing "." and ".*" take, and letters (Cyrillic too) without case.
TEST(FilePattern, WindowsRules) {
    const std::vector<std::tuple<const wchar_t*, const wchar_t*, bool>> cases{
        {L"*.*", L"a.b.c", true},        {L"report.*", L"report", true}, {L"report.*", L"reports", false},
        {L"*.", L"README", true},        {L"*.", L"a.txt", false},       {L"?.dbf", L".dbf", false},
        {L"a*b*c", L"aXbYbZc", true},    {L"a*b*c", L"aXbYbZ", false},   {L"*.dbf", L"x.dbf.bak", false},
        {L"ОТЧЁТ*.txt", L"отчёт за март.TXT", true}, {L"отчет*", L"отчёт", false}};
    for (const auto& [pattern, name, match] : cases)
        EXPECT_EQ(match_file_pattern(pattern, name), match) << wide_to_char(pattern) << " " << wide_to_char(name);
}
