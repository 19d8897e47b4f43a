// The path rules that the end-to-end tests do not reach: a hidden file has no
// extension, a name that only begins like a folder is not inside it, and two
// paths are the same only when spelled the same ("\" counting as "/").
#include <gtest/gtest.h>

#include "rkit/path.h"

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
