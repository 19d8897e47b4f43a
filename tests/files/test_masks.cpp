// Mask lists as the settings hold them: split, validated with the message the
// user sees, and matched (with case; the folder search adds case-insensitivity).
#include <gtest/gtest.h>

#include <stdexcept>

#include "files/masks.h"

using bk::MaskEntry;
using Masks = std::vector<MaskEntry>;

TEST(MaskList, SplitsAtSemicolonsAndCommasAndTrimsBlanks) {
    EXPECT_EQ(bk::parse_mask_list(L" *.txt ; ;*.ini,\t*.dbf\t,,a b.txt"),
              (Masks{{L"", L"*.txt"}, {L"", L"*.ini"}, {L"", L"*.dbf"}, {L"", L"a b.txt"}}));
    EXPECT_TRUE(bk::parse_mask_list(L" ;\t, ;").empty());
    EXPECT_EQ(bk::parse_mask_list(L"\n*.a"), (Masks{{L"", L"\n*.a"}}));  // only blanks and tabs are trimmed
    // Both separators start a folder part; nothing is validated while parsing.
    EXPECT_EQ(bk::parse_mask_list(L"data\\*.dbf; old/arch/*.7z; /etc/*.conf; temp; dat?\\*.dbf; data\\"),
              (Masks{{L"data", L"*.dbf"}, {L"old/arch", L"*.7z"}, {L"/etc", L"*.conf"}, {L"", L"temp"},
                     {L"dat?", L"*.dbf"}, {L"data", L""}}));
}

TEST(MaskValidation, RejectsWildcardFoldersEmptyNamesAndSeparatorsInNames) {
    const std::vector<std::pair<MaskEntry, std::string>> cases{
        {{L"data", L"*.dbf"}, "valid"},
        {{L"", L"?*.*"}, "valid"},
        {{L"", L"a:b|c"}, "valid"},  // characters Windows forbids are left to the file system
        {{L"dat?", L"*.dbf"}, "invalid mask: dat?/*.dbf"},
        {{L"d*/x", L"a"}, "invalid mask: d*/x/a"},
        {{L"data", L""}, "invalid mask: data"},
        {{L"", L"a\\b"}, "invalid mask: a/b"},
        {{L"папка?", L"*.dbf"}, "invalid mask: папка?/*.dbf"},  // UTF-8 for the user
    };
    for (const auto& [entry, message] : cases) {
        std::string got = "valid";
        try {
            bk::validate_mask(entry);
        } catch (const std::runtime_error& e) {
            got = e.what();
        }
        EXPECT_EQ(got, message);
    }
    EXPECT_FALSE(bk::find_invalid_mask(bk::parse_mask_list(L"*.txt; data\\*.dbf")).has_value());
    EXPECT_EQ(bk::find_invalid_mask(bk::parse_mask_list(L"*.txt; data\\; dat?\\*.dbf")), (MaskEntry{L"data", L""}));
}

TEST(MatchPattern, WildcardsWithBacktrackingAndCase) {
    const std::vector<std::tuple<const wchar_t*, const wchar_t*, bool>> cases{
        {L"a*b?c", L"aXXbYc", true}, {L"a*b?c", L"abc", false}, {L"*", L"", true},      {L"", L"a", false},
        {L"?", L"", false},          {L"??", L"abc", false},    {L"*ab", L"aab", true}, {L"*a*b*c", L"xaybzcbc", true},
        {L"a*a*a", L"aaa", true},    {L"a*a*a", L"aa", false},  {L"**x", L"x", true},
        {L"*.*", L"README", false},  // unlike a folder listing, "*.*" needs a dot here
        {L"Temp*", L"Temp1", true},  {L"Temp*", L"TEMP1", false}, {L"врем?", L"ВРЕМЯ", false}, {L"врем?", L"время", true}};
    for (const auto& [pattern, name, match] : cases)
        EXPECT_EQ(bk::match_pattern(pattern, name), match) << testing::PrintToString(std::wstring(pattern)) << " "
                                                           << testing::PrintToString(std::wstring(name));
}
