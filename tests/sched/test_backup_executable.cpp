// start_backup_executable with a stand-in program that records how it was run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "core/error_list.h"
#include "rkit/command_line_split.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "sched/command_line.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Waits until the test lets it go, then records its folder, its arguments,
// and whether it inherited the host's descriptor.
const char* const kStandIn = R"(#!/bin/sh
rec="$VDBK_STANDIN_RECORD"
i=0
while [ ! -e "$rec/go" ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done
pwd -P > "$rec/cwd"
printf '%s\0' "$0" "$@" > "$rec/args"
if [ -e "/proc/$$/fd/$VDBK_STANDIN_FD" ]; then echo inherited; else echo closed; fi > "$rec/fd"
touch "$rec/done"
)";

TEST(BackupExecutable, StartsWithoutShellInItsFolderAndIsNotWaitedFor) {
    bktest::TempDir dir;
    const fs::path bin = dir / "on path", record = dir / "record", work = dir / fs::path(u8"рабочая папка");
    const std::string name = "vdbk-standin-" + std::to_string(::getpid());
    const std::wstring wname = rkit::char_to_wide(name);
    const auto stand_in = [](const fs::path& path, fs::perms perms) {
        bktest::write_file(path, kStandIn);
        fs::permissions(path, perms);
    };
    const auto recorded = [&](const char* what) {
        for (int i = 0; i < 1000 && !fs::exists(record / "done"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return bktest::read_file(record / what);
    };
    struct Environment {
        std::string path = getenv("PATH") ? getenv("PATH") : "";
        ~Environment() { setenv("PATH", path.c_str(), 1), unsetenv("VDBK_STANDIN_FD"); }
    } environment;
    setenv("PATH", (bin.string() + ":" + environment.path).c_str(), 1);
    setenv("VDBK_STANDIN_RECORD", record.c_str(), 1);
    fs::create_directories(record);
    fs::create_directories(work);
    bk::clear_errors();

    // Nowhere, not executable, no such working folder, nothing or a missing
    // path to run: BK_FAILED without a message, and nothing ran.
    EXPECT_EQ(bk::start_backup_executable(wname + L" /Q", dir.wpath()), BK_FAILED);
    stand_in(bin / name, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(bk::find_backup_executable(wname), L"");
    EXPECT_EQ(bk::start_backup_executable(wname + L" /Q", dir.wpath()), BK_FAILED);
    stand_in(bin / name, fs::perms::owner_all);
    EXPECT_EQ(bk::find_backup_executable(wname), (bin / name).wstring());
    const fs::path beside = fs::path(rkit::native_path(rkit::extract_dir(bk::own_executable_path()))) / name;
    stand_in(beside, fs::perms::owner_all);
    EXPECT_EQ(bk::find_backup_executable(wname), beside.wstring());  // beside the running program before PATH
    fs::remove(beside);
    EXPECT_EQ(bk::start_backup_executable(wname + L" /Q", (dir / "no such folder").wstring()), BK_FAILED);
    EXPECT_EQ(bk::start_backup_executable(L"   ", dir.wpath()), BK_FAILED);
    EXPECT_EQ(bk::start_backup_executable(L"\"" + (dir / "missing").wstring() + L"\"", dir.wpath()), BK_FAILED);
    EXPECT_EQ(bk::error_count(), 0);
    EXPECT_FALSE(fs::exists(record / "cwd"));

    const int host_fd = ::open("/dev/null", O_RDONLY);  // must not reach the child
    ASSERT_GE(host_fd, 3);
    setenv("VDBK_STANDIN_FD", std::to_string(host_fd).c_str(), 1);
    bk::HostIdentity identity;
    identity.username = L"Иванов И.И.";
    const bk::AutoParams run{L"комментарий \"с кавычками\"; $(rm -rf /) `x` 'y' \\", 30, 0, {L"a", L"b"}};
    std::wstring line = bk::backup_command_line(identity, run, false, true, L"/opt/vd/prog", L"");
    line.replace(0, std::wstring(bk::BACKUP_EXECUTABLE_NAME).size(), wname);
    ASSERT_EQ(bk::start_backup_executable(line, rkit::from_native_path(work.native())), BK_DONE);
    ::close(host_fd);
    // Returned while the program is still waiting, and left no child to reap.
    EXPECT_FALSE(fs::exists(record / "done"));
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    bktest::write_file(record / "go", "");
    std::string args = (bin / name).string() + '\0';
    const std::vector<std::wstring> split = rkit::split_command_line(line);
    for (size_t i = 1; i < split.size(); ++i) args += rkit::wide_to_char(split[i]) + '\0';
    EXPECT_EQ(recorded("args"), args);
    EXPECT_EQ(recorded("cwd"), fs::canonical(work).string() + "\n");
    EXPECT_EQ(recorded("fd"), "closed\n");
    EXPECT_EQ(bk::error_count(), 0);

    // A name with a folder is taken as it is; an empty working folder leaves the program in ours.
    fs::remove(record / "done");
    const fs::path elsewhere = dir / "not on path" / "my vdbackup";
    stand_in(elsewhere, fs::perms::owner_all);
    ASSERT_EQ(bk::start_backup_executable(L"\"" + elsewhere.wstring() + L"\" /B", L""), BK_DONE);
    EXPECT_EQ(recorded("args"), elsewhere.string() + '\0' + "/B" + '\0');
    EXPECT_EQ(recorded("cwd"), fs::canonical(fs::current_path()).string() + "\n");
}

}  // namespace
