// The path layer: "\" is a separator like "/", dots resolve lexically, and two
// paths are the same only when they are spelled the same after normalising.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "rkit/path.h"
#include "rkit/text.h"

using namespace rkit;

TEST(Path, PartsJoinsAndExtensions) {
    const std::vector<std::pair<std::wstring, std::wstring>> cases{
        {extract_dir(L"C:\\Data\\base\\x.dbf"), L"C:/Data/base"},
        {extract_dir(L"/x.dbf"), L"/"},
        {extract_dir(L"/data//*.dbf"), L"/data"},
        {extract_name_ext(L"/a\\b/arc.tar.7z"), L"arc.tar.7z"},
        {extract_name(L"/a/b/arc.tar.7z"), L"arc.tar"},
        {extract_ext(L"/a/b/arc.tar.7z"), L".7z"},
        {extract_ext(L"/a.d/README"), L""},
        {extract_ext(L"/home/u/.profile"), L""},  // a hidden file, not an extension
        {concat_path(L"/a/", L"/b"), L"/a/b"},
        {concat_path(L"/a\\", L"b\\c"), L"/a/b/c"},
        {concat_path(L"", L"b"), L"b"},
        {default_extension(L"/b/vd_backup", L".7z"), L"/b/vd_backup.7z"},
        {default_extension(L"/b/vd_backup.rar", L"7z"), L"/b/vd_backup.rar"},
        {force_extension(L"/b/x.dbf", L".~TempCopy"), L"/b/x.~TempCopy"},
        {force_extension(L"/b.d/x", L"rar"), L"/b.d/x.rar"},
        {normalize_path(L"/a/b/../../../c/"), L"/c"},
    };
    for (const auto& [got, expected] : cases) EXPECT_EQ(got, expected);
}

TEST(Path, AbsoluteAndRelativeBothWays) {
    std::wstring out;
    for (auto [base, path, expected] : {std::tuple{L"/root/base", L"../backup/./x", std::wstring(L"/root/backup/x")},
                                        {L"/root/base", L"\\\\srv//share\\x", L"/srv/share/x"},
                                        {L"rel", L"x", concat_path(get_current_dir(), L"rel/x")}})
        EXPECT_TRUE(get_absolute_path(base, path, out) && out == expected) << wide_to_char(out);
    out = L"untouched";
    EXPECT_FALSE(get_absolute_path(L"", L"", out));
    EXPECT_FALSE(get_absolute_path(L"/a", L"../../x", out));
    EXPECT_EQ(out, L"untouched");

    ASSERT_TRUE(get_relative_path(L"/home/u/data", L"/home/u/data/base/x.dbf", out));
    EXPECT_EQ(out, L"base/x.dbf");
    ASSERT_TRUE(get_relative_path(L"/home/u/data/", L"\\home\\u\\data", out));
    EXPECT_EQ(out, L".");
    // A name that only begins like the base is not inside it; and back again.
    ASSERT_TRUE(get_relative_path(L"/home/u/data", L"/home/u/database", out));
    EXPECT_EQ(out, L"../database");
    std::wstring back;
    ASSERT_TRUE(get_absolute_path(L"/home/u/data", out, back));
    EXPECT_EQ(back, L"/home/u/database");
}

TEST(Path, EqualPathIsExactAfterNormalising) {
    EXPECT_TRUE(equal_path(L"/a/b/../c", L"\\a\\c\\"));
    EXPECT_TRUE(equal_path(L"/a//c/.", L"/a/c"));
    EXPECT_TRUE(equal_path(L"x.dbf", concat_path(get_current_dir(), L"x.dbf")));
    EXPECT_FALSE(equal_path(L"/a/B", L"/a/b"));
    EXPECT_FALSE(equal_path(L"/a/b", L"/a/b c"));
    EXPECT_FALSE(equal_path(L"", L"."));
}

TEST(Path, NativeBytesAreUtf8WithSlashes) {
    EXPECT_EQ(native_path(L"C:\\Данные\\x"), "C:/\xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5/x");
    EXPECT_EQ(from_native_path(native_path(L"/tmp/Отчёт.txt")), L"/tmp/Отчёт.txt");
}
