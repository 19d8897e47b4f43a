// Mask lists as the settings hold them: split, validated with the message the
// user sees, and matched (with case; the folder search adds case-insensitivity).
#include <gtest/gtest.h>

#include <tuple>

#include "files/masks.h"
#include "support/values.h"

using bk::MaskEntry;
using Masks = std::vector<MaskEntry>;

// A list is split at semicolons and commas with blanks and tabs trimmed, and
// either separator starts a folder part; nothing is validated meanwhile.
// Validation then names the first mask that cannot be searched, in UTF-8.
TEST(MaskList, SplitValidatedAndMatched) {
    const std::vector<std::tuple<std::wstring, Masks, std::string>> cases{
        {L" *.txt ; ;*.ini,\t*.dbf\t,,a b.txt", {{L"", L"*.txt"}, {L"", L"*.ini"}, {L"", L"*.dbf"}, {L"", L"a b.txt"}},
         ""},
        {L" ;\t, ;", {}, ""},
        {L"\n*.a", {{L"", L"\n*.a"}}, ""},  // only blanks and tabs are trimmed
        // Characters Windows forbids are left to the file system.
        {L"data\\*.dbf; old/arch/*.7z; /etc/*.conf; ?*.*; a:b|c",
         {{L"data", L"*.dbf"}, {L"old/arch", L"*.7z"}, {L"/etc", L"*.conf"}, {L"", L"?*.*"}, {L"", L"a:b|c"}}, ""},
        {L"*.txt; dat?\\*.dbf", {{L"", L"*.txt"}, {L"dat?", L"*.dbf"}}, "invalid mask: dat?/*.dbf"},
        {L"d*/x/a", {{L"d*/x", L"a"}}, "invalid mask: d*/x/a"},
        {L"temp; data\\; dat?\\*.dbf", {{L"", L"temp"}, {L"data", L""}, {L"dat?", L"*.dbf"}}, "invalid mask: data"},
        {L"папка?\\*.dbf", {{L"папка?", L"*.dbf"}}, "invalid mask: папка?/*.dbf"},
    };
    const auto message_of = [](const MaskEntry& mask) { return bktest::error_of([&] { bk::validate_mask(mask); }); };
    for (const auto& [text, masks, message] : cases) {
        EXPECT_EQ(bk::parse_mask_list(text), masks);
        const auto invalid = bk::find_invalid_mask(masks);
        EXPECT_EQ(invalid ? message_of(*invalid) : "", message);
    }
    EXPECT_EQ(message_of({L"", L"a\\b"}), "invalid mask: a/b");  // a separator in a name

    // Wildcards with backtracking, and with case.
    const std::vector<std::tuple<const wchar_t*, const wchar_t*, bool>> patterns{
        {L"a*b?c", L"aXXbYc", true}, {L"a*b?c", L"abc", false}, {L"*", L"", true},      {L"", L"a", false},
        {L"?", L"", false},          {L"??", L"abc", false},    {L"*ab", L"aab", true}, {L"*a*b*c", L"xaybzcbc", true},
        {L"a*a*a", L"aaa", true},    {L"a*a*a", L"aa", false},  {L"**x", L"x", true},
        {L"*.*", L"README", false},  // unlike a folder listing, "*.*" needs a dot here
        {L"Temp*", L"Temp1", true},  {L"Temp*", L"TEMP1", false}, {L"врем?", L"ВРЕМЯ", false}, {L"врем?", L"время", true}};
    for (const auto& [pattern, name, match] : patterns)
        EXPECT_EQ(bk::match_pattern(pattern, name), match) << testing::PrintToString(std::wstring(pattern)) << " "
                                                           << testing::PrintToString(std::wstring(name));
}
