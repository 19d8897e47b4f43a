// The vdbackup command line: how WinappParseCommandLine reads switches, that
// every line the builders write parses back to the values it was built from,
// and how start_backup_executable starts a stand-in program. vdbackup's own
// runs show the arguments arriving whole and nothing run by a shell.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <random>
#include <thread>
#include <tuple>

#include "core/error_list.h"
#include "rkit/command_line_quote.h"
#include "rkit/command_line_split.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "sched/command_line.h"
#include "support/temp_dir.h"
#include "vardobk/command_line.h"

namespace fs = std::filesystem;

namespace {

using Args = std::vector<std::wstring>;
using Info = std::unique_ptr<bk::IBkCommandLineInfo>;

Info parse(const std::wstring& line) {
    Info info(bk::factoryBkCommandLineInfo());
    bk::WinappParseCommandLine(line, *info);
    return info;
}

// Every value a command line carries, in one comparable piece.
auto fields(const Info& i) {
    return std::tuple{i->mode(), i->program(), i->process_id(), i->quiet(), i->keep_time(), i->once_a_day(),
                      i->comment(), i->excluded_components(), i->database(), i->user(), i->workplace(),
                      i->archive(), i->pass_args(), i->extra_args()};
}

// Lines written by hand or by cron: either case, "/" or "-"; a value is
// everything after the first "="; unquoted absolute paths are no switches,
// and the last plain argument is the program.
TEST(CommandLineParse, HandWrittenLines) {
    const Info info = parse(L"vdbackup -q -z -x -o -e=ee -f=ff -g=gg -u=uu -d=dd -w=7 -t=-1 -p=9 /C=a=b -a=aa");
    EXPECT_EQ(fields(info), std::tuple(bk::CMDLINE_MODE_END_OF_WORK, L"", 9u, true, -1, true, L"a=b", L"ee", L"dd",
                                       L"uu", 7, L"aa", true, Args{}));
    EXPECT_EQ(info->value_f() + info->value_g(), L"ffgg");
    const Info paths = parse(L"vdbackup first /opt/vd/prog /Q /D=/data/base.shp /A=/b/x.7z /X /K2=/etc/x /K1=y");
    EXPECT_EQ(fields(paths), std::tuple(bk::CMDLINE_MODE_NONE, L"/opt/vd/prog", 0u, true, 0, false, L"", L"",
                                        L"/data/base.shp", L"", -1, L"/b/x.7z", true, Args{L"/etc/x", L"y"}));
    EXPECT_EQ(parse(L"\"/opt/vd/vdbackup\" /Q")->program(), L"");  // the program name itself never counts

    // No rule before the mode letters matches "bar=1": it is /B. A later mode replaces an earlier one;
    // without "=" the value letters are mode letters or nothing; unknown switches are ignored.
    const std::pair<const wchar_t*, int32_t> modes[] = {
        {L"vdbackup /bar=1", bk::CMDLINE_MODE_BACKUP},   {L"vdbackup /S", bk::CMDLINE_MODE_SETTINGS},
        {L"vdbackup /B /Z", bk::CMDLINE_MODE_END_OF_WORK}, {L"vdbackup /Cx /Tx /Px /Rescue", bk::CMDLINE_MODE_RESTORE},
        {L"vdbackup /Y /N=3 / -", bk::CMDLINE_MODE_NONE}, {L"vdbackup /bin/vd", bk::CMDLINE_MODE_NONE}};
    for (const auto& [line, mode] : modes) EXPECT_EQ(parse(line)->mode(), mode) << line;
    EXPECT_TRUE(parse(L"vdbackup /Open=no")->once_a_day());
    EXPECT_TRUE(parse(L"vdbackup /?")->help() && parse(L"vdbackup -h")->help());
    EXPECT_FALSE(parse(L"vdbackup /Help")->help() || parse(L"vdbackup ?")->help());  // "?" alone is the program

    // Numbers that do not parse leave the old value; /K needs a number, but only its order counts.
    const Info numbers = parse(L"vdbackup /T=30 /T=3x /W=2 /W=2147483648 /P=5 /P=-1");
    EXPECT_EQ(std::tuple(numbers->keep_time(), numbers->workplace(), numbers->process_id()), std::tuple(30, 2, 5u));
    EXPECT_EQ(parse(L"vdbackup /P=4294967295")->process_id(), 4294967295u);
    EXPECT_EQ(parse(L"vdbackup /K=x /Kz=x /K1 /k-1=y /K99999999999=z /K3=")->extra_args(), (Args{L"y", L""}));
}

// Values that a naive writer breaks (blanks, Cyrillic, quotes, backslashes before
// a quote or at the end, other forms' separators), then random ones.
std::vector<std::wstring> awkward_values() {
    std::vector<std::wstring> values = {L"", L"два слова", L"tab\there", LR"(say "hi")", LR"(ends with \)",
                                        LR"(C:\Program Files\)", LR"(back\"slash quote)", LR"(\\server\share\\)",
                                        L"\"", L"/B /R -Z", L"a=b;c"};
    const wchar_t alphabet[] = {L'a', L' ', L'\t', L'"', L'\\', L'Ж', L'/', L'='};
    std::mt19937 random(20240611);
    for (int n = 0; n < 300; ++n) {
        std::wstring value;
        for (size_t k = random() % 11; k > 0; --k) value.push_back(alphabet[random() % std::size(alphabet)]);
        values.push_back(value);
    }
    return values;
}

TEST(CommandLineBuild, EveryFormParsesBackToItsValues) {
    const Args all = bk::own_process_arguments();
    const Args own_passed(all.begin() + 1, all.end());
    const std::wstring self = bk::own_executable_path(), none;
    const uint32_t pid = static_cast<uint32_t>(::getpid());
    const std::vector<std::wstring> values = awkward_values();
    for (const std::wstring& value : values) {
        SCOPED_TRACE(testing::Message() << "value " << rkit::quote_argument(value).size());
        bk::HostIdentity identity;
        identity.username = value;
        identity.workplace = 12;
        bk::AutoParams run{value, 90, bk::AUTO_ONCE_A_DAY, {L"first", value + L"x", L"third"}};
        // The direct form, as the backup command writes it.
        EXPECT_EQ(fields(parse(bk::backup_command_line(identity, run, false, true, L"", L""))),
                  std::tuple(bk::CMDLINE_MODE_BACKUP, self, pid, true, 90, true, value, L"first;" + value + L"x;third",
                             none, value, 12, none, false, Args{}));
        // The scheduled form: the task's program, then its parameters; kept for ever.
        run = {value, bk::KEEP_FOREVER, 0, {}};
        EXPECT_EQ(fields(parse(bk::executable_path(L"/opt/vd") + L" " +
                               bk::backup_command_line({}, run, true, false, L"/opt/" + value, L"/d/" + value))),
                  std::tuple(bk::CMDLINE_MODE_BACKUP, L"/opt/" + value, 0u, true, -1, false, value, none,
                             L"/d/" + value, none, -1, none, false, Args{}));
        EXPECT_EQ(fields(parse(bk::restore_command_line(value))),
                  std::tuple(bk::CMDLINE_MODE_RESTORE, self, pid, true, 0, false, none, none, none, none, -1, value,
                             true, own_passed));
    }
    EXPECT_EQ(fields(parse(bk::end_of_work_command_line())),
              std::tuple(bk::CMDLINE_MODE_END_OF_WORK, self, pid, true, 0, false, none, none, none, none, -1, none,
                         true, own_passed));

    // Whatever the host was started with comes back in order, through /K and through a plain join.
    Args host = {L"/opt/a prog/vdbackup"};
    host.insert(host.end(), values.begin(), values.end());
    EXPECT_EQ(parse(L"vdbackup /X" + bk::passed_arguments(host))->extra_args(), Args(values.begin(), values.end()));
    EXPECT_EQ(rkit::split_command_line(rkit::join_command_line(host)), host);
}

// Waits until the test lets it go, then records its folder and whether it
// inherited the host's descriptor.
const char* const kStandIn = R"(#!/bin/sh
i=0
while [ ! -e "$VDBK_RECORD/go" ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done
pwd -P > "$VDBK_RECORD/cwd.tmp"
if [ -e "/proc/$$/fd/$VDBK_HOST_FD" ]; then echo inherited; else echo closed; fi > "$VDBK_RECORD/fd"
mv "$VDBK_RECORD/cwd.tmp" "$VDBK_RECORD/cwd"
)";

TEST(BackupExecutable, StartsInItsFolderWithoutTheHostsDescriptorsAndIsNotWaitedFor) {
    bktest::TempDir dir;
    const fs::path bin = dir / "on path", record = dir / "record", work = dir / fs::path(u8"рабочая папка");
    const std::string name = "vdbk-standin-" + std::to_string(::getpid());
    const std::wstring wname = rkit::char_to_wide(name);
    const std::string old_path = getenv("PATH");
    setenv("PATH", (bin.string() + ":" + old_path).c_str(), 1);
    setenv("VDBK_RECORD", record.c_str(), 1);
    fs::create_directories(record);
    fs::create_directories(work);
    bk::clear_errors();

    // Not executable, no working folder, nothing or a missing path to run:
    // BK_FAILED without a message, and nothing ran (nowhere at all: vdbackup's tests).
    bktest::write_file(bin / name, kStandIn);
    fs::permissions(bin / name, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(bk::start_backup_executable(wname + L" /Q", dir.wpath()), BK_FAILED);
    fs::permissions(bin / name, fs::perms::owner_all);
    EXPECT_EQ(bk::start_backup_executable(wname + L" /Q", (dir / "no such folder").wstring()), BK_FAILED);
    EXPECT_EQ(bk::start_backup_executable(L"   ", dir.wpath()), BK_FAILED);
    EXPECT_EQ(bk::start_backup_executable(L"\"" + (dir / "missing").wstring() + L"\"", dir.wpath()), BK_FAILED);
    EXPECT_EQ(bk::error_count(), 0);
    // A bare name is looked for beside the running program before PATH.
    EXPECT_EQ(bk::find_backup_executable(wname), (bin / name).wstring());
    const fs::path beside = fs::path(rkit::native_path(rkit::extract_dir(bk::own_executable_path()))) / name;
    fs::copy_file(bin / name, beside);
    EXPECT_EQ(bk::find_backup_executable(wname), beside.wstring());
    fs::remove(beside);

    const int host_fd = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(host_fd, 3);
    setenv("VDBK_HOST_FD", std::to_string(host_fd).c_str(), 1);
    const std::wstring line = L"\"" + (bin / name).wstring() + L"\" /B";  // a name with a folder is taken as it is
    ASSERT_EQ(bk::start_backup_executable(line, rkit::from_native_path(work.native())), BK_DONE);
    ::close(host_fd);
    // Returned while the program is still waiting, and left no child to reap.
    EXPECT_FALSE(fs::exists(record / "cwd"));
    errno = 0;
    EXPECT_TRUE(::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD);
    bktest::write_file(record / "go", "");
    for (int i = 0; i < 1000 && !fs::exists(record / "cwd"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(bktest::read_file(record / "cwd"), fs::canonical(work).string() + "\n");
    EXPECT_EQ(bktest::read_file(record / "fd"), "closed\n");
    setenv("PATH", old_path.c_str(), 1);
}

}  // namespace
