#include <gtest/gtest.h>

#include "rkit/path.h"

using namespace rkit;

TEST(Path, PartsOfWindowsAndLinuxSpellings) {
    EXPECT_EQ(extract_dir(L"C:\\Data\\base\\x.dbf"), L"C:/Data/base");
    EXPECT_EQ(extract_dir(L"/x.dbf"), L"/");
    EXPECT_EQ(extract_dir(L"x.dbf"), L"");
    EXPECT_EQ(extract_dir(L"/data//*.dbf"), L"/data");
    EXPECT_EQ(extract_name_ext(L"/a\\b/arc.tar.7z"), L"arc.tar.7z");
    EXPECT_EQ(extract_name(L"/a/b/arc.tar.7z"), L"arc.tar");
    EXPECT_EQ(extract_ext(L"/a/b/arc.tar.7z"), L".7z");
    EXPECT_EQ(extract_ext(L"/a.d/README"), L"");
    // A leading dot marks a hidden file, not an extension.
    EXPECT_EQ(extract_ext(L"/home/u/.profile"), L"");
    EXPECT_EQ(extract_name(L"/home/u/.profile"), L".profile");
}

TEST(Path, JoiningPutsExactlyOneSeparator) {
    EXPECT_EQ(concat_path(L"/a/", L"/b"), L"/a/b");
    EXPECT_EQ(concat_path(L"/a\\", L"b\\c"), L"/a/b/c");
    EXPECT_EQ(concat_path(L"/", L"b"), L"/b");
    EXPECT_EQ(concat_path(L"", L"b"), L"b");
    EXPECT_EQ(concat_path(L"a", L""), L"a");
    std::wstring out;
    ASSERT_TRUE(make_path(L"/data", L"x", L"dbf", out));
    EXPECT_EQ(out, L"/data/x.dbf");
    ASSERT_TRUE(make_path(L"", L"x", L".dbf", out));
    EXPECT_EQ(out, L"x.dbf");
    EXPECT_FALSE(make_path(L"/data", L"", L".dbf", out));
}

TEST(Path, ExtensionsAddedOrReplaced) {
    EXPECT_EQ(default_extension(L"/b/vd_backup", L".7z"), L"/b/vd_backup.7z");
    EXPECT_EQ(default_extension(L"/b/vd_backup.rar", L"7z"), L"/b/vd_backup.rar");
    EXPECT_EQ(force_extension(L"/b/x.dbf", L".~TempCopy"), L"/b/x.~TempCopy");
    EXPECT_EQ(force_extension(L"/b.d/x", L"rar"), L"/b.d/x.rar");
}

TEST(Path, AbsolutePathsResolveDotsLexically) {
    std::wstring out;
    ASSERT_TRUE(get_absolute_path(L"/root/base", L"../backup/./x", out));
    EXPECT_EQ(out, L"/root/backup/x");
    ASSERT_TRUE(get_absolute_path(L"/root/base", L"\\\\srv//share\\x", out));
    EXPECT_EQ(out, L"/srv/share/x");
    ASSERT_TRUE(get_absolute_path(L"/root/base/", L"", out));
    EXPECT_EQ(out, L"/root/base");
    ASSERT_TRUE(get_absolute_path(L"rel", L"x", out));
    EXPECT_EQ(out, concat_path(get_current_dir(), L"rel/x"));

    out = L"untouched";
    EXPECT_FALSE(get_absolute_path(L"", L"", out));
    EXPECT_FALSE(get_absolute_path(L"/a", L"../../x", out));
    EXPECT_EQ(out, L"untouched");
    EXPECT_EQ(normalize_path(L"/a/b/../../../c/"), L"/c");
}

TEST(Path, RelativePathsBothWays) {
    std::wstring out;
    ASSERT_TRUE(get_relative_path(L"/home/u/data", L"/home/u/data/base/x.dbf", out));
    EXPECT_EQ(out, L"base/x.dbf");
    ASSERT_TRUE(get_relative_path(L"/home/u/data", L"/home/u/other/x", out));
    EXPECT_EQ(out, L"../other/x");
    ASSERT_TRUE(get_relative_path(L"/home/u/data/", L"\\home\\u\\data", out));
    EXPECT_EQ(out, L".");
    // A name that only begins like the base is not inside it.
    ASSERT_TRUE(get_relative_path(L"/home/u/data", L"/home/u/database", out));
    EXPECT_EQ(out, L"../database");

    // Round trip: relative, then absolute again, lands on the same path.
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
    EXPECT_TRUE(equal_path(L"", L""));
}

TEST(Path, NativeBytesAreUtf8WithSlashes) {
    EXPECT_EQ(native_path(L"C:\\Данные\\x"), "C:/\xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5/x");
    EXPECT_EQ(from_native_path(native_path(L"/tmp/Отчёт.txt")), L"/tmp/Отчёт.txt");
}
