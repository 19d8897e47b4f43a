#include <gtest/gtest.h>

#include "rkit/clock.h"
#include "rkit/datetime.h"

using namespace rkit;

TEST(Date, ValidationKeepsTheOldValue) {
    date d(5, 3, 2024);
    EXPECT_FALSE(d.put(29, 2, 2023));
    EXPECT_FALSE(d.put(31, 4, 2024));
    EXPECT_FALSE(d.put(0, 1, 2024));
    EXPECT_EQ(d, date(5, 3, 2024));
    EXPECT_TRUE(d.put(29, 2, 2024));
    EXPECT_TRUE(d.put(29, 2, 2000));   // divisible by 400
    EXPECT_FALSE(d.put(29, 2, 1900));  // by 100 only
    int day = 0, month = 0, year = 0;
    d.get(day, month, year);
    EXPECT_EQ(day, 29);
    EXPECT_EQ(month, 2);
    EXPECT_EQ(year, 2000);
    EXPECT_EQ(date(), date(1, 1, 1600));
}

TEST(Date, SubtractionCountsWholeDaysAcrossLeapYears) {
    EXPECT_EQ(date(1, 3, 2024) - date(28, 2, 2024), 2);
    EXPECT_EQ(date(1, 3, 2023) - date(28, 2, 2023), 1);
    EXPECT_EQ(date(1, 1, 2025) - date(1, 1, 2024), 366);
    EXPECT_EQ(date(1, 1, 2001) - date(1, 1, 1901), 36525);  // 2000 is a leap year
    EXPECT_EQ(date(1, 1, 1901) - date(1, 1, 1801), 36524);  // 1900 is not
    EXPECT_EQ(date(28, 2, 2024) - date(1, 3, 2024), -2);
    EXPECT_EQ(date(1, 1, 1800).day_number(), 73049);
    EXPECT_EQ(date(31, 12, 2024).add_days(1), date(1, 1, 2025));
    EXPECT_EQ(date(1, 3, 2024).add_days(-1), date(29, 2, 2024));
    EXPECT_LT(date(31, 12, 2023), date(1, 1, 2024));
}

TEST(Date, DayOfWeekCountsFromSunday) {
    EXPECT_EQ(date(1, 1, 1600).day_of_week(), 6);   // Saturday
    EXPECT_EQ(date(1, 1, 1970).day_of_week(), 4);   // Thursday
    EXPECT_EQ(date(29, 2, 2000).day_of_week(), 2);  // Tuesday
    EXPECT_EQ(date(10, 3, 2024).day_of_week(), 0);  // Sunday
    EXPECT_EQ(date(11, 3, 2024).day_of_week(), 1);
}

TEST(Timestamp, EncodesLocalDateAndTime) {
    EXPECT_EQ(timestamp().get_date(), date(31, 12, 1599));
    EXPECT_EQ(timestamp(86'400'000).get_date(), date(1, 1, 1600));
    EXPECT_EQ(timestamp(6311520000000).get_date(), date(1, 1, 1800));
    EXPECT_EQ(timestamp(6311520000000).get_time(), rkit::time());

    timestamp ts;
    ts.put(date(5, 3, 2024), rkit::time(14, 7, 9, 42));
    EXPECT_EQ(ts.get_date(), date(5, 3, 2024));
    EXPECT_EQ(ts.get_time(), rkit::time(14, 7, 9, 42));

    timestamp later = ts;
    later += time_period(0, 0, 1);
    timestamp next_day;
    next_day.put(date(6, 3, 2024), rkit::time(0, 0, 0));
    EXPECT_LT(ts, later);
    EXPECT_LT(later, next_day);
    EXPECT_EQ(later.get() - ts.get(), 60000);

    timestamp back = next_day;
    back -= time_period(1, 0, 0);
    EXPECT_EQ(back.get_date(), date(5, 3, 2024));
    back -= time_period(0, 0, 1);
    EXPECT_EQ(back.get_date(), date(4, 3, 2024));
    EXPECT_EQ(back.get_time(), rkit::time(23, 59, 0));
}

TEST(DateText, DefaultFormsReadBack) {
    for (const date& d : {date(5, 3, 2024), date(31, 12, 1999), date(1, 1, 1600), date(29, 2, 2000)}) {
        date back;
        ASSERT_TRUE(from_str(to_wstring(d), back)) << to_wstring(d);
        EXPECT_EQ(back, d);
    }
    EXPECT_EQ(to_wstring(date(5, 3, 2024)), L"05.03.2024");
    for (const rkit::time& t : {rkit::time(0, 0, 0), rkit::time(9, 5, 7), rkit::time(23, 59, 59)}) {
        rkit::time back(1, 2, 3);
        ASSERT_TRUE(from_str(to_wstring(t), back)) << to_wstring(t);
        EXPECT_EQ(back, t);
    }
    EXPECT_EQ(to_wstring(rkit::time(9, 5, 7)), L"09:05:07");
}

TEST(DateText, GarbageIsRefusedWithoutChangingTheValue) {
    date d(5, 3, 2024);
    for (const wchar_t* bad : {L"", L"31.02.2024", L"05.13.2024", L"05.03.24", L"05/03/2024", L"05.03.2024 ",
                               L"x5.03.2024", L"05..2024", L"2024.03.05"})
        EXPECT_FALSE(from_str(bad, d)) << bad;
    EXPECT_EQ(d, date(5, 3, 2024));

    rkit::time t(1, 2, 3);
    for (const wchar_t* bad : {L"", L"24:00:00", L"12:60:00", L"12:00", L"12:00:00:00", L"12-00-00", L"1a:00:00"})
        EXPECT_FALSE(from_str(bad, t)) << bad;
    EXPECT_EQ(t, rkit::time(1, 2, 3));
}

TEST(DateText, PatternsReplaceSeparators) {
    const date d(5, 3, 2024);
    EXPECT_EQ(to_wstring(d, L"yyyy.mm.dd", L'_'), L"2024_03_05");
    EXPECT_EQ(to_wstring(d, L"yy", L'_'), L"24");
    EXPECT_EQ(to_wstring(date(1, 1, 2007), L"dd/mm/yy", L'-'), L"01-01-07");
    EXPECT_EQ(to_wstring(rkit::time(14, 7, 9), L"hh:mm:ss", L'_'), L"14_07_09");
    EXPECT_EQ(to_wstring(rkit::time(14, 7, 9), L"hh:mm", L'_'), L"14_07");

    timestamp ts;
    ts.put(d, rkit::time(14, 7, 59, 99));
    EXPECT_EQ(to_str(ts, L"dd.mm.yyyy", L'.', L"hh:mm", L':'), L"05.03.2024 14:07");
}

TEST(Clock, FixedTimeUntilReset) {
    timestamp fixed;
    fixed.put(date(1, 6, 2030), rkit::time(12, 0, 0));
    clock::set_fixed(fixed);
    timestamp ts;
    ts.put_system_clock();
    EXPECT_EQ(ts, fixed);
    clock::reset();

    // The machine's clock is certainly past 2020 and before the fixed moment.
    ts.put_system_clock();
    EXPECT_GT(ts.get_date(), date(1, 1, 2020));
    EXPECT_LT(ts, fixed);
}
