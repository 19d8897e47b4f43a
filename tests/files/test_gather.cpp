// Gathering on real trees made by the tests: which files a backup saves, under
// which names, how often each is reached, and what the user sees meanwhile.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "files/gather.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "support/values.h"

namespace fs = std::filesystem;
using bk::FileRecord;
using Records = std::vector<FileRecord>;
using Paths = std::vector<std::wstring>;
using bktest::wide;

namespace bk {
void PrintTo(const FileRecord& r, std::ostream* os) {
    *os << "{" << rkit::wide_to_char(r.base_symbolic_name + L" | " + r.rel_path + L" | " + r.path) << " | "
        << r.ref_count << "}";
}
}  // namespace bk

namespace {

// Creates each file (with its folders) below root; a name ending in "/" is an
// empty folder.
void make_tree(const fs::path& root, const std::vector<std::string>& names) {
    for (const auto& name : names) {
        if (name.ends_with('/'))
            fs::create_directories(root / name);
        else
            bktest::write_file(root / name, name);
    }
}

// What gather_group_files finds in root, with root and its "/" cut off.
Paths search(const fs::path& root, const std::wstring& include, const std::wstring& exclude, bool recursive) {
    Paths out;
    for (const auto& p : bk::gather_group_files(wide(root), include, exclude, recursive, nullptr))
        out.push_back(p.starts_with(wide(root) + L"/") ? p.substr(wide(root).size() + 1) : p);
    return out;
}

// Include and exclude masks of one group's folder. Wildcards ignore case in
// file names; an excluded name or pattern also leaves out the subfolders of
// that name directly below the searched folder (a pattern compares folder
// names with case), and with a folder part it works below that folder.
TEST(GroupSearch, IncludeAndExcludeMasks) {
    struct Case {
        std::wstring include, exclude;
        bool recursive;
        Paths found;
    };
    const std::vector<std::pair<std::vector<std::string>, std::vector<Case>>> trees{
        {{"a.txt", "old1.txt", "b.ini", "Upper.TXT", "README", ".hidden", "sub/c.txt"},
         {{L"*.txt", L"old*.txt", false, {L"a.txt", L"Upper.TXT"}},
          {L"*.TXT", L"OLD*", false, {L"a.txt", L"Upper.TXT"}},
          {L"*.ini; *.txt", L"", false, {L"a.txt", L"b.ini", L"old1.txt", L"Upper.TXT"}},
          {L"*.nothing", L"", true, {}},
          {L" ; ,", L"", false, {L".hidden", L"a.txt", L"b.ini", L"old1.txt", L"README", L"Upper.TXT"}},
          {L"*.*", L"", true, {L".hidden", L"a.txt", L"b.ini", L"old1.txt", L"README", L"sub/c.txt", L"Upper.TXT"}}}},
        {{"a.txt", "tmp/x.txt", "TMP/y.txt", "sub/tmp/z.txt", "sub/tmp2.txt", "deep/tmp", "deep/keep.txt"},
         {{L"", L"tmp", true, {L"a.txt", L"deep/keep.txt", L"sub/tmp/z.txt", L"sub/tmp2.txt"}},
          {L"", L"tmp", false, {L"a.txt"}}}},
        {{"Temp1/a.txt", "TEMP2/b.txt", "temp3.txt", "Tempest.txt", "keep.txt"},
         {{L"", L"Temp*", true, {L"keep.txt", L"TEMP2/b.txt"}}, {L"*.txt", L"x; *", true, {}}}},
        {{"a.log", "keep.txt", "sub/b.log", "sub/keep.txt", "sub/deep/c.log", "sub/deep/d.txt", "sub/x.log/e.txt",
          "other/x.log/f.txt"},
         {{L"", L"sub\\*.log", true, {L"a.log", L"keep.txt", L"other/x.log/f.txt", L"sub/deep/d.txt", L"sub/keep.txt"}}}},
        {{"a.dbf", "data/b.dbf", "data/x/c.dbf", "data/x/c.txt"},
         {{L"data\\*.dbf", L"", true, {L"data/b.dbf", L"data/x/c.dbf"}},
          {L"data/*.dbf", L"", false, {L"data/b.dbf"}},
          {L"data\\..\\*.dbf", L"", false, {L"a.dbf"}}}},
    };
    for (const auto& [tree, cases] : trees) {
        bktest::TempDir dir;
        make_tree(dir.path(), tree);
        for (const Case& c : cases)
            EXPECT_EQ(search(dir.path(), c.include, c.exclude, c.recursive), c.found)
                << rkit::wide_to_char(c.include + L" | " + c.exclude);
    }
}

// Linux keeps "A.txt" and "a.txt" apart: both are saved, ordered by the
// upper-cased path first, then by the exact one.
TEST(GroupSearch, NamesDifferingOnlyInCaseAreAllKeptInAFixedOrder) {
    bktest::TempDir dir;
    make_tree(dir.path(), {"a.txt", "A.txt", "b.txt", "B.txt", "a b.txt", "я.txt", "Я.txt", "ё.txt", "Ж.txt", "sub/x.txt",
                           "SUB/X.txt", "SUB/y.txt", "sub/Y.txt", "a/f.txt", "a b/f.txt"});
    const Paths expected{L"a b.txt", L"a b/f.txt", L"A.txt",     L"a.txt",     L"a/f.txt",  L"B.txt", L"b.txt", L"SUB/X.txt",
                         L"sub/x.txt", L"SUB/y.txt", L"sub/Y.txt", L"ё.txt", L"Ж.txt",    L"Я.txt", L"я.txt"};
    EXPECT_EQ(search(dir.path(), L"", L"", true), expected);
    // Several include masks reaching the same files merge into the same order, once each.
    EXPECT_EQ(search(dir.path(), L"*.txt; *; a*", L"", true), expected);

    // Names that sort differently by case, punctuation and alphabet, in folders
    // that differ only in case (their files interleave): the walk gives the sorted order.
    bktest::TempDir tree;
    std::vector<std::string> names;
    for (const char* d : {"a", "A", "a b", "a-b", "a.b", "Б", "б", "z", "Z1", "_", "~"})
        for (const char* f : {"a", "A", "a b", "a-b", "a.b", "a_b", "Б", "б", "z", "Z1", "_", "~", "a.B"})
            names.push_back(std::string(d) + "/" + f + ".x");
    make_tree(tree.path(), names);
    const Paths found = bk::gather_group_files(tree.wpath(), L"", L"", true, nullptr);
    EXPECT_EQ(found.size(), names.size());
    EXPECT_TRUE(std::is_sorted(found.begin(), found.end(), bk::path_less));
}

// A link to a file is saved as the file it points to, under the link's name;
// a link to a folder is never entered, so loops end and nothing outside the
// group's folder is reached through one. Names the path layer cannot address
// ("\" is a separator to it, and bytes that are not UTF-8 do not survive the
// round trip) are left out.
TEST(GroupSearch, SymbolicLinksAndNamesThatCannotBeAddressed) {
    bktest::TempDir dir, outside;
    make_tree(outside.path(), {"outside.txt", "folder/hidden.txt"});
    make_tree(dir.path(), {"real.txt", "sub/a.txt", "back\\slash.txt", "bad\xff.txt", "bad\xfe/inner.txt"});
    fs::create_symlink("real.txt", dir / "link_to_real");
    fs::create_symlink(outside / "outside.txt", dir / "link_out");
    fs::create_symlink("missing.txt", dir / "dangling");
    fs::create_symlink(".", dir / "loop");
    fs::create_symlink("..", dir / "sub/up");
    fs::create_symlink(outside / "folder", dir / "link_folder");
    ASSERT_EQ(::mkfifo((outside / "fifo").c_str(), 0600), 0);
    fs::create_symlink(outside / "fifo", dir / "link_to_fifo");
    EXPECT_EQ(search(dir.path(), L"", L"", true), (Paths{L"link_out", L"link_to_real", L"real.txt", L"sub/a.txt"}));
    // A group whose own folder is reached through a link is searched.
    fs::create_symlink(dir.path(), outside / "group_link");
    EXPECT_EQ(search(outside / "group_link", L"*.txt", L"", true), (Paths{L"real.txt", L"sub/a.txt"}));
}

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
        return {basic, relative, include, L"", extract, recursive ? bk::GROUP_RECURSIVE : 0u, L"", {}};
    }
    static bk::SingleFile single(const std::wstring& path, const std::wstring& extract = L"") {
        return {path, extract, L"", {}};
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

// Missing folders and files, and empty folders, are skipped silently.
TEST_F(GatherFiles, GroupRecordsAreRelativeToTheBasicFolderWithTheExtractFolderBeforeTheName) {
    // data/z.txt follows data/sub/b.txt: the folder changes back between two files.
    make_tree(root.path(),
              {"data/a.txt", "data/sub/b.txt", "data/z.txt", "data/c.ini", "db/x.dbf", "top.txt", "empty/"});
    settings.file_groups = {group(L"ТЕК_ДИР", L"data", L"*.txt", true, L"old"), group(L"ДИР_БАЗЫ", L"", L""),
                            group(L"db", L"", L"*.dbf"), group(L"ДИР_БАЗЫ", L"..", L"top.txt", false, L"x\\y"),
                            group(L"ТЕК_ДИР", L"no such folder", L""), group(L"ТЕК_ДИР", L"empty", L"", true)};
    settings.single_files = {single(L"ТЕК_SHP"), single(L"ТЕК_REK"), single(L"nothing.dbf"), single(L"data")};
    EXPECT_EQ(gather(), (Records{{L"ТЕК_ДИР", L"data/old/a.txt", at("data/a.txt"), 1},
                                 {L"ТЕК_ДИР", L"data/sub/old/b.txt", at("data/sub/b.txt"), 1},
                                 {L"ТЕК_ДИР", L"data/old/z.txt", at("data/z.txt"), 1},
                                 {L"ДИР_БАЗЫ", L"x.dbf", at("db/x.dbf"), 2},
                                 {L"db", L"x.dbf", at("db/x.dbf"), 2},
                                 {L"ДИР_БАЗЫ", L"../x/y/top.txt", at("top.txt"), 1}}));
}

// Of several records of one file only consecutive ones, however the path is
// spelt, are one.
TEST_F(GatherFiles, SingleFilesByFileMacroAndByPathAndOnlyConsecutiveDuplicatesDropped) {
    make_tree(root.path(), {"db/main.shp", "db/x.dbf", "db/y.dbf", "Отчёт за май.txt"});
    settings.single_files = {single(L"ТЕК_SHP"),     single(L"ТЕК_SHP", L"arch"), single(L"db\\x.dbf"),
                             single(at("db/x.dbf")), single(L"db/./x.dbf"),       single(L"db\\y.dbf"),
                             single(L"db\\x.dbf"),   single(L"db\\x.dbf", L"old"),
                             single(at("Отчёт за май.txt"), L"отчёты")};
    EXPECT_EQ(gather(), (Records{{L"ТЕК_SHP", L"main.shp", at("db/main.shp"), 2},
                                 {L"ТЕК_SHP", L"arch/main.shp", at("db/main.shp"), 2},
                                 {at("db"), L"x.dbf", at("db/x.dbf"), 3},
                                 {at("db"), L"y.dbf", at("db/y.dbf"), 1},
                                 {at("db"), L"x.dbf", at("db/x.dbf"), 3},
                                 {at("db"), L"old/x.dbf", at("db/x.dbf"), 3},
                                 {root.wpath(), L"отчёты/Отчёт за май.txt", at("Отчёт за май.txt"), 1}}));
}

// A group or file is left out when every one of its components is excluded
// (names compared exactly); one with no components never is.
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
        Paths out;
        for (const auto& r : records) out.push_back(r.rel_path);
        return out;
    };
    EXPECT_EQ(paths(gather({L"reports"})), (Paths{L"b/2.txt", L"c/3.txt", L"d/4.txt", L"x.dbf"}));
    EXPECT_EQ(paths(gather({L"reports", L"archive"})), (Paths{L"c/3.txt", L"d/4.txt", L"x.dbf"}));
    EXPECT_EQ(paths(gather()).size(), 6u);
}

// The reference count says how many records name one file, so that restore
// knows a copy is still needed after the first record has been put back.
// Names differing only in case are two files, counted apart.
TEST_F(GatherFiles, AFileReachedTwiceCountsTwiceAndIsArchivedOnce) {
    make_tree(root.path(), {"db/main.shp", "db/x.dbf", "db/X.dbf", "db/y.dbf"});
    settings.file_groups = {group(L"ДИР_БАЗЫ", L"", L"*.shp; *.dbf"), group(L"ТЕК_ДИР", L"db", L"x.dbf")};
    // The host may spell a location's path loosely; it is still the same file.
    locations[0].path = root.wpath() + L"/db/../db//main.shp";
    settings.single_files = {single(L"ТЕК_SHP")};
    const Records records = gather();
    EXPECT_EQ(records, (Records{{L"ДИР_БАЗЫ", L"main.shp", at("db/main.shp"), 2},
                                {L"ДИР_БАЗЫ", L"X.dbf", at("db/X.dbf"), 2},
                                {L"ДИР_БАЗЫ", L"x.dbf", at("db/x.dbf"), 2},
                                {L"ДИР_БАЗЫ", L"y.dbf", at("db/y.dbf"), 1},
                                {L"ТЕК_ДИР", L"db/X.dbf", at("db/X.dbf"), 2},
                                {L"ТЕК_ДИР", L"db/x.dbf", at("db/x.dbf"), 2},
                                {L"ТЕК_SHP", L"main.shp", locations[0].path, 2}}));
    EXPECT_EQ(bk::unique_paths(records), (Paths{at("db/main.shp"), at("db/X.dbf"), at("db/x.dbf"), at("db/y.dbf")}));
}

// Texts 20132 to 20134 with the bar hidden; each is preceded by a cancel
// check, and a cancel request ends the gathering with task_canceled.
TEST_F(GatherFiles, StatusTextsReachTheTaskAndACancelEndsTheGathering) {
    make_tree(root.path(), {"data/a.txt", "data/sub/b.txt", "db/main.shp"});
    settings.file_groups = {group(L"ТЕК_ДИР", L"data", L"", true), group(L"ДИР_БАЗЫ", L"", L"")};
    settings.single_files = {single(L"ТЕК_SHP")};
    bktest::ScriptedStatus status;
    EXPECT_EQ(gather({}, &status).size(), 4u);
    std::vector<bk::TaskStatus> expected;
    for (const std::wstring& text : Paths{L"Поиск файлов...", L"Поиск файлов в папке:\n" + at("data"),
                                          L"Поиск файлов в папке:\n" + at("data/sub"),
                                          L"Обработка исключений для файлов...", L"Поиск файлов...",
                                          L"Поиск файлов в папке:\n" + at("db"), L"Обработка исключений для файлов..."})
        expected.push_back({text, -1});
    EXPECT_EQ(status.statuses(), expected);
    for (size_t at = 0; at < expected.size(); ++at) {
        bktest::ScriptedStatus canceling;
        if (at == 0) canceling.cancel();
        else canceling.cancel_after_updates(static_cast<int>(at));
        EXPECT_THROW(gather({}, &canceling), bk::task_canceled) << at;
        EXPECT_EQ(canceling.statuses().size(), at);
    }
}

TEST_F(GatherFiles, PathAndMaskErrorsEndTheGathering) {
    make_tree(root.path(), {"data/a.txt"});
    const auto failure = [&] { return bktest::error_of([&] { gather(); }); };
    settings.file_groups = {group(L"ТЕК_ДИР", L"data", L"*.txt; dat?\\*.txt")};
    EXPECT_EQ(failure(), "invalid mask: dat?/*.txt");
    // A basic folder the host gave as empty, with no relative path: there is
    // no folder to search, and the user is told which paths failed.
    folders.push_back({L"ДИР_ФИЛЬТРОВ", L""});
    settings.file_groups = {group(L"ДИР_ФИЛЬТРОВ", L"", L"")};
    EXPECT_TRUE(failure().starts_with("Невозможно получить полный путь.")) << failure();
}

}  // namespace
