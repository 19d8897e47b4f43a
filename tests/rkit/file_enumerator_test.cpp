// Folder listings with the Windows file-pattern rules: "*.*" matches every
// name, letters (Cyrillic too) match without case, "." and ".." never appear.
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
        {L"*.*", L"README", true},     {L"*.*", L"a.b.c", true},        {L"*", L".hidden", true},
        {L"report.*", L"report", true}, {L"report.*", L"reports", false}, {L"*.", L"README", true},
        {L"*.", L"a.txt", false},      {L"?.dbf", L"a.dbf", true},      {L"?.dbf", L".dbf", false},
        {L"?.dbf", L"ab.dbf", false},  {L"a*b*c", L"aXbYbZc", true},    {L"a*b*c", L"aXbYbZ", false},
        {L"*.dbf", L"x.dbf.bak", false}, {L"*.DBF", L"x.dbf", true},
        {L"ОТЧЁТ*.txt", L"отчёт за март.TXT", true}, {L"отчет*", L"отчёт", false}};
    for (const auto& [pattern, name, match] : cases)
        EXPECT_EQ(match_file_pattern(pattern, name), match) << wide_to_char(pattern) << " " << wide_to_char(name);
}

TEST(FileEnumerator, ListsMatchingEntriesSortedWithoutDotEntries) {
    bktest::TempDir dir;
    for (const char* name : {"b.dbf", "A.DBF", "README", "Отчёт.txt", "sub/x.dbf", ".hidden"})
        bktest::write_file(dir / name, "x");
    std::filesystem::create_directory(dir / "empty.dir");
    std::filesystem::create_symlink(dir / "gone", dir / "dangling");
    const auto list = [&](const std::wstring& pattern, bool marked = false) {
        names out;
        for (file_enumerator e(dir.wpath() + pattern); !e.done(); e.next())
            out.push_back(e.filename() + (marked && e.is_dir() ? L"/" : L"") + (marked && e.is_symlink() ? L"@" : L""));
        return out;
    };
    EXPECT_EQ(list(L"/*.*", true),
              (names{L".hidden", L"A.DBF", L"README", L"b.dbf", L"dangling@", L"empty.dir/", L"sub/", L"Отчёт.txt"}));
    EXPECT_EQ(list(L"\\*"), list(L"/*.*"));
    EXPECT_EQ(list(L"/*.dbf"), (names{L"A.DBF", L"b.dbf"}));
    EXPECT_EQ(list(L"/оТЧЁТ.*"), (names{L"Отчёт.txt"}));
    EXPECT_EQ(list(L"/?.dbf"), (names{L"A.DBF", L"b.dbf"}));
    EXPECT_EQ(list(L"/readme"), (names{L"README"}));
    EXPECT_TRUE(list(L"/*.zip").empty());
    EXPECT_TRUE(list(L"/none/*.*").empty());
}
