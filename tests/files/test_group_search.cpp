#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "app/string_table.h"
#include "files/gather.h"
#include "files/gather_test_util.h"
#include "support/temp_dir.h"

using namespace filestest;
using Paths = std::vector<std::wstring>;

namespace {

class GroupSearch : public ::testing::Test {
protected:
    Paths search(const std::wstring& include, const std::wstring& exclude, bool recursive,
                 bk::IFileGatheringStatus* status = nullptr) {
        return below(dir.path(), bk::gather_group_files(dir.wpath(), include, exclude, recursive, status));
    }
    void make(const std::vector<std::string>& names) { make_tree(dir.path(), names); }

    bktest::TempDir dir;
};

}  // namespace

TEST_F(GroupSearch, IncludeAndExcludeMasksInOneFolder) {
    make({"a.txt", "old1.txt", "b.ini", "Upper.TXT", "sub/c.txt"});
    EXPECT_EQ(search(L"*.txt", L"old*.txt", false), (Paths{L"a.txt", L"Upper.TXT"}));
    // Wildcard masks ignore case, also in exclusions.
    EXPECT_EQ(search(L"*.TXT", L"OLD*", false), (Paths{L"a.txt", L"Upper.TXT"}));
    EXPECT_EQ(search(L"*.ini; *.txt", L"", false), (Paths{L"a.txt", L"b.ini", L"old1.txt", L"Upper.TXT"}));
    EXPECT_EQ(search(L"b.ini", L"", false), (Paths{L"b.ini"}));
    EXPECT_EQ(search(L"*.nothing", L"", false), (Paths{}));
}

TEST_F(GroupSearch, AnEmptyIncludeListTakesEveryFile) {
    make({"README", "a.b.c", ".hidden", "sub/deeper.txt"});
    const Paths every{L".hidden", L"a.b.c", L"README"};
    EXPECT_EQ(search(L"", L"", false), every);
    EXPECT_EQ(search(L" ; ,", L"", false), every);
    EXPECT_EQ(search(L"*.*", L"", false), every);
    EXPECT_EQ(search(L"", L"", true), (Paths{L".hidden", L"a.b.c", L"README", L"sub/deeper.txt"}));
}

TEST_F(GroupSearch, ExcludedNameSkipsSubfoldersDirectlyBelowAndDropsFilesOfThatName) {
    make({"a.txt", "tmp/x.txt", "TMP/y.txt", "sub/tmp/z.txt", "sub/tmp2.txt", "deep/tmp", "deep/keep.txt"});
    EXPECT_EQ(search(L"", L"tmp", true), (Paths{L"a.txt", L"deep/keep.txt", L"sub/tmp/z.txt", L"sub/tmp2.txt"}));
    // Without recursion only the folder itself is searched.
    EXPECT_EQ(search(L"", L"tmp", false), (Paths{L"a.txt"}));
}

TEST_F(GroupSearch, ExcludedPatternsMatchFolderNamesWithCaseButFileNamesWithout) {
    make({"Temp1/a.txt", "TEMP2/b.txt", "temp3.txt", "Tempest.txt", "keep.txt"});
    EXPECT_EQ(search(L"", L"Temp*", true), (Paths{L"keep.txt", L"TEMP2/b.txt"}));
    // "*" as the excluded name leaves every subfolder of the group out.
    EXPECT_EQ(search(L"", L"*", true), (Paths{}));
    EXPECT_EQ(search(L"*.txt", L"x; *", true), (Paths{}));
}

TEST_F(GroupSearch, ExcludeMaskWithFolderPartWorksBelowThatFolder) {
    make({"a.log", "keep.txt", "sub/b.log", "sub/keep.txt", "sub/deep/c.log", "sub/deep/d.txt", "sub/x.log/e.txt",
          "other/x.log/f.txt"});
    EXPECT_EQ(search(L"", L"sub\\*.log", true),
              (Paths{L"a.log", L"keep.txt", L"other/x.log/f.txt", L"sub/deep/d.txt", L"sub/keep.txt"}));
}

TEST_F(GroupSearch, IncludeMaskWithFolderPartSearchesThatFolder) {
    bktest::TempDir elsewhere;
    make_tree(elsewhere.path(), {"e.ini", "x.txt"});
    make({"a.dbf", "data/b.dbf", "data/x/c.dbf", "data/x/c.txt"});
    EXPECT_EQ(search(L"data\\*.dbf", L"", true), (Paths{L"data/b.dbf", L"data/x/c.dbf"}));
    EXPECT_EQ(search(L"data/*.dbf", L"", false), (Paths{L"data/b.dbf"}));
    EXPECT_EQ(search(L"data\\..\\*.dbf", L"", false), (Paths{L"a.dbf"}));
    // An absolute folder part leaves the group's folder.
    Paths found = search(wide(elsewhere / "*.ini") + L";*.dbf", L"", false);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (Paths{wide(elsewhere / "e.ini"), L"a.dbf"}));
}

TEST_F(GroupSearch, InvalidMaskEndsTheSearch) {
    make({"a.dbf"});
    try {
        search(L"*.dbf", L"dat?\\*.dbf", true);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "invalid mask: dat?/*.dbf");
    }
    EXPECT_THROW(search(L"data\\", L"", false), std::runtime_error);
}

// Linux keeps "A.txt" and "a.txt" apart: both are saved. The order is the
// upper-cased path first, then the exact one.
TEST_F(GroupSearch, NamesDifferingOnlyInCaseAreAllKeptInAFixedOrder) {
    make({"a.txt", "A.txt", "b.txt", "B.txt", "a b.txt", "a-b.txt", "я.txt", "Я.txt", "ё.txt", "Ж.txt",
          "sub/x.txt", "SUB/X.txt", "SUB/y.txt", "sub/Y.txt", "a/f.txt", "a b/f.txt"});
    const Paths expected{L"a b.txt",   L"a b/f.txt", L"a-b.txt", L"A.txt", L"a.txt", L"a/f.txt",
                         L"B.txt",     L"b.txt",     L"SUB/X.txt", L"sub/x.txt", L"SUB/y.txt", L"sub/Y.txt",
                         L"ё.txt",     L"Ж.txt",     L"Я.txt",   L"я.txt"};
    EXPECT_EQ(search(L"", L"", true), expected);
    // Two include masks reaching the same files merge into the same order, once each.
    EXPECT_EQ(search(L"*.txt; *; a*", L"", true), expected);
}

TEST_F(GroupSearch, PathOrderIsUpperCaseFirstThenExact) {
    EXPECT_TRUE(bk::path_less(L"/a/B", L"/a/c"));
    EXPECT_TRUE(bk::path_less(L"/a/b", L"/a/C"));
    EXPECT_TRUE(bk::path_less(L"/a/B", L"/a/b"));
    EXPECT_FALSE(bk::path_less(L"/a/b", L"/a/B"));
    EXPECT_FALSE(bk::path_less(L"/a/b", L"/a/b"));
    EXPECT_TRUE(bk::path_less(L"/a", L"/a/b"));
    EXPECT_TRUE(bk::path_less(L"/a.txt", L"/a/f"));
    EXPECT_TRUE(bk::path_less(L"/ж", L"/Я"));
}

// Order checked against a plain sort of the same paths on trees with many
// names that sort differently by case, punctuation and alphabet: once with
// folders that differ only in case (their files interleave) and once without.
TEST_F(GroupSearch, WalkOrderMatchesSortingThePaths) {
    const std::vector<std::string> files{"a", "A", "a b", "a-b", "a.b", "a_b", "Б", "б", "z", "Z1", "_", "~", "a.B"};
    const std::vector<std::vector<std::string>> folder_sets{
        {"a", "a b", "a-b", "a.b", "a_b", "б", "Z", "z1", "_", "~", "a.b.c"},
        {"a", "A", "a b", "Б", "б", "z", "Z1"}};
    for (const auto& folders : folder_sets) {
        bktest::TempDir tree;
        std::vector<std::string> names;
        for (const auto& d : folders)
            for (const auto& f : files) names.push_back(d + "/" + f + ".x");
        for (const auto& f : files) names.push_back(f + ".f");
        make_tree(tree.path(), names);
        const Paths found = bk::gather_group_files(tree.wpath(), L"", L"", true, nullptr);
        Paths sorted = found;
        std::sort(sorted.begin(), sorted.end(), bk::path_less);
        EXPECT_EQ(found, sorted);
        EXPECT_EQ(found.size(), names.size());
    }
}

// A link to a file is saved as the file it points to, under the link's name;
// a link to a folder is never entered, so loops end and nothing outside the
// group's folder is reached through one.
TEST_F(GroupSearch, SymbolicLinks) {
    bktest::TempDir outside;
    make_tree(outside.path(), {"outside.txt", "folder/hidden.txt"});
    make({"real.txt", "sub/a.txt"});
    fs::create_symlink("real.txt", dir / "link_to_real");
    fs::create_symlink(outside / "outside.txt", dir / "link_out");
    fs::create_symlink("missing.txt", dir / "dangling");
    fs::create_symlink(".", dir / "loop");
    fs::create_symlink("..", dir / "sub/up");
    fs::create_symlink(outside / "folder", dir / "link_folder");
    ASSERT_EQ(::mkfifo((outside / "fifo").c_str(), 0600), 0);
    fs::create_symlink(outside / "fifo", dir / "link_to_fifo");
    EXPECT_EQ(search(L"", L"", true), (Paths{L"link_out", L"link_to_real", L"real.txt", L"sub/a.txt"}));

    // A group whose own folder is reached through a link is searched.
    fs::create_symlink(dir.path(), outside / "group_link");
    EXPECT_EQ(below(outside / "group_link", bk::gather_group_files(wide(outside / "group_link"), L"*.txt", L"", true, nullptr)),
              (Paths{L"real.txt", L"sub/a.txt"}));
}

// Names the path layer cannot address (it takes "\" for a separator, and
// bytes that are not UTF-8 do not survive the round trip) are left out.
TEST_F(GroupSearch, NamesThatCannotBeAddressedAreLeftOut) {
    make({"ok.txt"});
    std::ofstream(dir.path() / "back\\slash.txt") << "x";
    std::ofstream(dir.path() / "bad\xff.txt") << "x";
    fs::create_directory(dir.path() / "bad\xfe");
    std::ofstream(dir.path() / "bad\xfe" / "inner.txt") << "x";
    EXPECT_EQ(search(L"", L"", true), (Paths{L"ok.txt"}));
}

TEST_F(GroupSearch, StatusTextsAndTheirOrder) {
    make({"a.txt", "sub/b.txt"});
    RecordingStatus status;
    bk::gather_status_adapter_ adapter(&status);
    search(L"", L"", true, &adapter);
    adapter.refresh();
    const std::wstring folder = bk::load_string(bk::ids::STATUS_SEARCHING_FOLDER) + L"\n";
    ASSERT_EQ(status.shown.size(), 5u);
    EXPECT_EQ(status.shown[0].text, L"Поиск файлов...");
    EXPECT_EQ(status.shown[1].text, L"Поиск файлов в папке:\n" + dir.wpath());
    EXPECT_EQ(status.shown[2].text, folder + wide(dir / "sub"));
    EXPECT_EQ(status.shown[3].text, L"Обработка исключений для файлов...");
    EXPECT_EQ(status.shown[4].text, L"");
    for (const auto& s : status.shown) EXPECT_EQ(s.progress, -1);

    // Without a task's status the adapter shows nothing and never cancels.
    bk::gather_status_adapter_ silent(nullptr);
    EXPECT_EQ(search(L"", L"", true, &silent), (Paths{L"a.txt", L"sub/b.txt"}));
}

TEST_F(GroupSearch, CancelRequestStopsTheSearchBeforeTheNextText) {
    make({"a.txt", "sub/b.txt", "sub/deeper/c.txt"});
    for (int at = 0; at < 4; ++at) {
        RecordingStatus status(at);
        bk::gather_status_adapter_ adapter(&status);
        EXPECT_THROW(search(L"", L"", true, &adapter), bk::task_canceled) << at;
        EXPECT_EQ(status.shown.size(), static_cast<size_t>(at)) << "the cancel is checked before the text";
    }
}
