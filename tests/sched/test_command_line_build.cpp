#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "rkit/command_line_quote.h"
#include "rkit/command_line_split.h"
#include "rkit/path.h"
#include "sched/command_line.h"
#include "vardobk/command_line.h"

namespace {

using Args = std::vector<std::wstring>;
using Info = std::unique_ptr<bk::IBkCommandLineInfo>;

Info parse(const std::wstring& line) {
    Info info(bk::factoryBkCommandLineInfo());
    bk::WinappParseCommandLine(line, *info);
    return info;
}

std::wstring pid() { return std::to_wstring(::getpid()); }

Args own_passed() {
    const Args all = bk::own_process_arguments();
    return Args(all.begin() + 1, all.end());
}

// Values that a naive writer breaks: blanks, Cyrillic, double quotes,
// backslashes before a quote or at the end, separators of the other forms.
const std::vector<std::wstring> kAwkward = {
    L"plain",
    L"",
    L"два слова",
    L"tab\there",
    LR"(say "hi")",
    LR"(ends with \)",
    LR"(C:\Program Files\)",
    LR"(back\"slash quote)",
    LR"(\\server\share\\)",
    L"\"",
    L"/B /R -Z",
    L"a=b;c",
    L"Ё ё ЙЦУКЕН qwerty 123",
};

TEST(CommandLineBuild, ExactForms) {
    EXPECT_EQ(bk::executable_path(L"/opt/vd"), L"\"/opt/vd/vdbackup\"");
    EXPECT_EQ(bk::base_command_line(true, false, L"/opt/vd/prog"), L"\"/opt/vd/prog\" /Q");
    EXPECT_EQ(bk::base_command_line(false, true, L"/opt/vd/prog"), L"vdbackup \"/opt/vd/prog\" /Q /P=" + pid());
    EXPECT_EQ(bk::base_command_line(false, false, L""), L"vdbackup \"" + bk::own_executable_path() + L"\" /Q");

    bk::HostIdentity identity;
    identity.username = L"Иванов";
    identity.workplace = 3;
    bk::AutoParams run;
    run.comment = L"Ежедневная копия";
    run.keeptime = 30;
    run.flags = bk::AUTO_ONCE_A_DAY | bk::AUTO_DB_EXCLUSIVE;
    run.excl_comp = {L"a", L"", L"b"};
    EXPECT_EQ(bk::backup_command_line(identity, run, true, false, L"/opt/vd/prog", L"/data/base.shp"),
              LR"("/opt/vd/prog" /Q /B /T=30 /O /C="Ежедневная копия" /D="/data/base.shp" /E="a;b" /U="Иванов" /W=3)");

    // Nothing optional: the comment is still written, empty.
    run = bk::AutoParams{L"", bk::KEEP_FOREVER, 0, {}};
    EXPECT_EQ(bk::backup_command_line(bk::HostIdentity{}, run, false, true, L"/p", L""),
              L"vdbackup \"/p\" /Q /P=" + pid() + L" /B /T=-1 /C=\"\"");

    const std::wstring host = L"vdbackup \"" + bk::own_executable_path() + L"\" /Q /P=" + pid();
    EXPECT_EQ(bk::restore_command_line(L"/b/x.7z"),
              host + L" /R /A=\"/b/x.7z\" /X" + bk::passed_arguments(bk::own_process_arguments()));
    EXPECT_EQ(bk::end_of_work_command_line(),
              host + L" /Z /X" + bk::passed_arguments(bk::own_process_arguments()));

    EXPECT_EQ(bk::passed_arguments({L"prog", L"-a", L"b c"}), L" /K1=\"-a\" /K2=\"b c\"");
    EXPECT_EQ(bk::passed_arguments({L"prog"}), L"");
    EXPECT_EQ(bk::passed_arguments({}), L"");
}

TEST(CommandLineBuild, BackupFormsParseBackToTheirValues) {
    for (const std::wstring& value : kAwkward) {
        SCOPED_TRACE(testing::Message() << "value " << rkit::quote_argument(value).size());
        bk::HostIdentity identity;
        identity.username = value;
        identity.workplace = 12;
        bk::AutoParams run{value, 90, bk::AUTO_ONCE_A_DAY, {L"first", value + L"x", L"third"}};

        // The direct form, as the backup command writes it.
        const Info direct = parse(bk::backup_command_line(identity, run, false, true, L"", L""));
        EXPECT_EQ(direct->program(), bk::own_executable_path());
        EXPECT_TRUE(direct->quiet());
        EXPECT_EQ(direct->process_id(), static_cast<uint32_t>(::getpid()));
        EXPECT_EQ(direct->mode(), bk::CMDLINE_MODE_BACKUP);
        EXPECT_EQ(direct->keep_time(), 90);
        EXPECT_TRUE(direct->once_a_day());
        EXPECT_EQ(direct->comment(), value);
        EXPECT_EQ(direct->excluded_components(), L"first;" + value + L"x;third");
        EXPECT_EQ(direct->user(), value);
        EXPECT_EQ(direct->workplace(), 12);
        EXPECT_EQ(direct->database(), L"");
        EXPECT_FALSE(direct->pass_args());

        // The scheduled form: the task's program, then its parameters.
        const std::wstring program = L"/opt/" + value + L"/prog";
        const std::wstring database = L"/data/" + value;
        run.flags = 0;
        identity.workplace = 0;
        identity.username.clear();
        const Info scheduled = parse(bk::executable_path(L"/opt/vd") + L" " +
                                     bk::backup_command_line(identity, run, true, false, program, database));
        EXPECT_EQ(scheduled->program(), program);
        EXPECT_EQ(scheduled->process_id(), 0u);
        EXPECT_FALSE(scheduled->once_a_day());
        EXPECT_EQ(scheduled->database(), database);
        EXPECT_EQ(scheduled->comment(), value);
        EXPECT_EQ(scheduled->user(), L"");
        EXPECT_EQ(scheduled->workplace(), -1);
    }
}

TEST(CommandLineBuild, RestoreAndEndOfWorkFormsParseBack) {
    for (const std::wstring& value : kAwkward) {
        const Info restore = parse(bk::restore_command_line(value));
        EXPECT_EQ(restore->mode(), bk::CMDLINE_MODE_RESTORE);
        EXPECT_EQ(restore->archive(), value);
        EXPECT_EQ(restore->program(), bk::own_executable_path());
        EXPECT_EQ(restore->process_id(), static_cast<uint32_t>(::getpid()));
        EXPECT_TRUE(restore->quiet());
        EXPECT_TRUE(restore->pass_args());
        EXPECT_EQ(restore->extra_args(), own_passed());
    }
    const Info end = parse(bk::end_of_work_command_line());
    EXPECT_EQ(end->mode(), bk::CMDLINE_MODE_END_OF_WORK);
    EXPECT_TRUE(end->pass_args());
    EXPECT_EQ(end->extra_args(), own_passed());

    // Whatever the host was started with comes back in order.
    Args host = {L"/opt/vd/prog"};
    host.insert(host.end(), kAwkward.begin(), kAwkward.end());
    const Info passed = parse(L"vdbackup /X" + bk::passed_arguments(host));
    EXPECT_EQ(passed->extra_args(), Args(kAwkward.begin(), kAwkward.end()));
}

TEST(CommandLineBuild, QuotedArgumentsSplitBackUnchanged) {
    const wchar_t alphabet[] = {L'a', L' ', L'\t', L'"', L'\\', L'Ж', L'/', L'='};
    std::mt19937 random(20240611);
    std::uniform_int_distribution<size_t> pick(0, std::size(alphabet) - 1);
    std::uniform_int_distribution<size_t> length(0, 10);
    for (int round = 0; round < 3000; ++round) {
        Args args = {L"/opt/a prog/vdbackup"};
        for (size_t n = length(random) % 4; n > 0; --n) {
            std::wstring arg;
            for (size_t k = length(random); k > 0; --k) arg.push_back(alphabet[pick(random)]);
            args.push_back(arg);
        }
        const std::wstring line = rkit::join_command_line(args);
        ASSERT_EQ(rkit::split_command_line(line), args) << round;
    }
}

}  // namespace
