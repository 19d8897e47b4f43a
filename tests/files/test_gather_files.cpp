#include <gtest/gtest.h>

#include <stdexcept>

#include "files/gather.h"
#include "files/gather_test_util.h"
#include "support/temp_dir.h"

using namespace filestest;
using bk::FileRecord;
using Records = std::vector<FileRecord>;

namespace {

// The host's current folder is root; its database folder is root/db; the
// current .shp file is root/db/main.shp; the .rek file has no location (as
// with a network database).
class GatherFiles : public ::testing::Test {
protected:
    GatherFiles()
        : folders{{L"ТЕК_ДИР", root.wpath()}, {L"ДИР_БАЗЫ", wide(root / "db")}},
          locations{{L"ТЕК_SHP", L"ТЕК_SHP_ДИР", wide(root / "db/main.shp")}, {L"ТЕК_REK", L"ТЕК_REK_ДИР", L""}} {}

    static bk::FileGroup group(const std::wstring& basic, const std::wstring& relative, const std::wstring& include,
                               bool recursive = false, const std::wstring& extract = L"") {
        bk::FileGroup g;
        g.basic_folder = basic;
        g.relative_path = relative;
        g.include_mask = include;
        g.extract_folder = extract;
        g.flags = recursive ? bk::GROUP_RECURSIVE : 0;
        return g;
    }
    static bk::SingleFile single(const std::wstring& path, const std::wstring& extract = L"") {
        bk::SingleFile f;
        f.path = path;
        f.extract_folder = extract;
        return f;
    }
    Records gather(const std::vector<std::wstring>& excluded = {}, bk::IWorkerStatus* status = nullptr) {
        return bk::gather_files(folders, locations, settings, status, excluded);
    }
    std::wstring at(const std::string& rel) const { return wide(root / rel); }

    bktest::TempDir root;
    bk::BasicFolders folders;
    bk::FileLocations locations;
    bk::BackupSettings settings;
};

}  // namespace

TEST_F(GatherFiles, GroupRecordsAreRelativeToTheBasicFolder) {
    make_tree(root.path(), {"data/a.txt", "data/sub/b.txt", "data/c.ini", "db/x.dbf", "top.txt"});
    settings.file_groups = {group(L"ТЕК_ДИР", L"data", L"*.txt", true), group(L"ДИР_БАЗЫ", L"", L"", false),
                            group(L"db", L"", L"*.dbf")};
    EXPECT_EQ(gather(), (Records{{L"ТЕК_ДИР", L"data/a.txt", at("data/a.txt"), 1},
                                 {L"ТЕК_ДИР", L"data/sub/b.txt", at("data/sub/b.txt"), 1},
                                 {L"ДИР_БАЗЫ", L"x.dbf", at("db/x.dbf"), 2},
                                 {L"db", L"x.dbf", at("db/x.dbf"), 2}}));
}

TEST_F(GatherFiles, ExtractFolderGoesBetweenFolderAndName) {
    make_tree(root.path(), {"data/a.txt", "data/sub/b.txt", "c.txt"});
    settings.file_groups = {group(L"ТЕК_ДИР", L"data", L"", true, L"old"), group(L"ТЕК_ДИР", L"", L"c.txt", false, L"x\\y")};
    EXPECT_EQ(gather(), (Records{{L"ТЕК_ДИР", L"data/old/a.txt", at("data/a.txt"), 1},
                                 {L"ТЕК_ДИР", L"data/sub/old/b.txt", at("data/sub/b.txt"), 1},
                                 {L"ТЕК_ДИР", L"x/y/c.txt", at("c.txt"), 1}}));
}

TEST_F(GatherFiles, GroupFolderOutsideItsBasicFolder) {
    make_tree(root.path(), {"data/a.txt", "db/x.dbf", "top.txt"});
    settings.file_groups = {group(L"ДИР_БАЗЫ", L"..\\data", L""), group(L"ДИР_БАЗЫ", L"..", L"", true)};
    // The second group's first record repeats the first group's last one.
    EXPECT_EQ(gather(), (Records{{L"ДИР_БАЗЫ", L"../data/a.txt", at("data/a.txt"), 1},
                                 {L"ДИР_БАЗЫ", L"x.dbf", at("db/x.dbf"), 1},
                                 {L"ДИР_БАЗЫ", L"../top.txt", at("top.txt"), 1}}));
}

TEST_F(GatherFiles, SingleFilesByFileMacroAndByPath) {
    make_tree(root.path(), {"db/main.shp", "db/x.dbf", "Отчёт за май.txt"});
    settings.single_files = {single(L"ТЕК_SHP"), single(L"ТЕК_SHP", L"arch"), single(L"db\\x.dbf"),
                             single(at("Отчёт за май.txt"), L"отчёты")};
    EXPECT_EQ(gather(), (Records{{L"ТЕК_SHP", L"main.shp", at("db/main.shp"), 2},
                                 {L"ТЕК_SHP", L"arch/main.shp", at("db/main.shp"), 2},
                                 {at("db"), L"x.dbf", at("db/x.dbf"), 1},
                                 {root.wpath(), L"отчёты/Отчёт за май.txt", at("Отчёт за май.txt"), 1}}));
}

TEST_F(GatherFiles, MissingFoldersAndFilesAreSkippedSilently) {
    make_tree(root.path(), {"data/a.txt", "empty/"});
    settings.file_groups = {group(L"ТЕК_ДИР", L"no such folder", L""), group(L"ТЕК_ДИР", L"empty", L"", true),
                            group(L"ТЕК_ДИР", L"data", L"", true)};
    settings.single_files = {single(L"ТЕК_SHP"), single(L"ТЕК_REK"), single(L"nothing.dbf"), single(L"data")};
    EXPECT_EQ(gather(), (Records{{L"ТЕК_ДИР", L"data/a.txt", at("data/a.txt"), 1}}));
}

TEST_F(GatherFiles, ComponentsLeaveGroupsAndFilesOut) {
    make_tree(root.path(), {"a/1.txt", "b/2.txt", "c/3.txt", "d/4.txt", "db/main.shp", "db/x.dbf"});
    settings.file_groups = {group(L"ТЕК_ДИР", L"a", L""), group(L"ТЕК_ДИР", L"b", L""), group(L"ТЕК_ДИР", L"c", L""),
                            group(L"ТЕК_ДИР", L"d", L"")};
    settings.file_groups[0].components = {L"reports"};
    settings.file_groups[1].components = {L"reports", L"archive"};
    settings.file_groups[2].components = {L"Reports"};
    settings.single_files = {single(L"ТЕК_SHP"), single(L"db\\x.dbf")};
    settings.single_files[0].components = {L"reports"};
    const auto paths = [](const Records& records) {
        std::vector<std::wstring> out;
        for (const auto& r : records) out.push_back(r.rel_path);
        return out;
    };
    EXPECT_EQ(paths(gather({L"reports"})), (std::vector<std::wstring>{L"b/2.txt", L"c/3.txt", L"d/4.txt", L"x.dbf"}));
    EXPECT_EQ(paths(gather({L"reports", L"archive"})), (std::vector<std::wstring>{L"c/3.txt", L"d/4.txt", L"x.dbf"}));
    EXPECT_EQ(paths(gather()).size(), 6u);

    EXPECT_FALSE(bk::is_excluded_by_components({}, {L"a"}));
    EXPECT_FALSE(bk::is_excluded_by_components({L"a"}, {}));
    EXPECT_TRUE(bk::is_excluded_by_components({L"a"}, {L"b", L"a"}));
    EXPECT_FALSE(bk::is_excluded_by_components({L"a", L"c"}, {L"a"}));
    EXPECT_FALSE(bk::is_excluded_by_components({L"a"}, {L"A"}));
}

// The reference count says how many records name one file, so that restore
// knows a copy is still needed after the first record has been put back.
TEST_F(GatherFiles, AFileReachedTwiceCountsTwiceAndIsArchivedOnce) {
    make_tree(root.path(), {"db/main.shp", "db/x.dbf", "db/y.dbf"});
    settings.file_groups = {group(L"ДИР_БАЗЫ", L"", L"*.shp; *.dbf"), group(L"ТЕК_ДИР", L"db", L"x.dbf")};
    // The host may spell a location's path loosely; it is still the same file.
    locations[0].path = root.wpath() + L"/db/../db//main.shp";
    settings.single_files = {single(L"ТЕК_SHP")};
    const Records records = gather();
    EXPECT_EQ(records, (Records{{L"ДИР_БАЗЫ", L"main.shp", at("db/main.shp"), 2},
                                {L"ДИР_БАЗЫ", L"x.dbf", at("db/x.dbf"), 2},
                                {L"ДИР_БАЗЫ", L"y.dbf", at("db/y.dbf"), 1},
                                {L"ТЕК_ДИР", L"db/x.dbf", at("db/x.dbf"), 2},
                                {L"ТЕК_SHP", L"main.shp", locations[0].path, 2}}));
    EXPECT_EQ(bk::unique_paths(records), (std::vector<std::wstring>{at("db/main.shp"), at("db/x.dbf"), at("db/y.dbf")}));
}

TEST_F(GatherFiles, OnlyConsecutiveDuplicatesAreDropped) {
    make_tree(root.path(), {"db/x.dbf", "db/y.dbf"});
    settings.single_files = {single(L"db\\x.dbf"), single(at("db/x.dbf")), single(L"db/./x.dbf"), single(L"db\\y.dbf"),
                             single(L"db\\x.dbf")};
    EXPECT_EQ(gather(), (Records{{at("db"), L"x.dbf", at("db/x.dbf"), 2},
                                 {at("db"), L"y.dbf", at("db/y.dbf"), 1},
                                 {at("db"), L"x.dbf", at("db/x.dbf"), 2}}));
    // A different place to go back to is not a duplicate.
    settings.single_files = {single(L"db\\x.dbf"), single(L"db\\x.dbf", L"old")};
    EXPECT_EQ(gather().size(), 2u);
}

TEST_F(GatherFiles, CountsHoldAcrossManySources) {
    make_tree(root.path(), {"f1", "f2", "f3"});
    for (int i = 0; i < 30; ++i) settings.single_files.push_back(single(i % 3 == 0 ? L"f1" : i % 3 == 1 ? L"f2" : L"f3"));
    settings.file_groups = {group(L"ТЕК_ДИР", L"", L"f2")};
    const Records records = gather();
    ASSERT_EQ(records.size(), 31u);
    for (const auto& r : records) EXPECT_EQ(r.ref_count, r.path == at("f2") ? 11 : 10) << r.rel_path;
    EXPECT_EQ(bk::unique_paths(records), (std::vector<std::wstring>{at("f2"), at("f1"), at("f3")}));
}

TEST_F(GatherFiles, NamesDifferingOnlyInCaseAreTwoFiles) {
    make_tree(root.path(), {"data/a.txt", "data/A.txt", "data/Папка с пробелом/Файл.txt", "data/папка с пробелом/файл.txt"});
    settings.file_groups = {group(L"ТЕК_ДИР", L"data", L"", true), group(L"ТЕК_ДИР", L"data", L"A.TXT")};
    const Records records = gather();
    EXPECT_EQ(records, (Records{{L"ТЕК_ДИР", L"data/A.txt", at("data/A.txt"), 2},
                                {L"ТЕК_ДИР", L"data/a.txt", at("data/a.txt"), 2},
                                {L"ТЕК_ДИР", L"data/Папка с пробелом/Файл.txt", at("data/Папка с пробелом/Файл.txt"), 1},
                                {L"ТЕК_ДИР", L"data/папка с пробелом/файл.txt", at("data/папка с пробелом/файл.txt"), 1},
                                {L"ТЕК_ДИР", L"data/A.txt", at("data/A.txt"), 2},
                                {L"ТЕК_ДИР", L"data/a.txt", at("data/a.txt"), 2}}));
    EXPECT_EQ(bk::unique_paths(records).size(), 4u);
}

TEST_F(GatherFiles, ASymlinkLoopEnds) {
    make_tree(root.path(), {"data/a.txt", "data/sub/b.txt"});
    fs::create_symlink("..", root / "data/sub/up");
    fs::create_symlink(root.path(), root / "data/root");
    settings.file_groups = {group(L"ТЕК_ДИР", L"data", L"", true)};
    EXPECT_EQ(gather(), (Records{{L"ТЕК_ДИР", L"data/a.txt", at("data/a.txt"), 1},
                                 {L"ТЕК_ДИР", L"data/sub/b.txt", at("data/sub/b.txt"), 1}}));
}

TEST_F(GatherFiles, StatusTextsReachTheTaskAndACancelEndsTheGathering) {
    make_tree(root.path(), {"data/a.txt", "data/sub/b.txt", "db/main.shp"});
    settings.file_groups = {group(L"ТЕК_ДИР", L"data", L"", true), group(L"ДИР_БАЗЫ", L"", L"")};
    settings.single_files = {single(L"ТЕК_SHP")};
    RecordingStatus status;
    EXPECT_EQ(gather({}, &status).size(), 4u);
    std::vector<std::wstring> texts;
    for (const auto& s : status.shown) texts.push_back(s.text);
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"Поиск файлов...", L"Поиск файлов в папке:\n" + at("data"),
                                                L"Поиск файлов в папке:\n" + at("data/sub"),
                                                L"Обработка исключений для файлов...", L"Поиск файлов...",
                                                L"Поиск файлов в папке:\n" + at("db"),
                                                L"Обработка исключений для файлов..."}));

    for (int at = 0; at < 7; ++at) {
        RecordingStatus canceling(at);
        EXPECT_THROW(gather({}, &canceling), bk::task_canceled) << at;
    }
}

TEST_F(GatherFiles, PathAndMaskErrorsEndTheGathering) {
    make_tree(root.path(), {"data/a.txt"});
    settings.file_groups = {group(L"ТЕК_ДИР", L"data", L"*.txt; dat?\\*.txt")};
    try {
        gather();
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "invalid mask: dat?/*.txt");
    }
    // A basic folder the host gave as empty, with no relative path: there is
    // no folder to search, and the user is told which paths failed.
    folders.push_back({L"ДИР_ФИЛЬТРОВ", L""});
    settings.file_groups = {group(L"ДИР_ФИЛЬТРОВ", L"", L"")};
    try {
        gather();
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Невозможно получить полный путь.", 0), 0u) << e.what();
    }
}
