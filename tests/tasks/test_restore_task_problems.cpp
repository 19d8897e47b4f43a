// Files that cannot be put back become problems with the system's reason and
// do not stop the restore; records of a hostile archive that climb out of
// their folders are refused and write nothing.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <set>

#include "app/error_list.h"
#include "app/string_table.h"
#include "rkit/text.h"
#include "support/scripted_ui.h"
#include "test_restore_task_host.h"

namespace {

namespace fs = std::filesystem;
using bktest::read_file;
using bktest::write_file;

std::wstring moving_failed(const fs::path& file) { return L"Ошибка перемещения файла: '" + file.wstring() + L"'."; }

std::set<fs::path> tree(const fs::path& dir) {
    std::set<fs::path> out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) out.insert(fs::relative(e.path(), dir));
    return out;
}

class RestoreProblems : public ::testing::Test {
protected:
    void SetUp() override { bk::clear_errors(); }

    bktest::TempDir dir;
    bktest::RestoreHost host{dir / "host"};
    bktest::ScriptedUserInterface ui;
    std::vector<bk::RestoreProblem> problems;
};

TEST_F(RestoreProblems, EachFileThatCannotBePutBackIsOneProblemAndTheRestAreRestored) {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "sub/x.txt"}) host.put(host.root() / name, name);
    host.put(host.dbf() / "s.dbf", "shared");
    host.settings.file_groups = {bktest::file_group(L"ТЕК_ДИР", L"", true),
                                 bktest::file_group(L"ДИР_DBF")};
    const fs::path archive = dir / "backup.7z";
    const auto records = bktest::make_backup(host, archive);
    ASSERT_EQ(records.size(), 6u);
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) write_file(host.root() / name, "changed");

    // b.txt cannot be set aside: not even root deletes a folder that is not
    // empty. A file stands where the folder sub must be made. The shared file
    // cannot be copied over a folder.
    write_file(host.root() / "b.~TempCopy" / "keep", "keep");
    fs::remove_all(host.root() / "sub");
    write_file(host.root() / "sub", "a file, not a folder");
    fs::remove(host.dbf() / "s.dbf");
    write_file(host.dbf() / "s.dbf" / "keep", "keep");

    EXPECT_TRUE(bktest::run_restore(host.settings, host.folders, archive, problems));
    EXPECT_EQ(bk::error_count(), 0);

    const fs::path b = host.root() / "b.txt", s = host.dbf() / "s.dbf", x = host.root() / "sub" / "x.txt";
    const std::wstring copying_failed = L"Ошибка копирования файла: '" + s.wstring() + L"'.";
    const std::vector<bk::RestoreProblem> expected{
        {b.wstring(), moving_failed(b), EISDIR, L"Is a directory"},
        {s.wstring(), copying_failed, EISDIR, L"Is a directory"},
        {x.wstring(), L"Ошибка создания папки: '" + (host.root() / "sub").wstring() + L"'.", ENOTDIR,
         L"Not a directory"},
        {s.wstring(), copying_failed, EISDIR, L"Is a directory"},
    };
    EXPECT_EQ(problems, expected);

    EXPECT_EQ(read_file(b), "changed");
    EXPECT_EQ(read_file(host.root() / "b.~TempCopy" / "keep"), "keep");
    EXPECT_EQ(read_file(host.root() / "a.txt"), "a.txt");
    EXPECT_EQ(read_file(host.root() / "c.txt"), "c.txt");
    EXPECT_EQ(read_file(host.root() / "sub"), "a file, not a folder");
    EXPECT_EQ(tree(host.dbf()), (std::set<fs::path>{"s.dbf", "s.dbf/keep"}));
}

TEST_F(RestoreProblems, AFileLeftSetAsideByAnEarlierRestoreMakesWay) {
    host.put(host.root() / "a.dbf", "saved");
    host.settings.file_groups = {bktest::file_group(L"ТЕК_ДИР")};
    const fs::path archive = dir / "backup.7z";
    bktest::make_backup(host, archive);
    write_file(host.root() / "a.dbf", "changed");
    write_file(host.root() / "a.~TempCopy", "left over from a crash");

    EXPECT_TRUE(bktest::run_restore(host.settings, host.folders, archive, problems));
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(tree(host.root()), std::set<fs::path>{"a.dbf"});
    host.expect_all_restored();
}

// The extracted copy is missing: the old file was already set aside and gets
// its name back.
TEST_F(RestoreProblems, AFailedMoveGivesTheOldFileItsNameBack) {
    const fs::path work = dir / "work";
    write_file(work / "data" / "next.txt", "next");
    write_file(host.root() / "kept.txt", "old");
    const std::vector<bk::FileRecord> records{
        {L"ТЕК_ДИР", L"kept.txt", L"/data/missing.txt", 1},
        {L"ТЕК_ДИР", L"next.txt", L"/data/next.txt", 1},
    };
    const fs::path archive = dir / "backup.7z";
    bktest::make_handmade_archive(work, records, {"data"}, archive);

    EXPECT_TRUE(bktest::run_restore(host.settings, host.folders, archive, problems));
    const fs::path kept = host.root() / "kept.txt";
    EXPECT_EQ(problems, (std::vector<bk::RestoreProblem>{
                            {kept.wstring(), moving_failed(kept), ENOENT, L"No such file or directory"}}));
    EXPECT_EQ(tree(host.root()), (std::set<fs::path>{"kept.txt", "next.txt"}));
    EXPECT_EQ(read_file(kept), "old");
    EXPECT_EQ(read_file(host.root() / "next.txt"), "next");
}

// The records of a hand-made filelist.xml that lead out of their base are
// refused one by one, as is a link that the archive planted; the honest ones
// around them are restored.
TEST_F(RestoreProblems, RecordsThatClimbOutOfTheirFoldersWriteNothing) {
    const fs::path work = dir / "work", outside = dir / "outside";
    write_file(work / "data" / "legit.txt", "legit");
    write_file(work / "data" / "evil.txt", "evil");
    write_file(work / "data" / "last.txt", "last");
    write_file(dir / "secret.txt", "secret");
    fs::create_directories(outside);
    fs::create_symlink(dir / "secret.txt", work / "link");
    const std::wstring evil = L"/data/evil.txt";
    const std::vector<bk::FileRecord> records{
        {L"ТЕК_ДИР", L"legit.txt", L"/data/legit.txt", 1},
        {L"ТЕК_ДИР", L"../escaped.txt", evil, 1},
        {L"ТЕК_ДИР", L"a/../../escaped.txt", evil, 1},
        {L"ТЕК_ДИР", L"..\\escaped.txt", evil, 1},
        {L"ТЕК_ДИР", (outside / "absolute.txt").wstring(), evil, 1},
        {outside.wstring(), L"../escaped.txt", evil, 2},
        {L"ТЕК_ДИР", L"", evil, 1},
        {L"ТЕК_ДИР", L"stolen.txt", L"/link", 1},
        {L"ТЕК_ДИР", L"sub/last.txt", L"/data/last.txt", 1},
    };
    const fs::path archive = dir / "hostile.7z";
    bktest::make_handmade_archive(work, records, {"data", "link"}, archive);
    const auto before = tree(dir.path());

    EXPECT_TRUE(bktest::run_restore(host.settings, host.folders, archive, problems));
    ASSERT_EQ(problems.size(), 7u);
    for (const auto& p : problems) {
        EXPECT_EQ(p.message, moving_failed(p.file));
        EXPECT_EQ(p.system_error, 0u);
        EXPECT_EQ(p.system_error_text, L"");
    }
    EXPECT_EQ(problems[0].file, host.root().wstring() + L"/../escaped.txt");
    EXPECT_EQ(problems[6].file, (host.root() / "stolen.txt").wstring());

    auto after = tree(dir.path());
    for (const char* added : {"host/root/legit.txt", "host/root/sub", "host/root/sub/last.txt"})
        EXPECT_EQ(after.erase(added), 1u) << added;
    EXPECT_EQ(after, before);
    EXPECT_EQ(read_file(host.root() / "legit.txt"), "legit");
    EXPECT_EQ(read_file(host.root() / "sub" / "last.txt"), "last");
    EXPECT_EQ(read_file(dir / "secret.txt"), "secret");
}

// A path in the archive that leads out of the staging folder makes the whole
// file list unreadable: the restore fails before any file is touched.
TEST_F(RestoreProblems, ARecordLeadingOutOfTheArchiveIsRefusedAndTheRestGoesBack) {
    const fs::path work = dir / "work";
    write_file(work / "data" / "legit.txt", "legit");
    const std::vector<bk::FileRecord> records{
        {L"ТЕК_ДИР", L"legit.txt", L"/data/legit.txt", 1},
        {L"ТЕК_ДИР", L"passwd", L"/../../../etc/passwd", 1},
    };
    const fs::path archive = dir / "hostile.7z";
    bktest::make_handmade_archive(work, records, {"data"}, archive);
    const auto before = tree(dir.path());

    EXPECT_TRUE(bktest::run_restore(host.settings, host.folders, archive, problems));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].message.substr(0, 20), bk::load_string(20139).substr(0, 20)) << rkit::wide_to_char(problems[0].message);
    EXPECT_EQ(bktest::read_file(host.root() / "legit.txt"), "legit");
    auto after = tree(dir.path());
    after.erase(fs::relative(host.root() / "legit.txt", dir.path()));
    EXPECT_EQ(after, before);
}

}  // namespace
