// start_backup_executable with a stand-in program. vdbackup's own runs show
// the arguments arriving whole and nothing run by a shell.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "core/error_list.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "sched/command_line.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

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
    const auto stand_in = [](const fs::path& path, fs::perms perms) {
        bktest::write_file(path, kStandIn);
        fs::permissions(path, perms);
    };
    const std::string old_path = getenv("PATH");
    setenv("PATH", (bin.string() + ":" + old_path).c_str(), 1);
    setenv("VDBK_RECORD", record.c_str(), 1);
    fs::create_directories(record);
    fs::create_directories(work);
    bk::clear_errors();

    // Nowhere, not executable, no working folder, nothing or a missing path
    // to run: BK_FAILED without a message, and nothing ran.
    EXPECT_EQ(bk::start_backup_executable(wname + L" /Q", dir.wpath()), BK_FAILED);
    stand_in(bin / name, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(bk::start_backup_executable(wname + L" /Q", dir.wpath()), BK_FAILED);
    stand_in(bin / name, fs::perms::owner_all);
    EXPECT_EQ(bk::find_backup_executable(wname), (bin / name).wstring());
    EXPECT_EQ(bk::start_backup_executable(wname + L" /Q", (dir / "no such folder").wstring()), BK_FAILED);
    EXPECT_EQ(bk::start_backup_executable(L"   ", dir.wpath()), BK_FAILED);
    EXPECT_EQ(bk::start_backup_executable(L"\"" + (dir / "missing").wstring() + L"\"", dir.wpath()), BK_FAILED);
    EXPECT_EQ(bk::error_count(), 0);
    // A bare name is looked for beside the running program before PATH.
    const fs::path beside = fs::path(rkit::native_path(rkit::extract_dir(bk::own_executable_path()))) / name;
    stand_in(beside, fs::perms::owner_all);
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
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    bktest::write_file(record / "go", "");
    for (int i = 0; i < 1000 && !fs::exists(record / "cwd"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(bktest::read_file(record / "cwd"), fs::canonical(work).string() + "\n");
    EXPECT_EQ(bktest::read_file(record / "fd"), "closed\n");
    setenv("PATH", old_path.c_str(), 1);
}

}  // namespace
