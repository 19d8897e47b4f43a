#include <gtest/gtest.h>

#include <stdexcept>

#include "files/masks.h"

using bk::MaskEntry;

namespace {

std::string invalid_mask_message(const MaskEntry& entry) {
    try {
        bk::validate_mask(entry);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "valid";
}

}  // namespace

TEST(MaskList, SplitsAtSemicolonsAndCommasTrimsBlanksAndDropsEmptyPieces) {
    EXPECT_EQ(bk::parse_mask_list(L" *.txt ; ;*.ini,"),
              (std::vector<MaskEntry>{{L"", L"*.txt"}, {L"", L"*.ini"}}));
    EXPECT_EQ(bk::parse_mask_list(L"\t*.dbf\t,,a b.txt"),
              (std::vector<MaskEntry>{{L"", L"*.dbf"}, {L"", L"a b.txt"}}));
    EXPECT_TRUE(bk::parse_mask_list(L" ;\t, ;").empty());
    EXPECT_TRUE(bk::parse_mask_list(L"").empty());
    // Only blanks and tabs are trimmed.
    EXPECT_EQ(bk::parse_mask_list(L"\n*.a"), (std::vector<MaskEntry>{{L"", L"\n*.a"}}));
}

TEST(MaskList, FolderPartAcceptsBothSeparators) {
    EXPECT_EQ(bk::parse_mask_list(L"data\\*.dbf; old/arch/*.7z; /etc/*.conf; temp"),
              (std::vector<MaskEntry>{{L"data", L"*.dbf"}, {L"old/arch", L"*.7z"}, {L"/etc", L"*.conf"}, {L"", L"temp"}}));
    // Nothing is validated while parsing.
    EXPECT_EQ(bk::parse_mask_list(L"dat?\\*.dbf;data\\"),
              (std::vector<MaskEntry>{{L"dat?", L"*.dbf"}, {L"data", L""}}));
}

TEST(MaskValidation, RejectsWildcardFoldersEmptyNamesAndSeparatorsInNames) {
    EXPECT_EQ(invalid_mask_message({L"data", L"*.dbf"}), "valid");
    EXPECT_EQ(invalid_mask_message({L"", L"?*.*"}), "valid");
    EXPECT_EQ(invalid_mask_message({L"dat?", L"*.dbf"}), "invalid mask: dat?/*.dbf");
    EXPECT_EQ(invalid_mask_message({L"d*/x", L"a"}), "invalid mask: d*/x/a");
    EXPECT_EQ(invalid_mask_message({L"data", L""}), "invalid mask: data");
    EXPECT_EQ(invalid_mask_message({L"", L"a\\b"}), "invalid mask: a/b");
    EXPECT_EQ(invalid_mask_message({L"", L"a/b"}), "invalid mask: a/b");
    // The text reaches the user as UTF-8.
    EXPECT_EQ(invalid_mask_message({L"папка?", L"*.dbf"}), "invalid mask: папка?/*.dbf");
    // Characters Windows forbids in names are left to the file system.
    EXPECT_EQ(invalid_mask_message({L"", L"a:b|c"}), "valid");
}

TEST(MaskValidation, FindsTheFirstInvalidEntry) {
    EXPECT_FALSE(bk::find_invalid_mask(bk::parse_mask_list(L"*.txt; data\\*.dbf")).has_value());
    EXPECT_FALSE(bk::find_invalid_mask({}).has_value());
    const auto bad = bk::find_invalid_mask(bk::parse_mask_list(L"*.txt; data\\; dat?\\*.dbf"));
    ASSERT_TRUE(bad.has_value());
    EXPECT_EQ(*bad, (MaskEntry{L"data", L""}));
    EXPECT_EQ(bk::mask_text(*bad), L"data");
}

TEST(MatchPattern, WildcardsWithBacktracking) {
    EXPECT_TRUE(bk::match_pattern(L"a*b?c", L"aXXbYc"));
    EXPECT_FALSE(bk::match_pattern(L"a*b?c", L"abc"));
    EXPECT_TRUE(bk::match_pattern(L"*", L""));
    EXPECT_TRUE(bk::match_pattern(L"*", L"anything at all"));
    EXPECT_TRUE(bk::match_pattern(L"", L""));
    EXPECT_FALSE(bk::match_pattern(L"", L"a"));
    EXPECT_FALSE(bk::match_pattern(L"?", L""));
    EXPECT_TRUE(bk::match_pattern(L"??", L"ab"));
    EXPECT_FALSE(bk::match_pattern(L"??", L"abc"));
    // The first occurrence of the literal after a star is not always the one.
    EXPECT_TRUE(bk::match_pattern(L"*ab", L"aab"));
    EXPECT_TRUE(bk::match_pattern(L"*a*b*c", L"xaybzcbc"));
    EXPECT_TRUE(bk::match_pattern(L"a*a*a", L"aaa"));
    EXPECT_FALSE(bk::match_pattern(L"a*a*a", L"aa"));
    EXPECT_TRUE(bk::match_pattern(L"**x", L"x"));
    EXPECT_TRUE(bk::match_pattern(L"*.*", L"a.b"));
    // Unlike a folder listing, "*.*" needs a dot here.
    EXPECT_FALSE(bk::match_pattern(L"*.*", L"README"));
}

TEST(MatchPattern, ComparesLettersWithCase) {
    EXPECT_TRUE(bk::match_pattern(L"Temp*", L"Temp1"));
    EXPECT_FALSE(bk::match_pattern(L"Temp*", L"TEMP1"));
    EXPECT_FALSE(bk::match_pattern(L"врем?", L"ВРЕМЯ"));
    EXPECT_TRUE(bk::match_pattern(L"врем?", L"время"));
}
