#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "vardobk/command_line.h"

namespace {

using Info = std::unique_ptr<bk::IBkCommandLineInfo>;

Info parse(const std::wstring& line) {
    Info info(bk::factoryBkCommandLineInfo());
    bk::WinappParseCommandLine(line, *info);
    return info;
}

using Args = std::vector<std::wstring>;

TEST(CommandLineParse, ScheduledBackupForm) {
    const Info info = parse(
        LR"("/opt/vd/vdbackup" "/opt/vd/Бухгалтерия 8" /Q /B /T=30 /C="" /D="/data/Фирма/base.shp" )"
        LR"(/E="a;b" /U="Иванов И.И." /W=3)");
    EXPECT_EQ(info->program(), L"/opt/vd/Бухгалтерия 8");
    EXPECT_TRUE(info->quiet());
    EXPECT_EQ(info->mode(), bk::CMDLINE_MODE_BACKUP);
    EXPECT_EQ(info->keep_time(), 30);
    EXPECT_FALSE(info->once_a_day());
    EXPECT_EQ(info->comment(), L"");
    EXPECT_EQ(info->database(), L"/data/Фирма/base.shp");
    EXPECT_EQ(info->excluded_components(), L"a;b");
    EXPECT_EQ(info->user(), L"Иванов И.И.");
    EXPECT_EQ(info->workplace(), 3);
    EXPECT_EQ(info->process_id(), 0u);
}

TEST(CommandLineParse, SwitchLettersInEitherCaseAndWithDash) {
    const Info info = parse(L"vdbackup -q -z -x -o -e=ee -f=ff -g=gg -u=uu -d=dd -w=7 -t=-1 -p=9");
    EXPECT_TRUE(info->quiet() && info->pass_args() && info->once_a_day());
    EXPECT_EQ(info->mode(), bk::CMDLINE_MODE_END_OF_WORK);
    EXPECT_EQ(info->excluded_components() + info->value_f() + info->value_g() + info->user() + info->database(),
              L"eeffgguudd");
    EXPECT_EQ(info->workplace(), 7);
    EXPECT_EQ(info->keep_time(), -1);
    EXPECT_EQ(info->process_id(), 9u);
    EXPECT_EQ(parse(L"vdbackup /S")->mode(), bk::CMDLINE_MODE_SETTINGS);
}

TEST(CommandLineParse, FirstMatchingRuleDecides) {
    // No rule before the mode letters matches "bar=1": it is /B.
    EXPECT_EQ(parse(L"vdbackup /bar=1")->mode(), bk::CMDLINE_MODE_BACKUP);
    // Anything starting with O is once a day, even with a value.
    EXPECT_TRUE(parse(L"vdbackup /Open=no")->once_a_day());
    // Without "=" the value letters are mode letters or nothing.
    const Info info = parse(L"vdbackup /Cx /Tx /Px /Rescue");
    EXPECT_EQ(info->comment(), L"");
    EXPECT_EQ(info->mode(), bk::CMDLINE_MODE_RESTORE);
    // A later mode switch replaces an earlier one.
    EXPECT_EQ(parse(L"vdbackup /B /Z")->mode(), bk::CMDLINE_MODE_END_OF_WORK);
    // Values keep everything after the first "=".
    EXPECT_EQ(parse(L"vdbackup /C=a=b")->comment(), L"a=b");
    // Unknown switches are ignored.
    const Info unknown = parse(L"vdbackup /Y /N=3 / -");
    EXPECT_EQ(unknown->mode(), 0);
    EXPECT_FALSE(unknown->help());
}

TEST(CommandLineParse, Help) {
    for (const wchar_t* line : {L"vdbackup /?", L"vdbackup /H", L"vdbackup -h"})
        EXPECT_TRUE(parse(line)->help()) << line;
    EXPECT_FALSE(parse(L"vdbackup /Help")->help());
    EXPECT_FALSE(parse(L"vdbackup ?")->help());  // not a switch: the program path
}

TEST(CommandLineParse, NumbersThatDoNotParseLeaveTheOldValue) {
    EXPECT_EQ(parse(L"vdbackup /T=abc")->keep_time(), 0);
    EXPECT_EQ(parse(L"vdbackup /T=30 /T=3x")->keep_time(), 30);
    EXPECT_EQ(parse(L"vdbackup /W=")->workplace(), -1);
    EXPECT_EQ(parse(L"vdbackup /W=2 /W=2147483648")->workplace(), 2);
    EXPECT_EQ(parse(L"vdbackup /W=-2147483648")->workplace(), INT32_MIN);
    EXPECT_EQ(parse(L"vdbackup /P=5 /P=-1")->process_id(), 5u);
    EXPECT_EQ(parse(L"vdbackup /P=5 /P=4294967296")->process_id(), 5u);
    EXPECT_EQ(parse(L"vdbackup /P=4294967295")->process_id(), 4294967295u);
    EXPECT_EQ(parse(L"vdbackup /P=")->process_id(), 0u);
}

TEST(CommandLineParse, ExtraArgumentsComeInTheirOrderNotByNumber) {
    EXPECT_EQ(parse(L"vdbackup /K2=c /K1=d")->extra_args(), (Args{L"c", L"d"}));
    EXPECT_EQ(parse(L"vdbackup /K=x /Kz=x /K1 /k-1=y /K99999999999=z /K3=")->extra_args(), (Args{L"y", L""}));
    EXPECT_EQ(parse(L"vdbackup /K1=a=b")->extra_args(), (Args{L"a=b"}));
}

TEST(CommandLineParse, LaterPlainArgumentIsTheProgram) {
    EXPECT_EQ(parse(L"vdbackup first /Q second")->program(), L"second");
    // The program name itself never counts.
    EXPECT_EQ(parse(L"\"/opt/vd/vdbackup\" /Q")->program(), L"");
    bk::BkCommandLineInfoImpl info;
    info.parse_param(L"W=12", true, false);
    info.parse_param(L"W=12", false, true);
    EXPECT_EQ(info.workplace(), 12);
    EXPECT_EQ(info.program(), L"W=12");
}

TEST(CommandLineParse, AbsolutePathsAreNotSwitches) {
    // Unquoted, as a shell or cron hands them over.
    const Info info = parse(L"vdbackup /opt/vd/prog /Q /D=/data/base.shp /A=/b/x.7z /X /K1=/etc/x");
    EXPECT_EQ(info->program(), L"/opt/vd/prog");
    EXPECT_FALSE(info->once_a_day());  // not read as /O
    EXPECT_TRUE(info->quiet());
    EXPECT_EQ(info->database(), L"/data/base.shp");
    EXPECT_EQ(info->archive(), L"/b/x.7z");
    EXPECT_EQ(info->extra_args(), (Args{L"/etc/x"}));
    EXPECT_EQ(parse(L"vdbackup /bin/vd")->mode(), bk::CMDLINE_MODE_NONE);
    EXPECT_EQ(parse(L"vdbackup -opt/vd")->mode(), bk::CMDLINE_MODE_NONE);
    EXPECT_TRUE(parse(L"vdbackup -opt/vd")->once_a_day());
}

TEST(CommandLineParse, CloneIsIndependent) {
    Info original = parse(LR"(vdbackup "/p" /Q /P=7 /B /T=30 /O /C="first" /E="a" /X /K1=x)");
    original->set_value_f(L"f");
    Info copy(original->clone());
    EXPECT_EQ(copy->comment(), L"first");
    EXPECT_EQ(copy->process_id(), 7u);
    EXPECT_EQ(copy->extra_args(), (Args{L"x"}));
    EXPECT_EQ(copy->value_f(), L"f");
    EXPECT_TRUE(copy->once_a_day());

    copy->set_comment(L"second");
    copy->parse_param(L"K2=y", true, true);
    copy->set_mode(bk::CMDLINE_MODE_RESTORE);
    EXPECT_EQ(original->comment(), L"first");
    EXPECT_EQ(original->extra_args(), (Args{L"x"}));
    EXPECT_EQ(original->mode(), bk::CMDLINE_MODE_BACKUP);
    // The copy owns its values: it outlives the original.
    original.reset();
    EXPECT_EQ(copy->comment(), L"second");
    EXPECT_EQ(copy->extra_args(), (Args{L"x", L"y"}));
}

}  // namespace
