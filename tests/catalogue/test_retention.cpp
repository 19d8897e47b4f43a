// Keep times, the week and month rules and the choice of what to delete,
// on catalogues held in memory.
#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "records.h"
#include "rkit/clock.h"

using namespace bk;
using cattest::at;
using cattest::record;

namespace {

std::vector<std::wstring> names(const Catalogue& records) {
    std::vector<std::wstring> out;
    for (const BackupRecord& r : records) out.push_back(r.filename);
    return out;
}

int keeptime_of(const Catalogue& records, const std::wstring& filename) {
    for (const BackupRecord& r : records)
        if (r.filename == filename) return r.keeptime;
    ADD_FAILURE() << "no record";
    return -100;
}

BackupSettings rules(uint32_t options, int week = 30, int month = 365) {
    BackupSettings s;
    s.options = options;
    s.last_at_week_keeptime = week;
    s.last_at_month_keeptime = month;
    return s;
}

struct FixedClock {
    explicit FixedClock(const rkit::timestamp& t) { rkit::clock::set_fixed(t); }
    ~FixedClock() { rkit::clock::reset(); }
};

}  // namespace

TEST(KeepTime, ExpiryCountsWholeDays) {
    const BackupRecord today = record(at(10, 6, 2024, 23, 59), 0, L"a");
    EXPECT_FALSE(is_expired(today, rkit::date(10, 6, 2024)));
    EXPECT_TRUE(is_expired(today, rkit::date(11, 6, 2024)));

    const BackupRecord week = record(at(31, 12, 2023), 7, L"b");
    EXPECT_FALSE(is_expired(week, rkit::date(7, 1, 2024)));
    EXPECT_TRUE(is_expired(week, rkit::date(8, 1, 2024)));
    EXPECT_FALSE(is_expired(week, rkit::date(1, 1, 2020)));  // made "after" today

    EXPECT_FALSE(is_expired(record(at(1, 1, 1990), KEEP_FOREVER, L"c"), rkit::date(1, 1, 2030)));
    // A keep time damaged by hand is taken as forever, never as "delete at once".
    EXPECT_FALSE(is_expired(record(at(1, 1, 1990), -5, L"d"), rkit::date(1, 1, 2030)));
}

TEST(KeepTime, TextsShownInTheRestoreList) {
    const FixedClock clock(at(20, 6, 2024, 9, 0));
    EXPECT_EQ(keep_time_text(record(at(1, 1, 2020), KEEP_FOREVER, L"a")), L"вечно");
    EXPECT_EQ(keep_time_text(record(at(15, 6, 2024), 7, L"a")), L"7 дней");
    EXPECT_EQ(keep_time_text(record(at(1, 5, 2024), 30, L"a")), L"30 дней (истек)");
    EXPECT_EQ(creation_time_text(record(at(5, 3, 2024, 7, 4), 7, L"a")), L"05.03.2024 07:04");
}

TEST(Calendar, WeeksRunFromMondayToSunday) {
    // 2024-06-10 is a Monday, 2024-06-16 a Sunday.
    const rkit::date monday(10, 6, 2024), sunday(16, 6, 2024);
    for (int i = 0; i < 7; ++i) {
        EXPECT_TRUE(same_week(monday, monday.add_days(i))) << i;
        EXPECT_TRUE(same_week(sunday, monday.add_days(i))) << i;
    }
    EXPECT_FALSE(same_week(monday, monday.add_days(-1)));
    EXPECT_FALSE(same_week(sunday, sunday.add_days(1)));
    // A week across the turn of the year is one week.
    EXPECT_TRUE(same_week(rkit::date(30, 12, 2024), rkit::date(5, 1, 2025)));
    EXPECT_FALSE(same_month(rkit::date(31, 1, 2024), rkit::date(1, 2, 2024)));
    EXPECT_FALSE(same_month(rkit::date(1, 1, 2024), rkit::date(1, 1, 2025)));
}

TEST(Calendar, LastOfWeekAndMonthLookOnlyAtTheSameDatabase) {
    const BackupRecord fri = record(at(14, 6, 2024), 7, L"fri");
    const Catalogue later{record(at(15, 6, 2024), 7, L"sat other", L"other.shp"),
                          record(at(17, 6, 2024), 7, L"next monday")};
    EXPECT_TRUE(last_of_week(fri, later));
    EXPECT_FALSE(last_of_month(fri, later));
    EXPECT_TRUE(last_of_week(fri, {}));
    EXPECT_TRUE(last_of_month(fri, {}));
    // Another version family is another database; a family list sharing an item is not.
    Catalogue family{record(at(15, 6, 2024), 7, L"sat")};
    family[0].version_family = L"home";
    EXPECT_TRUE(last_of_week(fri, family));
    family[0].version_family = L" PRO , home";
    EXPECT_FALSE(last_of_week(fri, family));
}

TEST(Extension, LastOfAFinishedWeekOnlyPerDatabase) {
    // Week of 10-16 June 2024 is over on the 18th; the 17th starts the current week.
    Catalogue c{record(at(12, 6, 2024), 7, L"wed"),   record(at(13, 6, 2024), 7, L"thu"),
                record(at(14, 6, 2024), 7, L"fri"),   record(at(11, 6, 2024), 7, L"other tue", L"other.shp"),
                record(at(17, 6, 2024), 7, L"mon"),   record(at(18, 6, 2024), 7, L"tue")};
    extend_keep_times(rules(OPT_KEEP_LAST_OF_WEEK), at(18, 6, 2024, 12), c);
    EXPECT_EQ(names(c), (std::vector<std::wstring>{L"other tue", L"wed", L"thu", L"fri", L"mon", L"tue"}));
    EXPECT_EQ(keeptime_of(c, L"wed"), 7);
    EXPECT_EQ(keeptime_of(c, L"thu"), 7);
    EXPECT_EQ(keeptime_of(c, L"fri"), 30);
    EXPECT_EQ(keeptime_of(c, L"other tue"), 30);
    EXPECT_EQ(keeptime_of(c, L"mon"), 7);
    EXPECT_EQ(keeptime_of(c, L"tue"), 7);
}

TEST(Extension, NothingToChangeLeavesTheOrder) {
    Catalogue c{record(at(14, 6, 2024), 60, L"b"), record(at(12, 6, 2024), KEEP_FOREVER, L"a")};
    const Catalogue before = c;
    extend_keep_times(rules(OPT_KEEP_LAST_OF_WEEK | OPT_KEEP_LAST_OF_MONTH, 30, 45), at(1, 7, 2024), c);
    EXPECT_EQ(keeptime_of(c, L"b"), 60);  // longer than the month's 45: not lowered
    EXPECT_EQ(names(c), names(before));
    c[0].keeptime = 40;
    extend_keep_times(rules(OPT_KEEP_LAST_OF_WEEK, 30), at(1, 7, 2024), c);
    EXPECT_EQ(names(c), names(before));
    extend_keep_times(rules(0), at(1, 7, 2024), c);
    EXPECT_EQ(names(c), names(before));
}

TEST(Extension, ToForeverListsTheRecordsForUpload) {
    Catalogue c{record(at(7, 6, 2024), 7, L"fri 1"), record(at(14, 6, 2024), 7, L"fri 2"),
                record(at(30, 6, 2024), 7, L"sun 30"), record(at(2, 7, 2024), 7, L"now")};
    Catalogue eternal;
    extend_keep_times(rules(OPT_KEEP_LAST_OF_WEEK | OPT_KEEP_LAST_OF_MONTH, KEEP_FOREVER, 365), at(2, 7, 2024),
                      c, &eternal);
    EXPECT_EQ(names(eternal), (std::vector<std::wstring>{L"fri 1", L"fri 2", L"sun 30"}));
    EXPECT_EQ(keeptime_of(c, L"sun 30"), KEEP_FOREVER);  // the month rule does not lower it to 365
    EXPECT_EQ(keeptime_of(c, L"now"), 7);
}

TEST(Extension, WeekThenMonthOnOneRecord) {
    // Sunday 30 June 2024 ends both its week and its month.
    Catalogue c{record(at(29, 6, 2024), 7, L"sat"), record(at(30, 6, 2024), 7, L"sun")};
    extend_keep_times(rules(OPT_KEEP_LAST_OF_WEEK | OPT_KEEP_LAST_OF_MONTH), at(1, 7, 2024), c);
    EXPECT_EQ(keeptime_of(c, L"sun"), 365);
    EXPECT_EQ(keeptime_of(c, L"sat"), 7);
    extend_keep_times(rules(OPT_KEEP_LAST_OF_MONTH), at(30, 6, 2024, 23), c);
    EXPECT_EQ(keeptime_of(c, L"sat"), 7);  // the month is not over
}

// The limits the on-disk tests do not cover: a negative limit counts as none,
// and the kept records come out oldest first with equal times in file order.
TEST(Expiry, NegativeLimitAndOrderOfKeptRecords) {
    const Catalogue c{record(at(2, 1, 2024), 7, L"old b"), record(at(25, 2, 2024), 7, L"fresh"),
                      record(at(1, 1, 2020), KEEP_FOREVER, L"forever 2"), record(at(1, 1, 2024), 7, L"old a"),
                      record(at(1, 1, 2020), KEEP_FOREVER, L"forever 1")};
    BackupSettings s;
    s.expired_limit = -3;
    Catalogue kept, gone;
    split_expired(s, c, at(1, 3, 2024), kept, gone);
    EXPECT_EQ(names(gone), (std::vector<std::wstring>{L"old a", L"old b"}));
    EXPECT_EQ(names(kept), (std::vector<std::wstring>{L"forever 2", L"forever 1", L"fresh"}));
    s.expired_limit = 1;
    split_expired(s, c, at(1, 3, 2024), kept, gone);
    EXPECT_EQ(names(gone), (std::vector<std::wstring>{L"old a"}));
    EXPECT_EQ(names(kept), (std::vector<std::wstring>{L"forever 2", L"forever 1", L"old b", L"fresh"}));
}
