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

HostIdentity identity() {
    HostIdentity id;
    id.ver_type = L"prof";
    id.ver_family = L"8.1";
    id.workplace = 12;
    id.dbname = L"base.shp";
    id.username = L"Иванов";
    id.computer = L"PC-7";
    return id;
}

}  // namespace

TEST(FilenameTemplate, EveryMacro) {
    const rkit::timestamp t = moment(4, 12, 2026, 9, 5, 7);
    EXPECT_EQ(expand_filename_template(L"vd_backup_%DATE%_%TIME%", t, identity()), L"vd_backup_2026_12_04_09_05_07");
    EXPECT_EQ(expand_filename_template(L"%SHORT_TIME%|%YEAR%|%SHORT_YEAR%|%MONTH%|%MONTH_STR%|%DAY%|%WEEKDAY%|"
                                       L"%HOUR%|%MIN%|%SEC%",
                                       t, identity()),
              L"09_05|2026|26|12|Dec|4|Fri|9|5|7");
    EXPECT_EQ(expand_filename_template(L"%VERTYPE%-%VERFAMILY%-%WORKPLACE%-%WORKSTATION%-%USER%", t, identity()),
              L"prof-8_1-12-PC-7-Иванов");
    // Only macros, and the dot of DB made safe.
    EXPECT_EQ(expand_filename_template(L"%DB%_%SHORT_DB%", t, identity()), L"base_shp_base");

    MacroList macros = template_macros(t, identity());
    std::vector<std::wstring> names;
    for (const auto& m : macros) names.push_back(m.first);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"DATE", L"TIME", L"SHORT_TIME", L"YEAR", L"SHORT_YEAR", L"MONTH",
                                                L"MONTH_STR", L"DAY", L"WEEKDAY", L"HOUR", L"MIN", L"SEC", L"VERTYPE",
                                                L"VERFAMILY", L"WORKPLACE", L"WORKSTATION", L"USER", L"DB",
                                                L"SHORT_DB"}));
}

TEST(FilenameTemplate, ReplacementRules) {
    const rkit::timestamp t = moment(4, 3, 2026, 23, 59, 0);
    HostIdentity id = identity();
    EXPECT_EQ(expand_filename_template(L"%YEAR%-%MONTH%-%DAY%", t, id), L"2026-3-4");
    EXPECT_EQ(expand_filename_template(L"%DATE%%DATE%", t, id), L"2026_03_04%DATE%");
    EXPECT_EQ(expand_filename_template(L"%date%_%Db%_%NOPE%_100%", t, id), L"%date%_%Db%_%NOPE%_100%");
    EXPECT_EQ(expand_filename_template(L"a.b*c?", t, id), L"a_b_c_");
    EXPECT_EQ(expand_filename_template(L"", t, id), L"");
    EXPECT_EQ(expand_filename_template(L"x/y:%WEEKDAY%", t, id), L"x/y:Wed");  // other characters stay

    // A value put in earlier is searched by the later macros.
    EXPECT_EQ(expand_macros(L"%A%", {{L"A", L"%B%"}, {L"B", L"b"}}), L"b");
    EXPECT_EQ(expand_macros(L"%B%", {{L"A", L"a"}, {L"B", L"%A%"}}), L"%A%");

    id.dbname = L"Бухгалтерия 2026.v1.shp";
    EXPECT_EQ(expand_filename_template(L"%SHORT_DB% (%DB%)", t, id), L"Бухгалтерия 2026_v1 (Бухгалтерия 2026_v1_shp)");
    id.dbname.clear();
    EXPECT_EQ(expand_filename_template(L"[%DB%][%SHORT_DB%]", t, id), L"[][]");
}

TEST(FilenameTemplate, PresentMomentComesFromTheModuleClock) {
    rkit::clock::set_fixed(moment(31, 1, 1999, 0, 0, 1));
    std::wstring name = expand_filename_template(L"%DATE%_%TIME%_%MONTH_STR%_%SHORT_YEAR%", identity());
    rkit::clock::reset();
    EXPECT_EQ(name, L"1999_01_31_00_00_01_Jan_99");
}

TEST(FilenameTemplate, FollowUpCommandPath) {
    EXPECT_EQ(expand_backup_cmdline(L"cp '%PATH%' /mnt && echo %PATH%", L"/b/x.7z"), L"cp '/b/x.7z' /mnt && echo %PATH%");
    EXPECT_EQ(expand_backup_cmdline(L"true %DATE%", L"/b/x.7z"), L"true %DATE%");
}

TEST(FilenameTemplate, UniquePathsBuildOnTheCandidateBefore) {
    bktest::TempDir dir;
    const std::wstring x = dir.wpath() + L"/x.7z";
    EXPECT_EQ(make_unique_path(x), x);
    bktest::write_file(dir / "x.7z", "");
    EXPECT_EQ(make_unique_path(x), dir.wpath() + L"/x(1).7z");
    bktest::write_file(dir / "x(1).7z", "");
    EXPECT_EQ(make_unique_path(x), dir.wpath() + L"/x(1)(2).7z");
    bktest::write_file(dir / "x(1)(2).7z", "");
    EXPECT_EQ(make_unique_path(x), dir.wpath() + L"/x(1)(2)(3).7z");

    // A folder of that name is no file; Cyrillic names and names without extension.
    std::filesystem::create_directory(dir / "folder.7z");
    EXPECT_EQ(make_unique_path(dir.wpath() + L"/folder.7z"), dir.wpath() + L"/folder.7z");
    const std::wstring ru = dir.wpath() + L"/копия_базы";
    bktest::write_file(dir / "копия_базы", "");
    EXPECT_EQ(make_unique_path(ru), ru + L"(1)");
}
