// The text forms of dates and times that the catalogue stores: they read back
// exactly, and what is not a valid date or time leaves the value as it was.
#include <gtest/gtest.h>

#include "rkit/datetime.h"

using namespace rkit;

TEST(DateText, RefusalsAndPatterns) {
    date d(1, 1, 1600);
    EXPECT_TRUE(from_str(L"29.02.2000", d) && d == date(29, 2, 2000));  // a leap year: divisible by 400
    EXPECT_TRUE(from_str(to_wstring(date(5, 3, 2024)), d) && d == date(5, 3, 2024));
    for (const wchar_t* bad : {L"", L"31.02.2024", L"29.02.2023", L"29.02.1900", L"31.04.2024", L"05.13.2024",
                               L"05.03.24", L"05/03/2024", L"05.03.2024 ", L"2024.03.05"})
        EXPECT_FALSE(from_str(bad, d)) << bad;
    EXPECT_EQ(d, date(5, 3, 2024));
    rkit::time t;
    EXPECT_TRUE(from_str(to_wstring(rkit::time(9, 5, 7)), t) && t == rkit::time(9, 5, 7));
    for (const wchar_t* bad : {L"", L"24:00:00", L"12:60:00", L"12:00", L"12-00-00", L"1a:00:00"})
        EXPECT_FALSE(from_str(bad, t)) << bad;
    EXPECT_EQ(t, rkit::time(9, 5, 7));

    // Patterns replace the separators (archive names: see the file-name templates).
    timestamp ts;
    ts.put(date(5, 3, 2024), rkit::time(14, 7, 59, 99));
    EXPECT_EQ(to_str(ts, L"dd.mm.yyyy", L'.', L"hh:mm", L':'), L"05.03.2024 14:07");
}
