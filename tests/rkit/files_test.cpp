#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "rkit/files.h"
#include "rkit/path.h"
#include "support/temp_dir.h"

using namespace rkit;
namespace fs = std::filesystem;

namespace {

struct stat stat_of(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st;
}

// Gives a file a mode and a modification time no copy would get by chance.
void mark(const fs::path& p) {
    ::chmod(p.c_str(), 0640);
    const timespec times[2] = {{1'000'000'000, 0}, {1'200'000'000, 500}};
    ::utimensat(AT_FDCWD, p.c_str(), times, 0);
}

void expect_same_mode_and_mtime(const struct stat& a, const struct stat& b) {
    EXPECT_EQ(a.st_mode & 07777, b.st_mode & 07777);
    EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec);
    EXPECT_EQ(a.st_mtim.tv_nsec, b.st_mtim.tv_nsec);
}

}  // namespace

TEST(Files, ExistenceAndSize) {
    bktest::TempDir dir;
    bktest::write_file(dir / "Данные/x.dbf", "12345");
    const std::wstring folder = dir.wpath() + L"\\Данные";
    EXPECT_TRUE(dir_exists(folder));
    EXPECT_FALSE(file_exists(folder));
    EXPECT_TRUE(file_exists(folder + L"\\x.dbf"));
    EXPECT_FALSE(dir_exists(folder + L"\\x.dbf"));
    EXPECT_FALSE(file_exists(folder + L"\\X.DBF"));
    EXPECT_EQ(file_size(folder + L"/x.dbf"), 5);
    EXPECT_EQ(file_size(folder + L"/none"), -1);
    EXPECT_EQ(file_size(folder), -1);
}

TEST(Files, CopyKeepsContentModeAndTimeAndHonoursOverwrite) {
    bktest::TempDir dir;
    bktest::write_file(dir / "a.txt", "new content");
    bktest::write_file(dir / "b.txt", "old");
    mark(dir / "a.txt");
    const std::wstring a = dir.wpath() + L"/a.txt", b = dir.wpath() + L"/b.txt";

    errno = 0;
    EXPECT_FALSE(file_copy(a, b, false));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(bktest::read_file(dir / "b.txt"), "old");

    ASSERT_TRUE(file_copy(a, b, true));
    EXPECT_EQ(bktest::read_file(dir / "b.txt"), "new content");
    expect_same_mode_and_mtime(stat_of(dir / "a.txt"), stat_of(dir / "b.txt"));

    ASSERT_TRUE(file_copy(a, dir.wpath() + L"/c.txt", false));
    EXPECT_EQ(bktest::read_file(dir / "c.txt"), "new content");

    // Copying a file onto itself must not empty it.
    EXPECT_FALSE(file_copy(a, dir.wpath() + L"/./a.txt", true));
    EXPECT_EQ(bktest::read_file(dir / "a.txt"), "new content");

    errno = 0;
    EXPECT_FALSE(file_copy(dir.wpath() + L"/none", b, true));
    EXPECT_EQ(errno, ENOENT);
    // Nothing but the three files is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

TEST(Files, MoveAcrossFileSystemsKeepsContentModeAndTime) {
    if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no tmpfs at /dev/shm";
    bktest::TempDir disk;
    const fs::path src = fs::path("/dev/shm") / ("vdk-move-" + std::to_string(::getpid()));
    bktest::write_file(src, std::string(300'000, 'x') + "end");
    mark(src);
    const struct stat before = stat_of(src);
    ASSERT_NE(before.st_dev, stat_of(disk.path()).st_dev);

    const std::wstring target = disk.wpath() + L"/moved.bin";
    ASSERT_TRUE(file_move(from_native_path(src.string()), target));
    EXPECT_FALSE(fs::exists(src));
    EXPECT_EQ(bktest::read_file(disk / "moved.bin"), std::string(300'000, 'x') + "end");
    expect_same_mode_and_mtime(before, stat_of(disk / "moved.bin"));

    // And back on the same file system: a plain rename.
    ASSERT_TRUE(file_move(target, disk.wpath() + L"/again.bin"));
    EXPECT_TRUE(fs::exists(disk / "again.bin"));
    errno = 0;
    EXPECT_FALSE(file_move(target, disk.wpath() + L"/x"));
    EXPECT_EQ(errno, ENOENT);
}

TEST(Files, RenameDeleteAndErrno) {
    bktest::TempDir dir;
    bktest::write_file(dir / "a", "1");
    EXPECT_TRUE(file_rename(dir.wpath() + L"/a", dir.wpath() + L"/b"));
    EXPECT_TRUE(file_exists(dir.wpath() + L"/b"));
    EXPECT_TRUE(file_delete(dir.wpath() + L"/b"));
    errno = 0;
    EXPECT_FALSE(file_delete(dir.wpath() + L"/b"));
    EXPECT_EQ(errno, ENOENT);
}

TEST(Folders, CreatePathMakesEveryMissingLevel) {
    bktest::TempDir dir;
    const std::wstring deep = dir.wpath() + L"\\a\\б//c/";
    EXPECT_FALSE(dir_create(dir.wpath() + L"/a/б"));
    EXPECT_TRUE(create_path(deep));
    EXPECT_TRUE(fs::is_directory(dir / "a/б/c"));
    EXPECT_TRUE(create_path(deep));  // already there
    EXPECT_TRUE(dir_create(dir.wpath() + L"/a/new"));
    EXPECT_FALSE(dir_create(dir.wpath() + L"/a/new"));

    bktest::write_file(dir / "file", "x");
    EXPECT_FALSE(create_path(dir.wpath() + L"/file/sub"));
    EXPECT_FALSE(create_path(dir.wpath() + L"/file"));
}

TEST(Folders, DeepDeleteStaysInsideTheTree) {
    bktest::TempDir dir;
    bktest::write_file(dir / "outside/keep.txt", "keep");
    bktest::write_file(dir / "tree/a/b/c.txt", "x");
    bktest::write_file(dir / "tree/top.txt", "x");
    fs::create_directory_symlink(dir / "outside", dir / "tree/a/link");
    fs::permissions(dir / "tree/a/b/c.txt", fs::perms::owner_read);

    EXPECT_TRUE(dir_deep_delete(dir.wpath() + L"/tree"));
    EXPECT_FALSE(fs::exists(dir / "tree"));
    EXPECT_EQ(bktest::read_file(dir / "outside/keep.txt"), "keep");

    errno = 0;
    EXPECT_FALSE(dir_deep_delete(dir.wpath() + L"/tree"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(dir_deep_delete(dir.wpath() + L"/outside/keep.txt"));
    EXPECT_TRUE(fs::exists(dir / "outside/keep.txt"));
}

TEST(Folders, TempDirFollowsTmpdir) {
    const char* old = ::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    ::setenv("TMPDIR", "/var/tmp/Отчёты", 1);
    EXPECT_EQ(temp_dir(), L"/var/tmp/Отчёты");
    ::setenv("TMPDIR", "", 1);
    EXPECT_EQ(temp_dir(), L"/tmp");
    if (old)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}
