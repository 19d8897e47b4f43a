// The command lines the drivers build and how they read the progress lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "app/string_table.h"
#include "archiver_test_support.h"
#include "archivers/archiver_7z.h"
#include "archivers/archiver_rar.h"

namespace {

using Args = std::vector<std::wstring>;

class CommandLines : public testing::Test {
protected:
    std::wstring folder7 = bktest::program_folder(bk::ARCHIVER_7ZIP);
    std::wstring folder_rar = bktest::program_folder(bk::ARCHIVER_RAR);
    bk::Archiver_7z seven{folder7, nullptr};
    bk::Archiver_Rar rar{folder_rar, nullptr};
};

TEST_F(CommandLines, SevenZipSwitchesInTheirOrder) {
    // p7zip's 7z needs -l to store what a link points to; 7-Zip's own does so anyway.
    const bool p7zip = std::system("7z 2>/dev/null | grep -q 'p7zip Version'") == 0;
    auto links = [&](Args args) {
        if (p7zip) args.insert(std::find_if(args.begin(), args.end(), [](auto& a) { return a.starts_with(L"-w"); }), L"-l");
        return args;
    };
    EXPECT_EQ(bktest::arguments(seven.compress_command(L"/b/x y.7z", L"/tmp/vdk1", L"", L"", 2 | 4, 5, L"/tmp/w d")),
              links({folder7 + L"/7z", L"a", L"/b/x y.7z", L"-ssw", L"-mx5", L"-w/tmp/w d", L"-scsUTF-8", L"@/tmp/vdk1"}));
    EXPECT_EQ(bktest::arguments(
                  seven.compress_command(L"/b/x.7z", L"data dir", L"-t7z -mmt=2", L"pw", 1, 9, L"/tmp/w")),
              links({folder7 + L"/7z", L"a", L"/b/x.7z", L"-r", L"-mx9", L"-ppw", L"-t7z", L"-mmt=2", L"-w/tmp/w",
                     L"data dir"}));
    EXPECT_EQ(bktest::arguments(seven.extract_command(L"/b/x.7z", L"", L"", L"", 0)),
              (Args{folder7 + L"/7z", L"x", L"/b/x.7z"}));
    EXPECT_EQ(bktest::arguments(seven.extract_command(L"/b/x.7z", L"fileinfo.xml", L"-bd", L"pw", 1)),
              (Args{folder7 + L"/7z", L"x", L"/b/x.7z", L"-y", L"-ppw", L"-bd", L"fileinfo.xml"}));
    EXPECT_EQ(bktest::arguments(seven.list_command(L"/b/x.7z")), (Args{folder7 + L"/7z", L"l", L"/b/x.7z"}));
}

TEST_F(CommandLines, RarSwitchesInTheirOrder) {
    EXPECT_EQ(bktest::arguments(rar.compress_command(L"/b/x.rar", L"/tmp/vdk1", L"-s -ma5", L"pw", 1 | 2 | 4, 9)),
              (Args{folder_rar + L"/rar", L"a", L"/b/x.rar", L"-r", L"-dh", L"-m5", L"-ppw", L"-s", L"-ma5",
                    L"@/tmp/vdk1"}));
    EXPECT_EQ(bktest::arguments(rar.compress_command(L"/b/x.rar", L"a b.txt", L"", L"", 0, -1)),
              (Args{folder_rar + L"/rar", L"a", L"/b/x.rar", L"a b.txt"}));
    EXPECT_EQ(bktest::arguments(rar.extract_command(L"/b/x.rar", L"fileinfo.xml", L"", L"pw", 1)),
              (Args{folder_rar + L"/rar", L"x", L"/b/x.rar", L"-y", L"-ppw", L"fileinfo.xml"}));
}

// The level switch found among the arguments; empty when there is none.
std::wstring level_switch(const std::wstring& command_line, const std::wstring& prefix) {
    for (const std::wstring& arg : bktest::arguments(command_line))
        if (arg.starts_with(prefix) && arg.size() == prefix.size() + 1) return arg;
    return L"";
}

TEST_F(CommandLines, EveryLevelMapsAsItsArchiverTable) {
    const wchar_t* seven_levels[] = {L"", L"-mx0", L"-mx1", L"-mx1", L"-mx3", L"-mx5", L"-mx5",
                                     L"-mx5", L"-mx7", L"-mx9", L"-mx9", L""};
    const wchar_t* rar_levels[] = {L"", L"-m0", L"-m1", L"-m1", L"-m2", L"-m2", L"-m3",
                                   L"-m4", L"-m4", L"-m5", L"-m5", L""};
    for (int32_t level = -1; level <= 10; ++level) {
        EXPECT_EQ(level_switch(seven.compress_command(L"/a.7z", L"s", L"", L"", 0, level, L"/w"), L"-mx"),
                  seven_levels[level + 1])
            << level;
        EXPECT_EQ(level_switch(rar.compress_command(L"/a.rar", L"s", L"", L"", 0, level), L"-m"),
                  rar_levels[level + 1])
            << level;
    }
}

std::wstring compressing(const std::wstring& rest) { return bk::load_string(bk::ids::STATUS_COMPRESSING) + L"\n" + rest; }

TEST(ProgressLines, SevenZip) {
    bk::Archiver_7z seven(L"", nullptr);
    bk::TaskStatus status{L"before", 12};
    EXPECT_FALSE(seven.parse_progress_line(L"Everything is Ok", status, nullptr));
    EXPECT_FALSE(seven.parse_progress_line(L"Creating archive: /b/vd_backup_2026-12-05.7z", status, nullptr));
    EXPECT_FALSE(seven.parse_progress_line(L" 45% 3 +   ", status, nullptr));
    EXPECT_EQ(status, (bk::TaskStatus{L"before", 12}));

    EXPECT_TRUE(seven.parse_progress_line(L"  7% 3 + home/u/a - b.txt  ", status, nullptr));
    EXPECT_EQ(status, (bk::TaskStatus{compressing(L"home/u/a - b.txt\n7%"), 7}));
    EXPECT_TRUE(seven.parse_progress_line(L"100% + x.dbf", status, nullptr));
    EXPECT_EQ(status.progress, 100);
    EXPECT_TRUE(seven.parse_progress_line(L"101% + файл.dbf", status, nullptr));
    EXPECT_EQ(status, (bk::TaskStatus{compressing(L"файл.dbf"), 100}));

    // With a listing the entry's start gives the percent when it is further on.
    bk::ArchiveListing listing{1000, {{L"a.txt", 0}, {L"b.txt", 600}}};
    status = {};
    EXPECT_TRUE(seven.parse_progress_line(L"40% 2 - b.txt", status, &listing));
    EXPECT_EQ(status, (bk::TaskStatus{compressing(L"b.txt\n40%\n60%"), 60}));
    EXPECT_TRUE(seven.parse_progress_line(L"70% 2 - b.txt", status, &listing));
    EXPECT_EQ(status, (bk::TaskStatus{compressing(L"b.txt\n70%\n70%"), 70}));
    EXPECT_TRUE(seven.parse_progress_line(L"- other.txt", status, &listing) == false);
}

TEST(ProgressLines, Rar) {
    bk::Archiver_Rar rar(L"", nullptr);
    bk::TaskStatus status;
    EXPECT_FALSE(rar.parse_progress_line(L"Done", status));
    EXPECT_FALSE(rar.parse_progress_line(L"Adding     OK ", status));
    EXPECT_TRUE(rar.parse_progress_line(L"Adding    /home/u/a b.txt                       250%", status));
    EXPECT_EQ(status, (bk::TaskStatus{compressing(L"/home/u/a b.txt\n250%"), 250}));
    EXPECT_TRUE(rar.parse_progress_line(L"Adding    /home/u/отчёт.txt      OK ", status));
    EXPECT_EQ(status, (bk::TaskStatus{compressing(L"/home/u/отчёт.txt"), 250}));
    EXPECT_TRUE(rar.parse_progress_line(L"Добавление  /home/u/x.txt  ОК", status));
    EXPECT_EQ(status.text, compressing(L"/home/u/x.txt"));
    // No status token: the name runs to the end of the line.
    EXPECT_TRUE(rar.parse_progress_line(L"Adding /home/u/two words", status));
    EXPECT_EQ(status.text, compressing(L"/home/u/two words"));
    EXPECT_TRUE(rar.parse_progress_line(L"Adding /home/u/x 5x%", status));
    EXPECT_EQ(status.text, compressing(L"/home/u/x 5x%"));
}

}  // namespace
