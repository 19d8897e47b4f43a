#include <gtest/gtest.h>

#include <filesystem>

#include "rkit/file_enumerator.h"
#include "support/temp_dir.h"

using namespace rkit;

namespace {

std::vector<std::wstring> list(const std::wstring& folder_and_pattern, bool dirs_marked = false) {
    std::vector<std::wstring> names;
    for (file_enumerator e(folder_and_pattern); !e.done(); e.next())
        names.push_back(dirs_marked && e.is_dir() ? e.filename() + L"/" : e.filename());
    return names;
}

using names = std::vector<std::wstring>;

}  // namespace

TEST(FilePattern, WindowsRules) {
    EXPECT_TRUE(match_file_pattern(L"*.*", L"README"));
    EXPECT_TRUE(match_file_pattern(L"*.*", L"a.b.c"));
    EXPECT_TRUE(match_file_pattern(L"*", L".hidden"));
    EXPECT_TRUE(match_file_pattern(L"report.*", L"report"));
    EXPECT_FALSE(match_file_pattern(L"report.*", L"reports"));
    EXPECT_TRUE(match_file_pattern(L"*.", L"README"));
    EXPECT_FALSE(match_file_pattern(L"*.", L"a.txt"));

    EXPECT_TRUE(match_file_pattern(L"?.dbf", L"a.dbf"));
    EXPECT_FALSE(match_file_pattern(L"?.dbf", L".dbf"));
    EXPECT_FALSE(match_file_pattern(L"?.dbf", L"ab.dbf"));
    EXPECT_TRUE(match_file_pattern(L"a*b*c", L"aXbYbZc"));
    EXPECT_FALSE(match_file_pattern(L"a*b*c", L"aXbYbZ"));
    EXPECT_FALSE(match_file_pattern(L"*.dbf", L"x.dbf.bak"));

    EXPECT_TRUE(match_file_pattern(L"*.DBF", L"x.dbf"));
    EXPECT_TRUE(match_file_pattern(L"ОТЧЁТ*.txt", L"отчёт за март.TXT"));
    EXPECT_FALSE(match_file_pattern(L"отчет*", L"отчёт"));
}

TEST(FileEnumerator, ListsMatchingEntriesSortedWithoutDotEntries) {
    bktest::TempDir dir;
    for (const char* name : {"b.dbf", "A.DBF", "README", "Отчёт.txt", "sub/x.dbf", ".hidden"})
        bktest::write_file(dir / name, "x");
    std::filesystem::create_directory(dir / "empty.dir");

    EXPECT_EQ(list(dir.wpath() + L"/*.*", true),
              (names{L".hidden", L"A.DBF", L"README", L"b.dbf", L"empty.dir/", L"sub/", L"Отчёт.txt"}));
    EXPECT_EQ(list(dir.wpath() + L"\\*"), list(dir.wpath() + L"/*.*"));
    EXPECT_EQ(list(dir.wpath() + L"/*.dbf"), (names{L"A.DBF", L"b.dbf"}));
    EXPECT_EQ(list(dir.wpath() + L"/оТЧЁТ.*"), (names{L"Отчёт.txt"}));
    EXPECT_EQ(list(dir.wpath() + L"/?.dbf"), (names{L"A.DBF", L"b.dbf"}));
    EXPECT_EQ(list(dir.wpath() + L"/readme"), (names{L"README"}));
    EXPECT_TRUE(list(dir.wpath() + L"/*.zip").empty());
    EXPECT_TRUE(list(dir.wpath() + L"/none/*.*").empty());
    EXPECT_TRUE(list(dir.wpath() + L"/").empty());
}

TEST(FileEnumerator, LinksAreSeenAsWhatTheyPointTo) {
    bktest::TempDir dir;
    bktest::write_file(dir / "real/f.txt", "x");
    std::filesystem::create_directory_symlink(dir / "real", dir / "dirlink");
    std::filesystem::create_symlink(dir / "real/f.txt", dir / "filelink");
    std::filesystem::create_symlink(dir / "gone", dir / "dangling");

    std::vector<std::wstring> seen;
    for (file_enumerator e(dir.wpath() + L"/*"); !e.done(); e.next())
        seen.push_back(e.filename() + (e.is_dir() ? L" dir" : L" file") + (e.is_symlink() ? L" link" : L""));
    EXPECT_EQ(seen, (names{L"dangling file link", L"dirlink dir link", L"filelink file link", L"real dir"}));
}
