// Folder listings with the Windows file-pattern rules: "*.*" matches every
// name, letters (Cyrillic too) match without case, "." and ".." never appear.
// The search of a group's folder shows the common masks at work.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "rkit/file_enumerator.h"
#include "rkit/text.h"
#include "support/temp_dir.h"

using namespace rkit;
using names = std::vector<std::wstring>;

TEST(FilePattern, WindowsRules) {
    const std::vector<std::tuple<const wchar_t*, const wchar_t*, bool>> cases{
        {L"*.*", L"a.b.c", true},        {L"report.*", L"report", true}, {L"report.*", L"reports", false},
        {L"*.", L"README", true},        {L"*.", L"a.txt", false},       {L"?.dbf", L".dbf", false},
        {L"a*b*c", L"aXbYbZc", true},    {L"a*b*c", L"aXbYbZ", false},   {L"*.dbf", L"x.dbf.bak", false},
        {L"ОТЧЁТ*.txt", L"отчёт за март.TXT", true}, {L"отчет*", L"отчёт", false}};
    for (const auto& [pattern, name, match] : cases)
        EXPECT_EQ(match_file_pattern(pattern, name), match) << wide_to_char(pattern) << " " << wide_to_char(name);
}

TEST(FileEnumerator, ListsMatchingEntriesSortedWithoutDotEntries) {
    bktest::TempDir dir;
    for (const char* name : {"b.dbf", "A.DBF", "README", "sub/x.dbf", ".hidden"}) bktest::write_file(dir / name, "x");
    std::filesystem::create_symlink(dir / "gone", dir / "dangling");
    names all;
    for (file_enumerator e(dir.wpath() + L"\\*"); !e.done(); e.next())
        all.push_back(e.filename() + (e.is_dir() ? L"/" : L"") + (e.is_symlink() ? L"@" : L""));
    EXPECT_EQ(all, (names{L".hidden", L"A.DBF", L"README", L"b.dbf", L"dangling@", L"sub/"}));
    EXPECT_TRUE(file_enumerator(dir.wpath() + L"/*.zip").done());
    EXPECT_TRUE(file_enumerator(dir.wpath() + L"/none/*.*").done());
}
