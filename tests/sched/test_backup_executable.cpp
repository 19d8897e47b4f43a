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
#include <vector>

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

void write_stand_in(const fs::path& path, bool executable = true) {
    bktest::write_file(path, kStandIn);
    fs::permissions(path, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
}

class BackupExecutable : public ::testing::Test {
protected:
    void SetUp() override {
        old_path_ = getenv("PATH") ? getenv("PATH") : "";
        setenv("PATH", (path_dir().string() + ":" + old_path_).c_str(), 1);
        fs::create_directories(record());
        setenv("VDBK_STANDIN_RECORD", record().c_str(), 1);
        bk::clear_errors();
    }
    void TearDown() override {
        setenv("PATH", old_path_.c_str(), 1);
        unsetenv("VDBK_STANDIN_FD");
    }

    fs::path path_dir() const { return dir_ / "on path"; }
    fs::path record() const { return dir_ / "record"; }
    std::wstring wname() const { return rkit::char_to_wide(name_); }
    void let_go() { bktest::write_file(record() / "go", ""); }
    // The stand-in has finished recording; its arguments split at NUL.
    std::vector<std::string> recorded_args() {
        for (int i = 0; i < 1000 && !fs::exists(record() / "done"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(fs::exists(record() / "done"));
        std::vector<std::string> out;
        const std::string bytes = bktest::read_file(record() / "args");
        for (size_t start = 0, end; start < bytes.size(); start = end + 1) {
            end = bytes.find('\0', start);
            out.push_back(bytes.substr(start, end - start));
        }
        return out;
    }

    bktest::TempDir dir_;
    std::string name_ = "vdbk-standin-" + std::to_string(::getpid());
    std::string old_path_;
};

TEST_F(BackupExecutable, RunsWithoutShellInTheWorkingFolderAndIsNotWaitedFor) {
    // A bare name is found beside the running executable before PATH.
    write_stand_in(path_dir() / name_);
    EXPECT_EQ(bk::find_backup_executable(wname()), (path_dir() / name_).wstring());
    const fs::path beside = fs::path(rkit::native_path(rkit::extract_dir(bk::own_executable_path()))) / name_;
    write_stand_in(beside);
    struct Remove {
        fs::path path;
        ~Remove() { fs::remove(path); }
    } remove{beside};
    EXPECT_EQ(bk::find_backup_executable(wname()), beside.wstring());

    const fs::path work = dir_ / fs::path(u8"рабочая папка");
    fs::create_directories(work);
    const int host_fd = ::open("/dev/null", O_RDONLY);  // must not reach the child
    ASSERT_GE(host_fd, 3);
    setenv("VDBK_STANDIN_FD", std::to_string(host_fd).c_str(), 1);
    bk::HostIdentity identity;
    identity.username = L"Иванов И.И.";
    const bk::AutoParams run{L"комментарий \"с кавычками\"; $(rm -rf /) `x` 'y' \\", 30, 0, {L"a", L"b"}};
    std::wstring line = bk::backup_command_line(identity, run, false, true, L"/opt/vd/prog", L"");
    line.replace(0, std::wstring(bk::BACKUP_EXECUTABLE_NAME).size(), wname());

    ASSERT_EQ(bk::start_backup_executable(line, rkit::from_native_path(work.native())), BK_DONE);
    ::close(host_fd);
    // Returned while the executable is still waiting, and left no child to reap.
    EXPECT_FALSE(fs::exists(record() / "done"));
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    let_go();
    std::vector<std::string> expected{beside.string()};
    const std::vector<std::wstring> args = rkit::split_command_line(line);
    for (size_t i = 1; i < args.size(); ++i) expected.push_back(rkit::wide_to_char(args[i]));
    EXPECT_EQ(recorded_args(), expected);
    EXPECT_EQ(bktest::read_file(record() / "cwd"), fs::canonical(work).string() + "\n");
    EXPECT_EQ(bktest::read_file(record() / "fd"), "closed\n");
    EXPECT_EQ(bk::error_count(), 0);

    // A name with a folder is taken as it is; an empty working folder leaves the child in ours.
    fs::remove(record() / "done");
    const fs::path elsewhere = dir_ / "not on path" / "my vdbackup";
    write_stand_in(elsewhere);
    ASSERT_EQ(bk::start_backup_executable(L"\"" + elsewhere.wstring() + L"\" /B", L""), BK_DONE);
    EXPECT_EQ(recorded_args(), (std::vector<std::string>{elsewhere.string(), "/B"}));
    EXPECT_EQ(bktest::read_file(record() / "cwd"), fs::canonical(fs::current_path()).string() + "\n");
}

TEST_F(BackupExecutable, FailuresReturnTwoWithoutMessage) {
    EXPECT_EQ(bk::start_backup_executable(wname() + L" /Q", dir_.wpath()), BK_FAILED);  // nowhere
    write_stand_in(path_dir() / name_, false);
    EXPECT_EQ(bk::find_backup_executable(wname()), L"");  // not executable
    EXPECT_EQ(bk::start_backup_executable(wname() + L" /Q", dir_.wpath()), BK_FAILED);
    write_stand_in(path_dir() / name_);
    EXPECT_EQ(bk::start_backup_executable(wname() + L" /Q", (dir_ / "no such folder").wstring()), BK_FAILED);
    EXPECT_EQ(bk::start_backup_executable(L"   ", dir_.wpath()), BK_FAILED);
    EXPECT_EQ(bk::start_backup_executable(L"\"" + (dir_ / "missing").wstring() + L"\"", dir_.wpath()), BK_FAILED);
    EXPECT_EQ(bk::error_count(), 0);
    // None of them left a process behind.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_FALSE(fs::exists(record() / "cwd"));
}

}  // namespace
