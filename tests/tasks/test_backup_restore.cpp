// The backup and restore tasks end to end, with the real 7z and rar on a tree
// made here: what the archive holds and the record it leaves, one pass of the
// retention rules, failures, cancels, removable media; restores that put back
// every byte, refuse a hostile archive and name what cannot go back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

#include "core/error_list.h"
#include "core/string_table.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_lock.h"
#include "catalogue/manifest.h"
#include "rkit/path.h"
#include "support/archives.h"
#include "support/error_messages.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "support/values.h"
#include "tasks/backup_task.h"
#include "tasks/restore_task.h"

namespace fs = std::filesystem;
using bktest::archive_entries;
using bktest::archive_entry;
using bktest::moment;
using bktest::random_bytes;
using bktest::read_file;
using bktest::wide;
using bktest::write_file;

namespace {

std::set<fs::path> tree(const fs::path& dir) {
    std::set<fs::path> out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) out.insert(fs::relative(e.path(), dir));
    return out;
}

struct stat stat_of(const fs::path& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

// The place of a host file inside the archive: its full path without the leading "/".
std::string in_archive(const fs::path& file) { return file.string().substr(1); }

const std::wstring kCopying = L"Копирование файлов...\n";
std::wstring moving_failed(const std::wstring& file) { return L"Ошибка перемещения файла: '" + file + L"'."; }

// A host with its data (put() remembers what a restore must bring back), a
// backup folder that does not exist yet, settings that save the data, and a
// TMPDIR of its own that every test must leave empty. a.dbf is reached by two
// groups; the database file is saved by its macro "ТЕК_SHP".
class Tasks : public ::testing::Test {
protected:
    void SetUp() override {
        bk::clear_errors();
        if (const char* old = ::getenv("TMPDIR")) saved_tmpdir = old;
        set_tmpdir(temp);

        put(host / "data/a.dbf", "счета " + std::string(5000, 'a'));
        put(host / "data/b.dbf", random_bytes(20000, 1));
        put(host / "data/sub/Мой отчёт.txt", "отчёт\r\nза июнь\n");
        put(host / "db/main.shp", "база");
        write_file(host / "data/old1.dbf", "old");
        write_file(host / "data/notes.ini", "not saved");

        folders = {{L"ТЕК_ДИР", wide(host)}, {L"ДИР_БАЗЫ", wide(host / "data")}, {L"ТЕК_SHP_ДИР", wide(host / "db")}};
        locations = {{L"ТЕК_SHP", L"ТЕК_SHP_ДИР", wide(host / "db/main.shp")}};
        identity = {L"7.2", L"pro", 3, L"main.shp", L"Иванов", L"buh-3"};
        settings.options = 0;
        settings.file_groups = {
            {L"ТЕК_ДИР", L"data", L"*.dbf;*.txt", L"old*", L"", bk::GROUP_RECURSIVE, L"", {}},
            {L"ДИР_БАЗЫ", L"", L"a.dbf", L"", L"copy", 0, L"", {}},
        };
        settings.single_files = {{L"ТЕК_SHP", L"", L"", {}}};
        run.comment = L"перед закрытием месяца";
        run.keeptime = 30;
    }

    // Whatever a task did, its staging folder, list files and work folders are gone.
    void TearDown() override {
        EXPECT_TRUE(fs::is_empty(temp)) << *tree(temp).begin();
        if (saved_tmpdir.empty()) ::unsetenv("TMPDIR");
        else ::setenv("TMPDIR", saved_tmpdir.c_str(), 1);
    }

    static void set_tmpdir(const fs::path& path) {
        fs::create_directories(path);
        ::setenv("TMPDIR", path.c_str(), 1);
    }

    void put(const fs::path& path, const std::string& bytes) {
        write_file(path, bytes);
        saved[path] = bytes;
    }
    void expect_all_restored() const {
        for (const auto& [path, bytes] : saved) {
            ASSERT_TRUE(fs::is_regular_file(path)) << path;
            EXPECT_TRUE(read_file(path) == bytes) << path << " differs";
        }
    }

    // The tasks run as the commands run them: true done, false canceled.
    bool backup() {
        return bk::run_worker_task(nullptr, std::make_unique<bk::BackupTask>(settings, wide(backups), folders,
                                                                             locations, identity, run, created,
                                                                             wide(archive)));
    }
    bool restore() {
        return bk::run_worker_task(nullptr,
                                   std::make_unique<bk::RestoreTask>(settings, folders, wide(archive), &problems));
    }
    std::string failed_backup() { return bktest::error_of([&] { backup(); }); }

    bk::BackupRecord expected_record() const {
        return {created, 30, wide(archive.filename()), L"перед закрытием месяца", identity};
    }

    bk::Catalogue catalogue() const {
        bk::Catalogue c;
        bk::read_catalogue(bk::catalogue_path(wide(backups)), c);
        return c;
    }

    bktest::TempDir tmp;
    fs::path host = tmp / "host", backups = tmp / "backups/new", temp = tmp / "temp";
    std::string saved_tmpdir;
    std::map<fs::path, std::string> saved;
    bk::BasicFolders folders;
    bk::FileLocations locations;
    bk::HostIdentity identity;
    bk::BackupSettings settings;
    bk::AutoParams run;
    rkit::timestamp created = moment(14, 6, 2025, 18);
    fs::path archive = backups / "vd_backup_1.7z";
    std::vector<bk::RestoreProblem> problems;
    bktest::ScriptedUserInterface ui;
};

class WithArchiver : public Tasks, public ::testing::WithParamInterface<int32_t> {
protected:
    void SetUp() override {
        Tasks::SetUp();
        settings.archiver.archiver = GetParam();
        archive = backups / (GetParam() == bk::ARCHIVER_RAR ? "vd_backup_1.rar" : "vd_backup_1.7z");
    }
};

TEST_P(WithArchiver, TheFirstBackupOfANewFolder) {
    ASSERT_TRUE(backup());
    EXPECT_TRUE(bktest::error_messages().empty());

    // The manifests come first, then every saved file once, however many
    // groups reach it (what they hold the restores show).
    const std::vector<std::string> entries = archive_entries(archive);
    std::set<std::string> expected_data;
    for (const auto& [file, bytes] : saved) expected_data.insert(in_archive(file));
    ASSERT_EQ(entries.size(), 2 + saved.size());
    EXPECT_EQ(entries[0] + " " + entries[1], "filelist.xml fileinfo.xml");
    EXPECT_EQ(std::set<std::string>(entries.begin() + 2, entries.end()), expected_data);

    // fileinfo.xml and the catalogue carry the same record of this backup.
    write_file(tmp / "fileinfo.xml", archive_entry(archive, "fileinfo.xml"));
    bk::BackupRecord info;
    bk::read_fileinfo(wide(tmp / "fileinfo.xml"), info);
    EXPECT_EQ(info, expected_record());
    EXPECT_EQ(catalogue(), bk::Catalogue{expected_record()});
}

TEST_P(WithArchiver, ACancelDuringCompressionLeavesNoArchiveAndTheCatalogueUntouched) {
    // Enough incompressible data, packed hard, that the archiver is still at
    // work when the cancel comes at its first progress line; in many files,
    // as RAR stops only between files.
    for (unsigned i = 0; i < 48; ++i)
        write_file(host / ("data/big/" + std::to_string(i) + ".dbf"), random_bytes(1 << 20, i));
    settings.archiver.compress_level = 9;
    bk::BackupRecord earlier = expected_record();
    earlier.time = moment(1, 6, 2025);
    earlier.filename = L"earlier.7z";
    write_file(backups / "earlier.7z", "an earlier backup");
    bk::write_catalogue(bk::catalogue_path(wide(backups)), {earlier});
    const std::string catalogue_before = read_file(backups / "backup_list.xml");

    ui.status.cancel_when_text_contains(bk::load_string(bk::ids::STATUS_COMPRESSING));
    EXPECT_FALSE(backup());

    EXPECT_TRUE(bktest::error_messages().empty());
    EXPECT_EQ(tree(backups), (std::set<fs::path>{"backup_list.xml", "earlier.7z"}));
    EXPECT_EQ(read_file(backups / "backup_list.xml"), catalogue_before);
}

// Files go back in the order of filelist.xml, one status line each with the
// destination and the percent. The staged copy of a file two records name is
// copied, so that it stays for the other record; the others are moved (they
// keep their staged inode). With the staging folder on a tmpfs every move
// crosses file systems and becomes a copy made beside the file and then a
// rename; a name too long for the usual set-aside name gets a shorter one.
// Nothing of either stays behind.
TEST_P(WithArchiver, ARestorePutsBackEveryByteCopyingSharedFilesAndMovingTheOthersAlsoAcrossFileSystems) {
    const std::string long_name = std::string(250, 'x') + ".dbf";
    put(host / "data/empty.txt", "");
    put(host / "data" / long_name, "длинное имя");
    ASSERT_TRUE(backup());
    // Changed, emptied, deleted with its folder, and a new file beside them.
    write_file(host / "data/a.dbf", "испорчено");
    write_file(host / "data/empty.txt", "не пусто");
    fs::resize_file(host / "data/b.dbf", 10);
    fs::remove_all(host / "data/sub");
    fs::remove(host / "db/main.shp");
    write_file(host / "data/new.txt", "останется");

    std::map<fs::path, ino_t> staged;  // by file name, as the first file is about to go back
    ui.status.on_status([&](const bk::TaskStatus& status) {
        if (staged.empty() && status.text.starts_with(kCopying))
            for (const auto& e : fs::recursive_directory_iterator(temp))
                if (e.is_regular_file()) staged[e.path().filename()] = stat_of(e.path()).st_ino;
    });
    EXPECT_TRUE(restore());
    EXPECT_TRUE(problems.empty());
    expect_all_restored();
    EXPECT_EQ(read_file(host / "data/copy/a.dbf"), saved[host / "data/a.dbf"]);
    EXPECT_EQ(read_file(host / "data/new.txt"), "останется");

    const std::vector<std::tuple<fs::path, bool, int>> destinations = {  // copied?, percent
        {host / "data/a.dbf", true, 14},      {host / "data/b.dbf", false, 28},
        {host / "data/empty.txt", false, 42}, {host / "data/sub/Мой отчёт.txt", false, 57},
        {host / "data" / long_name, false, 71}, {host / "data/copy/a.dbf", true, 85},
        {host / "db/main.shp", false, 100}};
    std::vector<bk::TaskStatus> per_file;
    for (const auto& s : ui.status.statuses())
        if (s.text.starts_with(kCopying)) per_file.push_back(s);
    ASSERT_EQ(per_file.size(), destinations.size());
    for (size_t i = 0; i < destinations.size(); ++i) {
        const auto& [dest, copied, percent] = destinations[i];
        const std::wstring text = kCopying + wide(dest) + L"\n" + std::to_wstring(percent) + L"%";
        EXPECT_EQ(per_file[i], (bk::TaskStatus{text, percent}));
        EXPECT_EQ(stat_of(dest).st_ino != staged.at(dest.filename()), copied) << dest;
    }

    const auto before = tree(host);
    for (const auto& [path, bytes] : saved) write_file(path, "changed");
    const fs::path shm = fs::path("/dev/shm") / tmp.path().filename();  // a unique name
    set_tmpdir(shm);
    ASSERT_NE(stat_of(shm).st_dev, stat_of(host).st_dev);
    EXPECT_TRUE(restore());
    EXPECT_TRUE(fs::is_empty(shm));
    fs::remove_all(shm);
    EXPECT_TRUE(problems.empty());
    expect_all_restored();
    EXPECT_EQ(tree(host), before);
}

TEST_P(WithArchiver, ACancelDuringARestoreStopsBetweenFiles) {
    ASSERT_TRUE(backup());
    for (const auto& [path, bytes] : saved) fs::remove(path);

    ui.status.cancel_when_text_contains(kCopying + wide(host / "data/b.dbf"));
    EXPECT_FALSE(restore());
    EXPECT_EQ(read_file(host / "data/a.dbf"), saved[host / "data/a.dbf"]);
    EXPECT_EQ(read_file(host / "data/b.dbf"), saved[host / "data/b.dbf"]);
    EXPECT_FALSE(fs::exists(host / "data/sub/Мой отчёт.txt"));
    EXPECT_FALSE(fs::exists(host / "db/main.shp"));
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(bk::error_count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Archivers, WithArchiver, ::testing::Values(bk::ARCHIVER_7ZIP, bk::ARCHIVER_RAR),
                         [](const auto& info) { return info.param == bk::ARCHIVER_RAR ? "Rar" : "SevenZip"; });

// A failed backup says why in the message the caller throws, leaves none in
// the list for the host to show twice, and no archive without a record:
// another program holds the catalogue past the wait; an unreadable catalogue
// is not overwritten, and the finished archive is kept; an archiver reports
// success without making the archive.
TEST_F(Tasks, AFailedBackupSaysWhyAndLeavesNoArchiveWithoutARecord) {
    fs::create_directories(backups);
    bk::CatalogueLock::set_wait_limit(std::chrono::milliseconds(300));
    const std::wstring catalogue_file = bk::catalogue_path(wide(backups));
    {
        const bk::CatalogueLock held(catalogue_file);
        EXPECT_EQ(failed_backup(), bk::format_string_narrow(bk::ids::ERR_CATALOGUE_LOCKED,
                                                            {0, bk::CatalogueLock::lock_file_path(catalogue_file)}));
    }
    bk::CatalogueLock::set_wait_limit(std::chrono::seconds(60));
    EXPECT_EQ(tree(backups), std::set<fs::path>{".backup_list.xml.lock"});

    // A record misread from it would be deleted at once: no expired backup may stay.
    const std::string broken = "<root><items><backup filename=\"old.7z\" date=\"01.01.2020\" keeptime=\"7\"";
    write_file(backups / "backup_list.xml", broken);
    write_file(backups / "old.7z", "old");
    settings.expired_limit = 0;
    EXPECT_NE(failed_backup().find((backups / "backup_list.xml").string() + ": "), std::string::npos);
    EXPECT_TRUE(bktest::error_messages().empty());
    EXPECT_EQ(read_file(backups / "backup_list.xml"), broken);
    EXPECT_EQ(archive_entries(archive).front(), "filelist.xml");

    write_file(tmp / "bin/7z", "#!/bin/sh\nexit 0\n");
    fs::permissions(tmp / "bin/7z", fs::perms::owner_all);
    settings.archiver.exe_path = wide(tmp / "bin");
    const fs::path made = archive;
    archive = backups / "vd_backup_2.7z";
    EXPECT_EQ(failed_backup(), bk::format_string_narrow(bk::ids::ERR_NO_ARCHIVE_MADE, {wide(archive)}));
    EXPECT_EQ(tree(backups),
              (std::set<fs::path>{made.filename(), "old.7z", "backup_list.xml", ".backup_list.xml.lock"}));
}

// What a killed backup left in the backup folder goes once it is a day old;
// newer leftovers may belong to a backup still at work. An expired backup
// goes by the catalogue's rules. New archives are their owner's alone, or the
// group's too in a group's shared folder.
TEST_F(Tasks, OldLeftoversAndExpiredBackupsGoAndNewArchivesAreNotReadableByOthers) {
    const auto age = [](const fs::path& path, int hours) {
        const timespec times[2] = {{::time(nullptr) - hours * 3600, 0}, {::time(nullptr) - hours * 3600, 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
    };
    write_file(backups / ".vdk-AbC123/vd_backup_0.7z", "half an archive");
    write_file(backups / ".backup_list.xml.Xy9876", "half a catalogue");
    write_file(backups / ".vdk-new456/vd_backup_2.7z", "a backup at work");
    age(backups / ".vdk-AbC123", 25);
    age(backups / ".backup_list.xml.Xy9876", 25);
    age(backups / ".vdk-new456", 23);
    bk::BackupRecord expired = expected_record();  // kept for 30 days, made 44 days ago
    expired.time = moment(1, 5, 2025);
    expired.filename = L"expired.7z";
    write_file(backups / "expired.7z", "an expired backup");
    bk::write_catalogue(bk::catalogue_path(wide(backups)), {expired});
    settings.expired_limit = 0;
    ASSERT_TRUE(backup());
    EXPECT_EQ(tree(backups), (std::set<fs::path>{archive.filename(), "backup_list.xml", ".backup_list.xml.lock",
                                                 ".vdk-new456", ".vdk-new456/vd_backup_2.7z"}));
    EXPECT_EQ(catalogue(), bk::Catalogue{expected_record()});
    EXPECT_EQ(stat_of(archive).st_mode & 0777, 0600u);

    fs::permissions(backups, fs::perms::set_gid, fs::perm_options::add);
    archive = backups / "vd_backup_2.7z";
    ASSERT_TRUE(backup());
    EXPECT_EQ(stat_of(archive).st_mode & 0777, 0640u);
}

// The rest go back also from groups anywhere the settings point: a typed basic
// folder outside the host, and a folder beside the group's basic folder,
// recorded with "..".
TEST_F(Tasks, EachFileThatCannotBePutBackIsOneProblemAndTheRestAreRestored) {
    put(tmp / "srv/shared/docs/договор.doc", "договор");
    put(host / "beside/notes.txt", "заметки");
    settings.file_groups.push_back({wide(tmp / "srv/shared"), L"docs", L"", L"", L"", 0, L"", {}});
    settings.file_groups.push_back({L"ДИР_БАЗЫ", L"../beside", L"", L"", L"", 0, L"", {}});
    ASSERT_TRUE(backup());
    for (const auto& [path, bytes] : saved) write_file(path, "changed");
    // main.shp was left set aside by an earlier restore: that copy makes way.
    // b.dbf cannot be set aside: not even root deletes a folder that is not
    // empty. A file stands where the folder sub must be made. The second
    // record of the shared a.dbf cannot be copied over a folder.
    write_file(host / "db/main.~TempCopy", "left over from a crash");
    write_file(host / "data/b.~TempCopy/keep", "keep");
    fs::remove_all(host / "data/sub");
    write_file(host / "data/sub", "a file, not a folder");
    write_file(host / "data/copy/a.dbf/keep", "keep");

    EXPECT_TRUE(restore());
    EXPECT_EQ(bk::error_count(), 0);
    const std::wstring b = wide(host / "data/b.dbf"), copy = wide(host / "data/copy/a.dbf");
    const std::vector<bk::RestoreProblem> expected{
        {b, moving_failed(b), EISDIR, L"Is a directory"},
        {wide(host / "data/sub/Мой отчёт.txt"), L"Ошибка создания папки: '" + wide(host / "data/sub") + L"'.",
         ENOTDIR, L"Not a directory"},
        {copy, L"Ошибка копирования файла: '" + copy + L"'.", EISDIR, L"Is a directory"},
    };
    EXPECT_EQ(problems, expected);

    EXPECT_EQ(read_file(host / "data/b.dbf"), "changed");
    EXPECT_EQ(read_file(host / "data/b.~TempCopy/keep"), "keep");
    EXPECT_EQ(read_file(host / "data/sub"), "a file, not a folder");
    EXPECT_EQ(tree(host / "data/copy"), (std::set<fs::path>{"a.dbf", "a.dbf/keep"}));
    for (const char* file : {"data/a.dbf", "db/main.shp", "beside/notes.txt"})
        EXPECT_EQ(read_file(host / file), saved[host / file]) << file;
    EXPECT_EQ(read_file(tmp / "srv/shared/docs/договор.doc"), "договор");
    EXPECT_EQ(tree(host / "db"), std::set<fs::path>{"main.shp"});
}

// A hand-made filelist.xml: a record whose extracted copy is missing leaves
// the old file as it was; the records whose destination really lies outside
// the host's and the settings' folders (also through a link in a host
// folder), or whose copy is not a file of the staging folder, are refused
// one by one; the honest ones around them are restored. The same list without
// any data is an incomplete archive, and says so.
TEST_F(Tasks, RecordsOfAHandmadeArchiveThatCannotGoBackWriteNothing) {
    const fs::path work = tmp / "work", outside = tmp / "outside";
    for (const std::string name : {"legit", "evil", "last"}) write_file(work / "data" / (name + ".txt"), name);
    write_file(tmp / "secret.txt", "secret");
    write_file(host / "kept.txt", "old");
    fs::create_directories(outside);
    fs::create_symlink(tmp / "secret.txt", work / "link");
    fs::create_directory_symlink(outside, host / "link");  // leads out of a host folder
    const std::wstring evil = L"/data/evil.txt";
    const std::wstring outside_folders = L"the destination is outside the host's and the settings' folders";
    const std::wstring not_from_archive = L"the archive's copy of the file is a link or lies outside the extraction "
                                          L"folder";
    const std::vector<std::tuple<bk::FileRecord, fs::path, std::wstring>> refused = {
        {{L"ТЕК_ДИР", L"../escaped.txt", evil, 1}, tmp / "escaped.txt", outside_folders},
        {{L"ТЕК_ДИР", L"a/../..\\escaped.txt", evil, 1}, tmp / "escaped.txt", outside_folders},
        {{L"ТЕК_ДИР", wide(outside / "absolute.txt"), evil, 1}, outside / "absolute.txt", outside_folders},
        {{wide(outside), L"planted.txt", evil, 2}, outside / "planted.txt", outside_folders},
        {{L"ТЕК_ДИР", L"link/planted.txt", evil, 1}, host / "link/planted.txt", outside_folders},
        {{L"ТЕК_ДИР", L"", evil, 1}, host, outside_folders},
        {{L"ТЕК_ДИР", L"stolen.txt", L"/link", 1}, host / "stolen.txt", not_from_archive},
        {{L"ТЕК_ДИР", L"passwd", L"/../../../etc/passwd", 1}, host / "passwd", not_from_archive},
    };
    const std::wstring kept = wide(host / "kept.txt");
    std::vector<bk::FileRecord> list{{L"ТЕК_ДИР", L"kept.txt", L"/data/missing.txt", 1},
                                     {L"ТЕК_ДИР", L"legit.txt", L"/data/legit.txt", 1}};
    std::vector<bk::RestoreProblem> expected{{kept, moving_failed(kept), ENOENT, L"No such file or directory"}};
    for (const auto& [record, destination, why] : refused) {
        list.push_back(record);
        expected.push_back({wide(destination), moving_failed(wide(destination)), 0, why});
    }
    list.push_back({L"ТЕК_ДИР", L"sub/last.txt", L"/data/last.txt", 1});
    bk::write_filelist(wide(work / "filelist.xml"), list);
    archive = tmp / "hostile.7z";
    bktest::shell("cd '" + work.string() + "' && 7z a -snl '" + archive.string() + "' filelist.xml data link");
    const auto before = tree(tmp.path());

    EXPECT_TRUE(restore());
    EXPECT_EQ(problems, expected);
    auto after = tree(tmp.path());
    for (const char* added : {"host/legit.txt", "host/sub", "host/sub/last.txt"})
        EXPECT_EQ(after.erase(added), 1u) << added;
    EXPECT_EQ(after, before);
    EXPECT_EQ(read_file(host / "kept.txt"), "old");
    EXPECT_EQ(read_file(host / "legit.txt"), "legit");
    EXPECT_EQ(read_file(host / "sub/last.txt"), "last");
    EXPECT_EQ(read_file(tmp / "secret.txt"), "secret");

    archive = tmp / "manifests_only.7z";
    bktest::shell("cd '" + work.string() + "' && 7z a '" + archive.string() + "' filelist.xml");
    problems.clear();
    EXPECT_EQ(bktest::error_of([&] { restore(); }),
              bk::format_string_narrow(bk::ids::ERR_ARCHIVE_INCOMPLETE, {wide(archive)}));
    EXPECT_TRUE(problems.empty());
}

// Removable media. A missing medium (a file stands where its folder should
// be) or a full one (a small tmpfs) is skipped silently with asking off; with
// asking on, Cancel skips after the question, and a cancel while the question
// is up ends the task. A medium that is there gets the copy, in a folder made
// on it.
TEST_F(Tasks, TheCopyToRemovableMediaSkipsAMissingOrFullMediumOrAsksAboutIt) {
    const fs::path missing = tmp / "stick/копии", present = tmp / "media/копии", full = tmp / "full";
    write_file(tmp / "stick", "not a folder");
    fs::create_directories(full);
    const bool mounted = ::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=8k") == 0;
    const struct Unmount { fs::path path; ~Unmount() { ::umount(path.c_str()); } } unmount{full};
    const std::vector<std::tuple<fs::path, bool, std::vector<int>, bool>> rows = {  // medium, ask, answers, done
        {missing, false, {}, true},       {missing, true, {bk::IDRETRY, bk::IDCANCEL}, true},
        {present, true, {}, true},        {missing, true, {bk::IDRETRY}, false},
        {full, false, {}, true},          {full, true, {bk::IDCANCEL}, true},
        {full, true, {bk::IDRETRY}, false}};
    int made = 0;
    for (const auto& [medium, ask, answers, done] : rows) {
        if (medium == full && !mounted) continue;
        bktest::ScriptedUserInterface asked;
        asked.status.answer_with(answers);
        if (!done) asked.status.cancel_when_text_contains(bk::load_string(bk::ids::STATUS_COPYING_TO_REMOVABLE));
        settings.options = bk::OPT_REMOVABLE | (ask ? bk::OPT_ASK_REMOVABLE : 0);
        settings.removable_path = wide(medium);
        archive = backups / ("vd_backup_" + std::to_string(++made) + ".7z");
        EXPECT_EQ(backup(), done) << made;
        const auto questions = asked.status.questions();
        ASSERT_EQ(questions.size(), answers.size()) << made;
        EXPECT_EQ(catalogue().size(), size_t(made));
        EXPECT_TRUE(medium != full || fs::is_empty(full)) << made;
        if (questions.empty() || !done) continue;
        EXPECT_EQ(questions[0].type, 0x35u);
        const std::wstring size = bk::format_size(fs::file_size(archive)),
                           room = bk::format_size(fs::space(full).available);
        EXPECT_EQ(questions[0].text, medium == missing
                                         ? bk::format_string(bk::ids::REMOVABLE_NO_ACCESS, {wide(missing)})
                                         : bk::format_string(bk::ids::REMOVABLE_NO_SPACE, {wide(full), size, room}));
    }
    EXPECT_TRUE(fs::is_regular_file(tmp / "stick"));
    EXPECT_EQ(tree(tmp / "media"), (std::set<fs::path>{"копии", "копии/vd_backup_3.7z"}));
    EXPECT_EQ(read_file(present / "vd_backup_3.7z"), read_file(backups / "vd_backup_3.7z"));
    // Sizes in that question: from no bytes at all up to terabytes; past them the number stands alone.
    EXPECT_EQ(bk::format_size(int64_t{3} << 39), L"1.5 " + bk::load_string(bk::ids::UNIT_TB));
    EXPECT_EQ(bk::format_size(int64_t{1} << 50), L"1 ");
    EXPECT_EQ(bk::format_size(0), L"0 " + bk::load_string(bk::ids::UNIT_BYTES));
    if (!mounted) GTEST_SKIP() << "cannot mount a tmpfs here: a full medium is not tried";
}

}  // namespace
