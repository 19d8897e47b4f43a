// The path rules that the end-to-end tests do not reach: "\" is a separator
// like "/", dots resolve lexically and never above the root, a hidden file has
// no extension, and two paths are the same only when spelled the same.
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
        {extract_name(L"/a\\b/arc.tar.7z"), L"arc.tar"},
        {extract_ext(L"/a.d/README"), L""},
        {extract_ext(L"/home/u/.profile"), L""},  // a hidden file, not an extension
        {concat_path(L"/a\\", L"\\b\\c"), L"/a/b/c"},
        {default_extension(L"/b/vd_backup.rar", L"7z"), L"/b/vd_backup.rar"},
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
    // A name that only begins like the base is not inside it.
    ASSERT_TRUE(get_relative_path(L"/home/u/data/", L"\\home\\u\\database", out));
    EXPECT_EQ(out, L"../database");

    EXPECT_TRUE(equal_path(L"/a/b/../c", L"\\a\\c\\."));
    EXPECT_TRUE(equal_path(L"x.dbf", concat_path(get_current_dir(), L"x.dbf")));
    EXPECT_FALSE(equal_path(L"/a/B", L"/a/b"));
    EXPECT_FALSE(equal_path(L"", L"."));
}
