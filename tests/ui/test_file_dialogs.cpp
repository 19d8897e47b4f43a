// The editors of file groups, single files and components, as a user meets
// them: where an item lies on disk, which masks and identifiers are refused,
// and which component may be removed.
#include <QtTest>
#include <QtWidgets>

#include "core/string_table.h"
#include "support/temp_dir.h"
#include "ui/component_dlg.h"
#include "ui/file_group_dlg.h"
#include "ui/modal.h"

namespace {

using namespace bk;
using namespace uitest;

class FileDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() { start_application(); }
    void SetUp() override { bktest::write_file(dir / "root/base/demo.shp", "db"); }

    bktest::TempDir dir;
    std::wstring root = (dir / "root").wstring();
    BasicFolders folders{{L"ТЕК_ДИР", root}, {L"ТЕК_SHP_ДИР", root + L"/base"}};
    FileLocations locations{{L"ТЕК_SHP", L"ТЕК_SHP_ДИР", root + L"/base/demo.shp"}};
    std::vector<Component> defined{{L"base", L"База"}, {L"docs", L"Документы"}};
};

QString text_of(QWidget* w, const char* id) { return child<QLineEdit>(w, id)->text(); }
bool enabled(QWidget* w, const char* id) { return child<QWidget>(w, id)->isEnabled(); }

TEST_F(FileDialogs, AGroupIsTakenOnlyWhereItsFolderExistsAndWithUsableMasks) {
    ui::CFileGroupDlg dlg(nullptr, true, folders, {}, FileGroup{L"ТЕК_SHP_ДИР", L"", L"", L"", L"", 0, L"", {}});
    auto* combo = child<QComboBox>(&dlg, "11029");
    EXPECT_EQ(text_of(&dlg, "11033").toStdWString(), root + L"/base");
    combo->setCurrentIndex(0);  // "ТЕК_ДИР", no relative path: the root folder itself
    EXPECT_EQ(std::make_tuple(text_of(&dlg, "11033").toStdWString(), enabled(&dlg, "1"), enabled(&dlg, "11031")),
              std::make_tuple(root, true, true));
    child<QLineEdit>(&dlg, "11030")->setText("missing");
    EXPECT_EQ(std::make_tuple(text_of(&dlg, "11033"), enabled(&dlg, "1"), enabled(&dlg, "11031")),
              std::make_tuple(QString("<не существует>"), false, false));
    EXPECT_EQ(std::make_tuple(text_of(&dlg, "11034"), enabled(&dlg, "11035")),
              std::make_tuple(QString("<компоненты не используются: сохранять всегда>"), false));

    child<QLineEdit>(&dlg, "11030")->setText("base");
    child<QCheckBox>(&dlg, "11032")->setChecked(true);
    const std::wstring list = L"*.txt; da*/x.dbf";
    child<QLineEdit>(&dlg, "11027")->setText(QString::fromStdWString(list));
    {
        ModalScript script;
        script.then("QMessageBox", [&](QWidget* box) {
            EXPECT_EQ(static_cast<QMessageBox*>(box)->text().toStdWString(),
                      format_string(ids::INVALID_MASK_IN_LIST, {L"da*/x.dbf", list}));
            EXPECT_EQ(box->windowTitle(), "Новая группа файлов");
            return click(box, "1");
        });
        child<QPushButton>(&dlg, "1")->click();
    }
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    child<QLineEdit>(&dlg, "11027")->setText("*.txt; data/*.dbf");
    child<QPushButton>(&dlg, "1")->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.group(), (FileGroup{L"ТЕК_ДИР", L"base", L"*.txt; data/*.dbf", L"", L"", GROUP_RECURSIVE, L"", {}}));
}

TEST_F(FileDialogs, ASingleFileMacroResolvesToTheDatabaseFileAndItsComponentsAreTicked) {
    ui::CSingleFileDlg dlg(nullptr, false, folders, locations, defined, SingleFile{L"ТЕК_SHP", L"", L"", {L"docs"}});
    EXPECT_EQ(std::make_tuple(text_of(&dlg, "11033").toStdWString(), enabled(&dlg, "1"), text_of(&dlg, "11034")),
              std::make_tuple(root + L"/base/demo.shp", true, QString("Документы")));
    {
        ModalScript script;
        script.then("10020", [](QWidget* w) {
            child<QTreeWidget>(w, "11034")->topLevelItem(0)->setCheckState(0, Qt::Checked);
            return click(w, "1");
        });
        child<QPushButton>(&dlg, "11035")->click();
    }
    EXPECT_EQ(text_of(&dlg, "11034"), "База, Документы");
    child<QComboBox>(&dlg, "11029")->setEditText("base");  // a folder is not a file
    EXPECT_EQ(std::make_tuple(text_of(&dlg, "11033"), enabled(&dlg, "1")),
              std::make_tuple(QString("<не существует>"), false));
    child<QComboBox>(&dlg, "11029")->setEditText("base/demo.shp");
    child<QPushButton>(&dlg, "1")->click();
    EXPECT_EQ(dlg.file(), (SingleFile{L"base/demo.shp", L"", L"", {L"base", L"docs"}}));
}

TEST_F(FileDialogs, AComponentIdentifierIsOneWordOfItsOwn) {
    ui::CComponentDlg add(nullptr, defined, L"", L"");
    auto* id = child<QLineEdit>(&add, "11062");
    auto* text = child<QLineEdit>(&add, "11063");
    const auto ok = [&](const char* identifier) { return id->setText(identifier), enabled(&add, "1"); };
    EXPECT_FALSE(ok("my_comp"));  // no text yet
    text->setText("Мой");
    for (const char* bad : {"", "my comp", "a,b", "a;b", "it's", "a\"b", "a\tb", "base"}) EXPECT_FALSE(ok(bad)) << bad;
    EXPECT_TRUE(ok("my_comp"));
    EXPECT_TRUE(ok("Base"));  // identifiers differ by case
    text->clear();
    EXPECT_FALSE(enabled(&add, "1"));

    ui::CComponentDlg edit(nullptr, defined, L"base", L"База");
    EXPECT_TRUE(enabled(&edit, "1") && child<QLineEdit>(&edit, "11062")->isReadOnly());
    child<QLineEdit>(&edit, "11063")->setText("Базы");
    child<QPushButton>(&edit, "1")->click();
    EXPECT_EQ(edit.identifier() + L"=" + edit.text(), L"base=Базы");
}

TEST_F(FileDialogs, AComponentInUseStaysUntilNoGroupNamesIt) {
    std::vector<FileGroup> groups{{L"ТЕК_ДИР", L"", L"", L"", L"", 0, L"", {L"base"}}};
    const auto delete_row = [](ui::CCompListDlg& dlg, int row) {
        auto* list = child<QTreeWidget>(&dlg, "11034");
        list->setCurrentItem(list->topLevelItem(row));
        const bool possible = dlg.findChild<QAction*>("10503")->isEnabled();
        return dlg.findChild<QAction*>("10503")->trigger(), possible;
    };
    ui::CCompListDlg in_use(nullptr, groups, {}, defined);
    EXPECT_FALSE(delete_row(in_use, 0));
    EXPECT_EQ(in_use.components(), defined);
    in_use.findChild<QAction*>("32771")->trigger();  // row 0 is selected: nowhere to go up
    EXPECT_EQ(in_use.components(), defined);
    child<QTreeWidget>(&in_use, "11034")->setCurrentItem(child<QTreeWidget>(&in_use, "11034")->topLevelItem(1));
    in_use.findChild<QAction*>("32771")->trigger();
    EXPECT_EQ(child<QTreeWidget>(&in_use, "11034")->currentItem()->text(0), "docs");
    EXPECT_FALSE(in_use.findChild<QAction*>("32771")->isEnabled());
    {
        ModalScript script;
        script.then("10023", [](QWidget* w) {
            child<QLineEdit>(w, "11062")->setText("misc"), child<QLineEdit>(w, "11063")->setText("Прочее");
            return click(w, "1");
        });
        in_use.findChild<QAction*>("10501")->trigger();
    }
    EXPECT_EQ(in_use.components(), (std::vector<Component>{defined[1], defined[0], {L"misc", L"Прочее"}}));

    groups[0].components.clear();
    ui::CCompListDlg dropped(nullptr, groups, {}, defined);
    EXPECT_TRUE(delete_row(dropped, 0));
    EXPECT_EQ(dropped.components(), std::vector<Component>{defined[1]});
}

}  // namespace
