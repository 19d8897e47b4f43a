// Restores from real archives made by both archivers: every byte comes back,
// shared files are copied and the others moved, a cancel stops between
// files, and a staging folder on another file system changes nothing.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <map>
#include <mutex>

#include "app/error_list.h"
#include "archivers/archiver.h"
#include "rkit/path.h"
#include "support/scripted_ui.h"
#include "test_restore_task_host.h"

namespace {

namespace fs = std::filesystem;
using bktest::read_file;
using bktest::write_file;

const std::wstring kCopying = L"Копирование файлов...";

// TMPDIR pointed at a folder of the test for as long as it lives, so that
// the staging folder can be watched and must be gone afterwards.
class ScopedTmpdir {
public:
    explicit ScopedTmpdir(const fs::path& dir) {
        if (const char* old = ::getenv("TMPDIR")) old_ = old, had_ = true;
        fs::create_directories(dir);
        ::setenv("TMPDIR", dir.c_str(), 1);
    }
    ~ScopedTmpdir() {
        if (had_) ::setenv("TMPDIR", old_.c_str(), 1);
        else ::unsetenv("TMPDIR");
    }

private:
    std::string old_;
    bool had_ = false;
};

bool empty_folder(const fs::path& dir) { return fs::is_directory(dir) && fs::is_empty(dir); }

// Wide paths go through the module's own conversion: the test runs in the
// "C" locale, in which std::filesystem cannot convert Cyrillic.
fs::path native(const std::wstring& path) { return rkit::native_path(path); }
std::wstring wide(const fs::path& path) { return rkit::from_native_path(path.string()); }

fs::path destination(const bk::FileRecord& r, const bk::BasicFolders& folders) {
    return native(rkit::concat_path(bk::restore_base_folder(r.base_symbolic_name, folders), r.rel_path));
}

ino_t inode(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

dev_t device(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_dev : 0;
}

// A progress window that notes the inodes of the staging folder's files when
// the first file is about to be put back: a moved file keeps its inode.
class WatchingStatus : public bk::IWorkerStatus {
public:
    explicit WatchingStatus(fs::path tmpdir) : tmpdir_(std::move(tmpdir)) {}
    bool canceled() override { return false; }
    bk::TaskStatus get_status() override {
        std::lock_guard lock(mutex_);
        return shown.empty() ? bk::TaskStatus{} : shown.back();
    }
    void set_status(const bk::TaskStatus& status) override {
        std::lock_guard lock(mutex_);
        if (staged.empty() && status.text.starts_with(kCopying + L"\n"))
            for (const auto& e : fs::recursive_directory_iterator(tmpdir_))
                if (e.is_regular_file()) staged[e.path().filename()].push_back(inode(e.path()));
        shown.push_back(status);
    }
    int ask(const std::wstring&, uint32_t) override { return bk::IDOK; }

    std::vector<bk::TaskStatus> shown;
    std::map<fs::path, std::vector<ino_t>> staged;  // by file name

private:
    fs::path tmpdir_;
    std::mutex mutex_;
};

class RestoreTask : public ::testing::TestWithParam<int32_t> {
protected:
    void SetUp() override {
        bk::clear_errors();
        host.settings.archiver.archiver = GetParam();
    }
    fs::path archive() const { return dir / (GetParam() == bk::ARCHIVER_RAR ? "backup.rar" : "backup.7z"); }

    // Files of the root folder in a recursive group, dbf/ also in a group of
    // its own (so its file is reached twice), and the database file by macro.
    void make_usual_host() {
        host.put(host.root() / "Отчёт за май.txt", "итоги\r\nмая\n");
        host.put(host.root() / "empty.txt", "");
        host.put(host.root() / "sub" / "deep" / "b.bin", bktest::binary_bytes(300 * 1024 + 17, 1));
        host.put(host.dbf() / "c.dbf", bktest::binary_bytes(70 * 1024, 2));
        host.put(host.db() / "base.shp", bktest::binary_bytes(5000, 3));
        host.settings.file_groups = {bktest::file_group(L"ТЕК_ДИР", L"", true),
                                     bktest::file_group(L"ДИР_DBF", L"*.dbf")};
        host.settings.single_files = {bktest::single_file(L"ТЕК_SHP")};
    }

    bktest::TempDir dir;
    bktest::RestoreHost host{dir / "host"};
    ScopedTmpdir tmpdir{dir / "tmp"};
    std::vector<bk::RestoreProblem> problems;
};

TEST_P(RestoreTask, PutsBackEveryByteCopyingSharedFilesAndMovingTheOthers) {
    make_usual_host();
    const auto records = bktest::make_backup(host, archive());
    ASSERT_EQ(records.size(), 6u);

    // Changed, emptied, deleted with its folders, and a new file beside them.
    write_file(host.root() / "Отчёт за май.txt", "испорчено");
    write_file(host.root() / "empty.txt", "не пусто");
    fs::remove_all(host.root() / "sub");
    fs::resize_file(host.dbf() / "c.dbf", 10);
    fs::remove(host.db() / "base.shp");
    write_file(host.root() / "new.txt", "останется");

    bk::RestoreTask task(host.settings, host.folders, archive().wstring(), &problems);
    WatchingStatus status(dir / "tmp");
    task.run(&status);
    EXPECT_TRUE(task.finish());
    EXPECT_TRUE(problems.empty());
    host.expect_all_restored();
    EXPECT_EQ(read_file(host.root() / "new.txt"), "останется");
    EXPECT_TRUE(empty_folder(dir / "tmp"));

    // The database file named by its macro goes back into its own folder.
    EXPECT_FALSE(fs::exists(host.root() / "ТЕК_SHP"));
    EXPECT_EQ(records[5].base_symbolic_name, L"ТЕК_SHP");

    // The staged copy of a file reached twice stays for the other record.
    for (const auto& r : records) {
        const fs::path dest = destination(r, host.folders);
        const auto& staged = status.staged[dest.filename()];
        ASSERT_EQ(staged.size(), 1u) << dest;
        if (r.ref_count > 1) EXPECT_NE(inode(dest), staged[0]) << dest << " was not copied";
        else EXPECT_EQ(inode(dest), staged[0]) << dest << " was not moved";
    }
    EXPECT_EQ(records[0].rel_path, L"dbf/c.dbf");
    EXPECT_EQ(records[0].ref_count, 2);

    // One line per file: the text, the destination, the percent.
    std::vector<int> percents;
    for (const auto& s : status.shown)
        if (s.text.starts_with(kCopying + L"\n")) percents.push_back(s.progress);
    EXPECT_EQ(percents, (std::vector<int>{16, 33, 50, 66, 83, 100}));
    const auto last = std::find_if(status.shown.rbegin(), status.shown.rend(),
                                   [](const auto& s) { return s.progress == 100; });
    EXPECT_EQ(last->text, kCopying + L"\n" + wide(destination(records[5], host.folders)) + L"\n100%");
}

TEST_P(RestoreTask, ACancelStopsBetweenFiles) {
    for (const char* name : {"1.txt", "2.txt", "3.txt", "4.txt"}) host.put(host.root() / name, name);
    host.settings.file_groups = {bktest::file_group(L"ТЕК_ДИР")};
    bktest::make_backup(host, archive());
    for (const char* name : {"1.txt", "2.txt", "3.txt", "4.txt"}) fs::remove(host.root() / name);

    bktest::ScriptedUserInterface ui;
    ui.status.cancel_when_text_contains(kCopying + L"\n" + wide(host.root() / "2.txt"));
    EXPECT_FALSE(bktest::run_restore(host.settings, host.folders, archive(), problems));
    EXPECT_EQ(read_file(host.root() / "1.txt"), "1.txt");
    EXPECT_EQ(read_file(host.root() / "2.txt"), "2.txt");
    EXPECT_FALSE(fs::exists(host.root() / "3.txt"));
    EXPECT_FALSE(fs::exists(host.root() / "4.txt"));
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(bk::error_count(), 0);
    EXPECT_TRUE(empty_folder(dir / "tmp"));
}

// The staging folder on a tmpfs and the host's folders on disk: every move
// crosses file systems and becomes a copy that keeps the file's times.
TEST_P(RestoreTask, MovesAcrossFileSystems) {
    make_usual_host();
    const auto records = bktest::make_backup(host, archive());
    std::map<fs::path, fs::file_time_type> times;
    for (const auto& r : records) times[native(r.path)] = fs::last_write_time(native(r.path));
    for (const auto& [path, time] : times) fs::remove(path);

    bktest::TempDir shm_parent;  // only for a unique name
    const fs::path shm = fs::path("/dev/shm") / shm_parent.path().filename();
    {
        ScopedTmpdir on_tmpfs(shm);
        ASSERT_NE(device(shm), device(host.root()));
        bktest::ScriptedUserInterface ui;
        EXPECT_TRUE(bktest::run_restore(host.settings, host.folders, archive(), problems));
    }
    EXPECT_TRUE(empty_folder(shm));
    fs::remove_all(shm);
    EXPECT_TRUE(problems.empty());
    host.expect_all_restored();
    for (const auto& [path, time] : times)
        EXPECT_EQ(std::chrono::floor<std::chrono::seconds>(fs::last_write_time(path)),
                  std::chrono::floor<std::chrono::seconds>(time))
            << path;
}

TEST_P(RestoreTask, AnArchiveWithoutFileListFailsAndPutsNothingBack) {
    host.put(host.root() / "a.txt", "a");
    bk::BackupSettings settings = host.settings;
    bk::compress_files(settings.archiver, {(host.root() / "a.txt").wstring()}, archive().wstring(), nullptr);
    write_file(host.root() / "a.txt", "changed");

    bktest::ScriptedUserInterface ui;
    EXPECT_THROW(bktest::run_restore(host.settings, host.folders, archive(), problems), std::runtime_error);
    EXPECT_EQ(read_file(host.root() / "a.txt"), "changed");
    EXPECT_TRUE(empty_folder(dir / "tmp"));
}

INSTANTIATE_TEST_SUITE_P(Archivers, RestoreTask, ::testing::Values(bk::ARCHIVER_7ZIP, bk::ARCHIVER_RAR),
                         [](const auto& info) { return info.param == bk::ARCHIVER_RAR ? "rar" : "7z"; });

}  // namespace
