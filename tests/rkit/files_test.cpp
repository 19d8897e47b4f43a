// A tree delete never reaches outside its tree. Copies, moves and new
// folders are the backup and restore tests'.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "rkit/files.h"
#include "rkit/path.h"
#include "rkit/temp_files.h"
#include "support/temp_dir.h"

using namespace rkit;
namespace fs = std::filesystem;

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
