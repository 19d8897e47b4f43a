// The backup task from start to end, with the real 7z and rar on trees made
// here: what the archive holds and in which order, what the manifests and the
// catalogue say, retention, a cancel in the middle of compression, failures,
// and the copy to removable media.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <tuple>

#include <pugixml.hpp>

#include "app/error_list.h"
#include "app/string_table.h"
#include "catalogue/catalogue.h"
#include "catalogue/manifest.h"
#include "rkit/clock.h"
#include "rkit/files.h"
#include "rkit/path.h"
#include "support/error_messages.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "tasks/backup_task.h"

namespace fs = std::filesystem;
using bktest::read_file;
using bktest::write_file;

namespace {

// Output of a shell command that must succeed.
std::string shell(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("popen failed: " + command);
    std::string out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    if (::pclose(pipe) != 0) throw std::runtime_error("command failed: " + command);
    return out;
}

std::string shell_quoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// The entries of an archive in the order the archive holds them, as the
// archiver itself lists them.
std::vector<std::string> archive_entries(const fs::path& archive) {
    std::vector<std::string> out;
    if (archive.extension() == ".rar") return lines(shell("rar lb " + shell_quoted(archive)));
    for (const std::string& line : lines(shell("7z l -slt -ba " + shell_quoted(archive))))
        if (line.rfind("Path = ", 0) == 0) out.push_back(line.substr(7));
    return out;
}

std::string archive_entry(const fs::path& archive, const std::string& name) {
    if (archive.extension() == ".rar") return shell("rar p -inul " + shell_quoted(archive) + " " + shell_quoted(name));
    return shell("7z x -so " + shell_quoted(archive) + " " + shell_quoted(name) + " 2>/dev/null");
}

std::string random_bytes(size_t size, unsigned seed) {
    std::mt19937_64 generator(seed);
    std::string bytes(size, '\0');
    for (size_t i = 0; i + 8 <= size; i += 8) {
        const uint64_t v = generator();
        std::memcpy(bytes.data() + i, &v, 8);
    }
    return bytes;
}

// The module's form of a path made here (fs::path would convert by the
// process locale, which is "C" in a test).
std::wstring wide(const fs::path& path) { return rkit::from_native_path(path.string()); }

bool folder_is_empty(const fs::path& folder) { return fs::is_empty(folder); }

std::set<std::string> names_in(const fs::path& folder) {
    std::set<std::string> out;
    for (const auto& entry : fs::directory_iterator(folder)) out.insert(entry.path().filename().string());
    return out;
}

rkit::timestamp at(int day, int month, int year, int hour = 10) {
    rkit::timestamp t;
    t.put(rkit::date(day, month, year), rkit::time(hour, 0, 0));
    return t;
}

using FileEntry = std::tuple<std::string, std::string, std::string, int>;

// base_symbolic_name, rel_path, arc_rel_path and ref_count of every file
// element, read as written.
std::vector<FileEntry> filelist_entries(const std::string& xml) {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(xml.c_str()));
    std::vector<FileEntry> out;
    for (const pugi::xml_node file : doc.child("root").child("files").children("file"))
        out.emplace_back(file.attribute("base_symbolic_name").value(), file.attribute("rel_path").value(),
                         file.attribute("arc_rel_path").value(), file.attribute("ref_count").as_int());
    return out;
}

// A host with its folders and data, a backup folder that does not exist yet,
// settings that save the data, and a temporary folder of its own, so that a
// test can see that nothing is left there.
class BackupTest : public ::testing::Test {
protected:
    void SetUp() override {
        bk::clear_errors();
        fs::create_directories(temp);
        if (const char* old = ::getenv("TMPDIR")) saved_tmpdir = old;
        ::setenv("TMPDIR", temp.c_str(), 1);

        write_file(host / "data/a.dbf", "счета " + std::string(5000, 'a'));
        write_file(host / "data/b.dbf", random_bytes(20000, 1));
        write_file(host / "data/old1.dbf", "old");
        write_file(host / "data/sub/Мой отчёт.txt", "отчёт за июнь");
        write_file(host / "data/notes.ini", "not saved");
        write_file(host / "db/main.shp", "база");

        folders = {{L"ТЕК_ДИР", wide(host)}, {L"ДИР_БАЗЫ", wide(host / "data")}};
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
        run.excl_comp = {};
    }

    void TearDown() override {
        if (saved_tmpdir.empty())
            ::unsetenv("TMPDIR");
        else
            ::setenv("TMPDIR", saved_tmpdir.c_str(), 1);
        rkit::clock::reset();
    }

    void use_archiver(int32_t kind) {
        settings.archiver.archiver = kind;
        archive = backups / (kind == bk::ARCHIVER_RAR ? "vd_backup_1.rar" : "vd_backup_1.7z");
    }

    std::unique_ptr<bk::BackupTask> task() const {
        return std::make_unique<bk::BackupTask>(settings, wide(backups), folders, locations, identity, run,
                                                created, wide(archive));
    }
    // The task run as the backup command runs it: true done, false canceled.
    bool backup() { return bk::run_worker_task(nullptr, task()); }

    bk::BackupRecord expected_record() const {
        bk::BackupRecord r;
        r.time = created;
        r.keeptime = 30;
        r.filename = wide(archive.filename());
        r.comment = L"перед закрытием месяца";
        r.version_type = L"7.2";
        r.version_family = L"pro";
        r.workplace = 3;
        r.dbname = L"main.shp";
        r.username = L"Иванов";
        r.workstation = L"buh-3";
        return r;
    }

    bk::Catalogue catalogue() const {
        bk::Catalogue c;
        bk::read_catalogue(bk::catalogue_path(wide(backups)), c);
        return c;
    }

    bktest::TempDir tmp;
    fs::path host = tmp / "host";
    fs::path backups = tmp / "backups/new";
    fs::path temp = tmp / "temp";
    std::string saved_tmpdir;
    bk::BasicFolders folders;
    bk::FileLocations locations;
    bk::HostIdentity identity;
    bk::BackupSettings settings;
    bk::AutoParams run;
    rkit::timestamp created = at(14, 6, 2025, 18);
    fs::path archive = backups / "vd_backup_1.7z";
    bktest::ScriptedUserInterface ui;
};

class BackupWithArchiver : public BackupTest, public ::testing::WithParamInterface<int32_t> {
protected:
    void SetUp() override {
        BackupTest::SetUp();
        use_archiver(GetParam());
    }
};

// The place of a host file inside the archive: its full path without the
// leading "/".
std::string in_archive(const fs::path& file) { return file.string().substr(1); }

TEST_P(BackupWithArchiver, MakesTheFirstBackupOfANewFolder) {
    ASSERT_TRUE(backup());
    EXPECT_TRUE(bktest::error_messages().empty());

    // The manifests come first, then every saved file once, however many
    // groups reach it.
    const std::vector<std::string> entries = archive_entries(archive);
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[0], "filelist.xml");
    EXPECT_EQ(entries[1], "fileinfo.xml");
    const std::vector<fs::path> saved = {host / "data/a.dbf", host / "data/b.dbf", host / "data/sub/Мой отчёт.txt",
                                         host / "db/main.shp"};
    std::set<std::string> expected_data;
    for (const fs::path& file : saved) expected_data.insert(in_archive(file));
    EXPECT_EQ(std::set<std::string>(entries.begin() + 2, entries.end()), expected_data);
    EXPECT_EQ(entries.size(), 2 + saved.size());
    for (const fs::path& file : saved) EXPECT_EQ(archive_entry(archive, in_archive(file)), read_file(file)) << file;

    // Where each file goes back; a.dbf is named by two groups, so a restore
    // must copy it rather than move it.
    const std::vector<FileEntry> expected_list = {
        {"ТЕК_ДИР", "data/a.dbf", in_archive(host / "data/a.dbf"), 2},
        {"ТЕК_ДИР", "data/b.dbf", in_archive(host / "data/b.dbf"), 1},
        {"ТЕК_ДИР", "data/sub/Мой отчёт.txt", in_archive(host / "data/sub/Мой отчёт.txt"), 1},
        {"ДИР_БАЗЫ", "copy/a.dbf", in_archive(host / "data/a.dbf"), 2},
        {"ТЕК_SHP", "main.shp", in_archive(host / "db/main.shp"), 1},
    };
    EXPECT_EQ(filelist_entries(archive_entry(archive, "filelist.xml")), expected_list);

    // fileinfo.xml and the catalogue carry the same record of this backup.
    write_file(tmp / "fileinfo.xml", archive_entry(archive, "fileinfo.xml"));
    bk::BackupRecord info;
    bk::read_fileinfo(wide(tmp / "fileinfo.xml"), info);
    EXPECT_EQ(info, expected_record());
    EXPECT_EQ(catalogue(), bk::Catalogue{expected_record()});

    // Staging folder, list files and work folders are all gone.
    EXPECT_TRUE(folder_is_empty(temp)) << *names_in(temp).begin();
    const auto statuses = ui.status.statuses();
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.front(), (bk::TaskStatus{bk::load_string(bk::ids::STATUS_PREPARING_BACKUP), -1}));
    EXPECT_TRUE(ui.status.showed(bk::load_string(bk::ids::STATUS_UPDATING_CATALOGUE)));
}

TEST_P(BackupWithArchiver, ACancelDuringCompressionLeavesNoArchiveAndTheCatalogueUntouched) {
    // Enough incompressible data, packed hard, that the archiver is still at
    // work when the cancel reaches it; in many files, as RAR stops only
    // between files.
    for (unsigned i = 0; i < 48; ++i)
        write_file(host / ("data/big/" + std::to_string(i) + ".dbf"), random_bytes(1 << 20, i));
    settings.archiver.compress_level = 9;
    bk::BackupRecord earlier = expected_record();
    earlier.time = at(1, 6, 2025);
    earlier.filename = L"earlier.7z";
    fs::create_directories(backups);
    write_file(backups / "earlier.7z", "an earlier backup");
    bk::write_catalogue(bk::catalogue_path(wide(backups)), {earlier});
    const std::string catalogue_before = read_file(backups / "backup_list.xml");

    ui.status.cancel_when_text_contains(bk::load_string(bk::ids::STATUS_COMPRESSING));
    EXPECT_FALSE(backup());

    EXPECT_TRUE(bktest::error_messages().empty());
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_EQ(names_in(backups), (std::set<std::string>{"backup_list.xml", "earlier.7z"}));
    EXPECT_EQ(read_file(backups / "backup_list.xml"), catalogue_before);
    EXPECT_TRUE(folder_is_empty(temp));
}

INSTANTIATE_TEST_SUITE_P(Archivers, BackupWithArchiver, ::testing::Values(bk::ARCHIVER_7ZIP, bk::ARCHIVER_RAR),
                         [](const auto& info) { return info.param == bk::ARCHIVER_RAR ? "Rar" : "SevenZip"; });

TEST_F(BackupTest, ExpiredArchivesBeyondTheLimitAreDeleted) {
    rkit::clock::set_fixed(at(14, 6, 2025, 18));
    created = rkit::clock::now();
    // Twelve weekly backups kept for 7 days, all expired, and one kept forever.
    fs::create_directories(backups);
    bk::Catalogue old;
    for (int i = 0; i < 12; ++i) {
        bk::BackupRecord r = expected_record();
        r.time = at(1, 3, 2025);
        r.time += rkit::time_period(7 * i, 0, 0);
        r.keeptime = 7;
        r.filename = L"weekly_" + std::to_wstring(i) + L".7z";
        write_file(backups / r.filename, "old backup");
        old.push_back(r);
    }
    bk::BackupRecord eternal = expected_record();
    eternal.time = at(1, 1, 2024);
    eternal.keeptime = bk::KEEP_FOREVER;
    eternal.filename = L"eternal.7z";
    write_file(backups / eternal.filename, "kept forever");
    old.push_back(eternal);
    bk::write_catalogue(bk::catalogue_path(wide(backups)), old);
    settings.expired_limit = 10;

    ASSERT_TRUE(backup());

    EXPECT_FALSE(fs::exists(backups / "weekly_0.7z"));
    EXPECT_FALSE(fs::exists(backups / "weekly_1.7z"));
    bk::Catalogue expected = {eternal};
    expected.insert(expected.end(), old.begin() + 2, old.begin() + 12);
    expected.push_back(expected_record());
    EXPECT_EQ(catalogue(), expected);
    for (const auto& r : expected) EXPECT_TRUE(fs::exists(backups / r.filename)) << fs::path(r.filename);
}

TEST_F(BackupTest, AFailureIsThrownByTheCallerWithNothingHalfMadeLeft) {
    settings.archiver.exe_path = wide(tmp / "no archiver here");
    try {
        backup();
        FAIL() << "the backup did not fail";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()), "");
    }
    // A task has one message at most, and the caller throws it: none is left
    // in the list for the host to show twice.
    EXPECT_TRUE(bktest::error_messages().empty());
    EXPECT_FALSE(fs::exists(archive));
    EXPECT_FALSE(fs::exists(backups / "backup_list.xml"));
    EXPECT_TRUE(folder_is_empty(temp));
}

TEST_F(BackupTest, AnUnreadableCatalogueFailsTheBackupButKeepsTheFinishedArchive) {
    fs::create_directories(backups);
    write_file(backups / "backup_list.xml", "<root><items><backup");
    try {
        backup();
        FAIL() << "the backup did not fail";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("XML"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(bktest::error_messages().empty());
    EXPECT_EQ(read_file(backups / "backup_list.xml"), "<root><items><backup");
    EXPECT_EQ(archive_entries(archive).front(), "filelist.xml");
}

TEST_F(BackupTest, OnlyTheComponentsLeftOutAreNotSaved) {
    settings.file_groups[0].components = {L"docs"};
    run.excl_comp = {L"docs"};
    ASSERT_TRUE(backup());
    const std::vector<FileEntry> expected_list = {
        {"ДИР_БАЗЫ", "copy/a.dbf", in_archive(host / "data/a.dbf"), 1},
        {"ТЕК_SHP", "main.shp", in_archive(host / "db/main.shp"), 1},
    };
    EXPECT_EQ(filelist_entries(archive_entry(archive, "filelist.xml")), expected_list);
}

// Removable media.

class RemovableCopy : public BackupTest {
protected:
    void SetUp() override {
        BackupTest::SetUp();
        settings.options |= bk::OPT_REMOVABLE;
    }
    // A folder that cannot be made: a file stands where a folder should be.
    void block_removable() {
        write_file(tmp / "stick", "not a folder");
        settings.removable_path = wide(tmp / "stick/backups");
    }
    std::wstring no_access_question() const {
        return bk::format_string(bk::ids::REMOVABLE_NO_ACCESS, {settings.removable_path});
    }
};

TEST_F(RemovableCopy, CopiesTheArchiveIntoAFolderItCreates) {
    settings.removable_path = wide(tmp / "media/STICK/копии");
    ASSERT_TRUE(backup());
    const fs::path copy = tmp / "media/STICK/копии" / archive.filename();
    EXPECT_EQ(read_file(copy), read_file(archive));
    EXPECT_TRUE(ui.status.showed(bk::load_string(bk::ids::STATUS_COPYING_TO_REMOVABLE)));
    EXPECT_TRUE(ui.status.questions().empty());
    EXPECT_EQ(names_in(tmp / "media/STICK/копии"), std::set<std::string>{archive.filename().string()});
}

TEST_F(RemovableCopy, IsSkippedWithoutAQuestionWhenTheMediumIsMissingAndAskingIsOff) {
    block_removable();
    ASSERT_TRUE(backup());
    EXPECT_TRUE(ui.status.questions().empty());
    EXPECT_TRUE(bktest::error_messages().empty());
    EXPECT_EQ(catalogue().size(), 1u);
}

TEST_F(RemovableCopy, AsksThroughTheStatusWhenAskingIsOnAndCancelSkips) {
    block_removable();
    settings.options |= bk::OPT_ASK_REMOVABLE;
    ui.status.answer_with({bk::IDRETRY, bk::IDCANCEL});
    ASSERT_TRUE(backup());
    const auto questions = ui.status.questions();
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].text, no_access_question());
    EXPECT_EQ(questions[0].type, 0x35u);
    EXPECT_EQ(catalogue().size(), 1u);
    EXPECT_TRUE(fs::is_regular_file(tmp / "stick"));
}

// A status whose user inserts the medium when asked and presses Retry.
class InsertsTheMedium : public bktest::ScriptedStatus {
public:
    explicit InsertsTheMedium(std::function<void()> insert) : insert_(std::move(insert)) {}
    int ask(const std::wstring& text, uint32_t type) override {
        ScriptedStatus::ask(text, type);
        insert_();
        return bk::IDRETRY;
    }

private:
    std::function<void()> insert_;
};

TEST_F(RemovableCopy, RetryAfterTheMediumIsInsertedCopies) {
    block_removable();
    settings.options |= bk::OPT_ASK_REMOVABLE;
    InsertsTheMedium status([&] { fs::remove(tmp / "stick"); });
    auto backup_task = task();
    backup_task->run(&status);
    ASSERT_TRUE(backup_task->finish());
    EXPECT_EQ(status.questions().size(), 1u);
    EXPECT_EQ(read_file(tmp / "stick/backups" / archive.filename()), read_file(archive));
}

// A small file system of its own, so that the archive does not fit; needs the
// right to mount, which a test machine running as root has.
class SmallMedium {
public:
    explicit SmallMedium(const fs::path& at) : path_(at) {
        fs::create_directories(at);
        mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallMedium() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    int64_t free_bytes() const {
        struct statvfs st {};
        ::statvfs(path_.c_str(), &st);
        return static_cast<int64_t>(st.f_bavail * st.f_frsize);
    }

private:
    fs::path path_;
    bool mounted_ = false;
};

TEST_F(RemovableCopy, AFullMediumIsAskedAboutWithBothSizesAndCancelSkips) {
    SmallMedium medium(tmp / "small");
    if (!medium.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
    write_file(host / "data/big.dbf", random_bytes(256 << 10, 3));
    settings.removable_path = wide(tmp / "small");
    settings.options |= bk::OPT_ASK_REMOVABLE;

    ASSERT_TRUE(backup());

    const auto questions = ui.status.questions();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text,
              bk::format_string(bk::ids::REMOVABLE_NO_SPACE,
                                {settings.removable_path, bk::format_size(rkit::file_size(wide(archive))),
                                 bk::format_size(medium.free_bytes())}));
    EXPECT_EQ(questions[0].type, 0x35u);
    EXPECT_TRUE(folder_is_empty(tmp / "small"));
}

TEST(FormatSize, ThreeSignificantDigitsInTheLargestUnitBelow1024) {
    EXPECT_EQ(bk::format_size(0), L"0 байт");
    EXPECT_EQ(bk::format_size(999), L"999 байт");
    // "%.3g" turns to exponent form for 1000 to 1023 of a unit.
    EXPECT_EQ(bk::format_size(1000), L"1e+03 байт");
    EXPECT_EQ(bk::format_size(1536), L"1.5 Кб");
    EXPECT_EQ(bk::format_size(1024 * 1024), L"1 Мб");
    EXPECT_EQ(bk::format_size(int64_t{3} << 30), L"3 Гб");
    EXPECT_EQ(bk::format_size(int64_t{1234} << 30), L"1.21 Тб");
    EXPECT_EQ(bk::format_size(int64_t{5} << 50), L"5 ");
    EXPECT_EQ(bk::format_size(-1), L"<error>");
}

}  // namespace
