// Dates, times and timestamps: what they accept, how timestamps count, and the
// text forms that the catalogue stores, which must read back exactly. The
// calendar itself is the standard library's.
#include <gtest/gtest.h>

#include "rkit/datetime.h"

using namespace rkit;

TEST(Date, ValidationKeepsTheOldValue) {
    date d(5, 3, 2024);
    EXPECT_FALSE(d.put(29, 2, 2023));
    EXPECT_FALSE(d.put(31, 4, 2024));
    EXPECT_FALSE(d.put(29, 2, 1900));  // divisible by 100 only
    EXPECT_EQ(d, date(5, 3, 2024));
    EXPECT_TRUE(d.put(29, 2, 2000));  // by 400
    EXPECT_EQ(d, date(29, 2, 2000));
    EXPECT_EQ(d.day_of_week(), 2);  // counted from Sunday (0)
    EXPECT_EQ(date(1, 3, 2024).add_days(-1) - date(1, 1, 2024), 59);
}

// Timestamps count milliseconds; periods move them across midnight both ways.
TEST(Timestamp, OrderAndPeriods) {
    timestamp ts, next_day;
    ts.put(date(5, 3, 2024), rkit::time(14, 7, 9, 42));
    EXPECT_EQ(ts.get_time(), rkit::time(14, 7, 9, 42));
    EXPECT_LT(timestamp(), ts);
    next_day.put(date(6, 3, 2024), rkit::time(0, 0, 0));
    ts += time_period(0, 9, 52);
    EXPECT_EQ(next_day.get() - ts.get(), 50580);
    next_day -= time_period(1, 0, 1);  // back over midnight
    EXPECT_EQ(next_day.get_date(), date(4, 3, 2024));
    EXPECT_EQ(next_day.get_time(), rkit::time(23, 59, 0));
}

TEST(DateText, RefusalsAndPatterns) {
    // What the catalogue writes reads back; garbage leaves the value as it was.
    date d(1, 1, 1600);
    EXPECT_TRUE(from_str(to_wstring(date(5, 3, 2024)), d) && d == date(5, 3, 2024));
    for (const wchar_t* bad : {L"", L"31.02.2024", L"05.13.2024", L"05.03.24", L"05/03/2024", L"05.03.2024 ",
                               L"2024.03.05"})
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
