// The rules of paths, names and dates that the end-to-end tests do not reach
// (hidden files, look-alike folders, paths equal with "\" as "/", the Windows
// patterns of a folder search, the catalogue's date and time texts); the tree
// delete, which never reaches outside its tree; where removable disks are mounted.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <tuple>

#include "rkit/datetime.h"
#include "rkit/file_enumerator.h"
#include "rkit/files.h"
#include "rkit/path.h"
#include "rkit/system.h"
#include "rkit/temp_files.h"
#include "rkit/text.h"
#include "support/temp_dir.h"

using namespace rkit;
namespace fs = std::filesystem;

TEST(Path, HiddenFilesLookalikeFoldersEqualPathsAndWindowsPatterns) {
    EXPECT_EQ(extract_ext(L"/home/u/.profile"), L"");
    EXPECT_EQ(force_extension(L"/b.d/x", L"rar"), L"/b.d/x.rar");
    std::wstring out;
    ASSERT_TRUE(get_relative_path(L"/home/u/data/", L"\\home\\u\\database", out));
    EXPECT_EQ(out, L"../database");
    EXPECT_TRUE(equal_path(L"/a/b/../c", L"\\a\\c\\."));
    EXPECT_TRUE(equal_path(L"x.dbf", concat_path(get_current_dir(), L"x.dbf")));
    EXPECT_FALSE(equal_path(L"/a/B", L"/a/b"));
    EXPECT_FALSE(equal_path(L"", L"."));

    // What "*.*", a trailing "." and ".*" take, and letters (Cyrillic too) without case.
    const std::vector<std::tuple<const wchar_t*, const wchar_t*, bool>> cases{
        {L"*.*", L"a.b.c", true},        {L"report.*", L"report", true}, {L"report.*", L"reports", false},
        {L"*.", L"README", true},        {L"*.", L"a.txt", false},       {L"?.dbf", L".dbf", false},
        {L"a*b*c", L"aXbYbZc", true},    {L"a*b*c", L"aXbYbZ", false},   {L"*.dbf", L"x.dbf.bak", false},
        {L"ОТЧЁТ*.txt", L"отчёт за март.TXT", true}, {L"отчет*", L"отчёт", false}};
    for (const auto& [pattern, name, match] : cases)
        EXPECT_EQ(match_file_pattern(pattern, name), match) << wide_to_char(pattern) << " " << wide_to_char(name);
}

// They read back exactly; what is not a valid date or time leaves the value as it was.
TEST(DateText, RefusalsAndPatterns) {
    date d(1, 1, 1600);
    EXPECT_TRUE(from_str(L"29.02.2000", d) && d == date(29, 2, 2000));  // a leap year: divisible by 400
    EXPECT_TRUE(from_str(to_wstring(date(5, 3, 2024)), d) && d == date(5, 3, 2024));
    for (const wchar_t* bad : {L"", L"31.02.2024", L"29.02.2023", L"29.02.1900", L"31.04.2024", L"05.13.2024",
                               L"05.03.24", L"05/03/2024", L"05.03.2024 ", L"2024.03.05"})
        EXPECT_FALSE(from_str(bad, d)) << bad;
    EXPECT_EQ(d, date(5, 3, 2024));
    rkit::time t;
    EXPECT_TRUE(from_str(to_wstring(rkit::time(9, 5, 7)), t) && t == rkit::time(9, 5, 7));
    for (const wchar_t* bad : {L"", L"24:00:00", L"12:60:00", L"12:00", L"12-00-00", L"1a:00:00"})
        EXPECT_FALSE(from_str(bad, t)) << bad;
    EXPECT_EQ(t, rkit::time(9, 5, 7));

    // Patterns replace the separators (archive names: see the file-name templates).
    timestamp ts;
    ts.put(date(5, 3, 2024), rkit::time(14, 7, 59, 99));
    EXPECT_EQ(to_str(ts, L"dd.mm.yyyy", L'.', L"hh:mm", L':'), L"05.03.2024 14:07");
}

// A tree delete takes only the module's own folders, whatever path it is
// handed, and nothing outside them. Everything lives in the test's folder,
// where temporary folders go meanwhile; the root is tried in a child shut
// into that folder (chroot), so that even a broken guard could only empty it.
TEST(Folders, DeepDeleteTakesOnlyTheModulesOwnFoldersAndStaysInside) {
    bktest::TempDir dir;
    const std::string tmpdir = getenv("TMPDIR") ? getenv("TMPDIR") : "", home = getenv("HOME") ? getenv("HOME") : "";
    const auto restore = [](const char* name, const std::string& value) {
        value.empty() ? unsetenv(name) : setenv(name, value.c_str(), 1);
    };
    setenv("TMPDIR", (dir / "gone/deeper").c_str(), 1);  // missing: its nearest parent holds the temporary folders
    const std::wstring temp = make_temp_folder(), home_temp = make_temp_folder(), kept = make_temp_folder();
    EXPECT_EQ(extract_dir(temp), dir.wpath());
    setenv("HOME", native_path(home_temp).c_str(), 1);
    bktest::write_file(dir / "outside/keep.txt", "keep");
    bktest::write_file(native_path(temp) + "/a/b/c.txt", "x");
    fs::create_directory_symlink(dir / "outside", native_path(temp) + "/a/link");
    fs::create_directory_symlink(native_path(kept), dir / "vdkLink01");
    std::wstring private_folder;
    ASSERT_TRUE(make_private_folder(dir.wpath(), private_folder));
    const std::pair<std::wstring, int> cases[] = {
        {home_temp, EPERM},     {dir.wpath() + L"/outside", EPERM},           {dir.wpath() + L"/vdkLink01", EPERM},
        {kept + L"/..", EPERM}, {dir.wpath() + L"/outside/keep.txt", ENOTDIR}, {temp, 0},
        {private_folder + L"/", 0}};
    for (const auto& [path, error] : cases) {
        errno = 0;
        EXPECT_EQ(dir_deep_delete(path), error == 0) << native_path(path);
        if (error != 0) {
            EXPECT_EQ(errno, error) << native_path(path);
        }
    }
    EXPECT_FALSE(fs::exists(native_path(temp)) || fs::exists(native_path(private_folder)));
    EXPECT_EQ(bktest::read_file(dir / "outside/keep.txt"), "keep");
    EXPECT_TRUE(fs::is_directory(native_path(home_temp)) && fs::is_directory(native_path(kept)));

    const pid_t child = fork();
    if (child == 0) {
        if (chroot(dir.path().c_str()) != 0 || chdir("/") != 0) _exit(2);
        _exit(!dir_deep_delete(L"/") && errno == EPERM ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 1);
    EXPECT_TRUE(fs::exists(dir / "outside/keep.txt"));
    restore("TMPDIR", tmpdir);
    restore("HOME", home);
}

// A stick is a removable disk; its partitions are found through it, and a
// mount point with a blank is written in octal by the kernel.
TEST(System, RemovableMountPointsComeFromRemovableDisksAndTheirPartitions) {
    bktest::TempDir dir;
    const fs::path block = dir.path() / "block";
    for (const auto& [disk, removable] : {std::pair{"sda", "0\n"}, std::pair{"sdb", "1\n"}}) {
        bktest::write_file(block / "devices" / disk / "removable", removable);
        bktest::write_file(block / "devices" / disk / (std::string(disk) + "1") / "partition", "1\n");
        fs::create_directory_symlink(block / "devices" / disk / (std::string(disk) + "1"),
                                     block / (std::string(disk) + "1"));
    }
    fs::create_directory_symlink(block / "devices/sdb", block / "sdb");
    bktest::write_file(dir.path() / "mounts",
                       "/dev/sda1 / ext4 rw 0 0\nproc /proc proc rw 0 0\n/dev/sdb1 /media/buh/MY\\040STICK vfat rw 0 0\n"
                       "/dev/sdb /media/buh/WHOLE vfat rw 0 0\n/dev/sdc1 /mnt/gone ext4 rw 0 0\n");
    EXPECT_EQ(rkit::removable_mount_points((dir.path() / "mounts").string(), block.string()),
              (std::vector<std::wstring>{L"/media/buh/MY STICK", L"/media/buh/WHOLE"}));
}
