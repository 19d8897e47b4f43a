// Backup file names from templates and unique names (the follow-up command: see the desktop tests).
#include <gtest/gtest.h>

#include "rkit/clock.h"
#include "settings/filename_template.h"
#include "support/temp_dir.h"

using namespace bk;

namespace {

rkit::timestamp moment(int day, int month, int year, int hour, int minute, int second) {
    rkit::timestamp ts;
    ts.put(rkit::date(day, month, year), rkit::time(hour, minute, second));
    return ts;
}

const HostIdentity identity{L"prof", L"8.1", 12, L"base.shp", L"Иванов", L"PC-7"};

TEST(FilenameTemplate, Macros) {
    const rkit::timestamp t = moment(4, 12, 2026, 9, 5, 7);
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"vd_backup_%DATE%_%TIME%", L"vd_backup_2026_12_04_09_05_07"},
        {L"%SHORT_TIME%|%YEAR%|%SHORT_YEAR%|%MONTH%|%MONTH_STR%|%DAY%|%WEEKDAY%|%HOUR%|%MIN%|%SEC%",
         L"09_05|2026|26|12|Dec|4|Fri|9|5|7"},
        {L"%VERTYPE%-%VERFAMILY%-%WORKPLACE%-%WORKSTATION%-%USER%", L"prof-8_1-12-PC-7-Иванов"},
        {L"%DB%_%SHORT_DB%", L"base_shp_base"},  // only macros
        // First occurrence only; names are case-sensitive; unknown macros and a lone "%" stay.
        {L"%DATE%%DATE%", L"2026_12_04%DATE%"},
        {L"%date%_%Db%_%NOPE%_100%", L"%date%_%Db%_%NOPE%_100%"},
        {L"a.b*c?", L"a_b_c_"},
        {L"x/y\\z:%WEEKDAY%", L"x_y_z:Fri"},  // one name in the backup folder; other characters stay
    };
    for (const auto& [templ, name] : cases) EXPECT_EQ(expand_filename_template(templ, t, identity), name) << templ;
    HostIdentity id = identity;
    id.dbname = L"Бухгалтерия 2026.v1.shp";
    EXPECT_EQ(expand_filename_template(L"%SHORT_DB% (%DB%)", t, id), L"Бухгалтерия 2026_v1 (Бухгалтерия 2026_v1_shp)");
    id.dbname.clear();
    EXPECT_EQ(expand_filename_template(L"[%DB%][%SHORT_DB%]", t, id), L"[][]");

    // A value put in earlier is searched by the later macros, not the other way round.
    EXPECT_EQ(expand_macros(L"%A%", {{L"A", L"%B%"}, {L"B", L"b"}}), L"b");
    EXPECT_EQ(expand_macros(L"%B%", {{L"A", L"a"}, {L"B", L"%A%"}}), L"%A%");

    rkit::clock::set_fixed(moment(31, 1, 1999, 0, 0, 1));
    const std::wstring now = expand_filename_template(L"%DATE%_%TIME%_%MONTH_STR%_%SHORT_YEAR%", identity);
    rkit::clock::reset();
    EXPECT_EQ(now, L"1999_01_31_00_00_01_Jan_99");
}

// Each name is taken by creating it: whoever creates it first owns it.
TEST(FilenameTemplate, ReservedNamesBuildOnTheCandidateBefore) {
    bktest::TempDir dir;
    const std::wstring x = dir.wpath() + L"/x.7z";
    EXPECT_EQ(reserve_unique_path(x, 0600), x);
    EXPECT_EQ(std::filesystem::status(dir / "x.7z").permissions(), std::filesystem::perms(0600));
    for (const char* taken : {"x(1).7z", "x(1)(2).7z"}) bktest::write_file(dir / taken, "");
    EXPECT_EQ(reserve_unique_path(x, 0600), dir.wpath() + L"/x(1)(2)(3).7z");

    // A folder of that name is taken too; Cyrillic names without extension.
    std::filesystem::create_directory(dir / "folder.7z");
    EXPECT_EQ(reserve_unique_path(dir.wpath() + L"/folder.7z", 0600), dir.wpath() + L"/folder(1).7z");
    bktest::write_file(dir / "копия_базы", "");
    EXPECT_EQ(reserve_unique_path(dir.wpath() + L"/копия_базы", 0600), dir.wpath() + L"/копия_базы(1)");
    EXPECT_THROW(reserve_unique_path(dir.wpath() + L"/missing/x.7z", 0600), std::runtime_error);
}

}  // namespace
