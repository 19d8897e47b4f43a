// The Qt dialogs as a host meets them: libvardobk.so driven through its
// exports on the offscreen platform, its windows found by their ids and
// answered as a user would.
#include <QtTest>
#include <QtWidgets>

#include "app/test_host.h"
#include "support/archives.h"
#include "settings/settings_file.h"
#include "ui/fn_templ_dlg.h"
#include "ui/modal.h"

namespace {

using namespace cmdtest;
using namespace uitest;
using Script = ModalScript;

std::vector<std::string> help_asked;
void BK_CALL on_help(const char* key) { help_asked.push_back(key); }

bool drop(QWidget* w, const std::wstring& file) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdWString(file))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    return QApplication::sendEvent(w, &enter), QApplication::sendEvent(w, &event), true;
}
Script::Action press(const char* id) { return [=](QWidget* w) { return click(w, id); }; }
Script::Action box_says(const std::wstring& text, const char* answer) {
    return [=](QWidget* w) {
        EXPECT_EQ(static_cast<QMessageBox*>(w)->text().toStdWString(), text);
        return click(w, answer);
    };
}

class Dialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {  // the module uses the process's application object
        static int argc = 1;
        static char name[] = "test_ui", *argv[] = {name, nullptr};
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
    void SetUp() override { window.show(); }  // the host's main window, known to the module by its native id
    // bkDispatch while the script answers the windows; the module's first message.
    std::pair<uint32_t, std::string> run(int32_t command, const Script&, uint32_t flags = BKF_INTERACTIVE) {
        const uint32_t result =
            bkDispatch(command, reinterpret_cast<void*>(window.winId()), flags, TestHost::callback(), on_help);
        std::string text(256, '\0');
        text.resize(static_cast<size_t>(std::max(0, bkLastError(0, text.data(), 256))));
        return {result, text};
    }

    TestHost host;
    QWidget window;
};
using Result = std::pair<uint32_t, std::string>;

TEST_F(Dialogs, TheBackupDialogsChoicesReachTheCatalogueAndTheArchive) {
    auto settings = host.standard_settings();
    settings.default_keeptime = 14;  // no choice has it: it stands in the edit field
    settings.file_groups[1].components.clear();  // no component in use: no list at all
    host.save(settings);
    int height_without_list = 0;
    EXPECT_EQ(run(BK_CMD_BACKUP, Script().then("10002", [&](QWidget* w) {
        auto* combo = child<QComboBox>(w, "11001");
        auto* ok = child<QPushButton>(w, "1");
        EXPECT_EQ(std::make_tuple(w->parentWidget(), combo->currentIndex(), combo->currentText(), ok->isEnabled()),
                  std::make_tuple(&window, -1, QString("14"), true));
        EXPECT_TRUE(child<QTreeWidget>(w, "11034")->isHidden());
        height_without_list = w->height();
        QTest::keyClick(w, Qt::Key_F1);
        for (const char* typed : {"abc", "", "99999999999"})
            EXPECT_FALSE((combo->setEditText(typed), ok->isEnabled())) << typed;
        child<QCheckBox>(w, "11002")->click();
        EXPECT_TRUE(ok->isEnabled() && !combo->isEnabled() && combo->currentText().isEmpty());
        return click(w, "2");
    })), Result(BK_NOT_DONE, ""));
    EXPECT_TRUE(host.archives().empty() && host.catalogue().empty());
    EXPECT_EQ(help_asked, std::vector<std::string>{"h8.bk.dlg.backup"});

    settings = host.standard_settings();  // kept forever unless "Вечно" is cleared; a medium that is no folder
    settings.options |= bk::OPT_REMOVABLE | bk::OPT_ASK_REMOVABLE;
    settings.removable_path = wide(host.root() / "docs/readme.txt/copies");
    host.save(settings);
    EXPECT_EQ(run(BK_CMD_BACKUP, Script().then("10002", [&](QWidget* w) {
        auto* row = child<QTreeWidget>(w, "11034")->topLevelItem(0);  // the one component files belong to
        EXPECT_EQ(std::make_tuple(row->text(0), row->checkState(0), w->height() > height_without_list),
                  std::make_tuple(QString("Документы"), Qt::Checked, true));
        row->setCheckState(0, Qt::Unchecked);
        child<QLineEdit>(w, "11000")->setText("перед отчётом");
        child<QCheckBox>(w, "11002")->click();
        child<QComboBox>(w, "11001")->setEditText("45");
        return click(w, "1");
    }).then("QMessageBox", [](QWidget* w) {  // the worker's question, a box of the progress window
        EXPECT_EQ(std::make_tuple(w->parentWidget()->objectName(), w->windowTitle()),
                  std::make_tuple(QString("10016"), QString("Резервное копирование")));
        return click(w, "2");  // no copy on the medium, the backup is made all the same
    })), Result(BK_DONE, ""));
    EXPECT_EQ(std::tie(host.catalogue().at(0).keeptime, host.catalogue()[0].comment),
              std::make_tuple(45, std::wstring(L"перед отчётом")));
    std::string entries;
    for (const auto& entry : bktest::archive_entries(host.last_archive())) entries += entry + ";";
    EXPECT_TRUE(entries.find("a.dbf;") != entries.npos && entries.find("readme") == entries.npos) << entries;
}

TEST_F(Dialogs, TheProgressWindowShowsASlowBackupAndOnlyItsCancelStopsIt) {
    // An archiver that shows a percentage and sleeps before it saves the
    // files of a list (the manifests before them go at once).
    const fs::path slow = host.root() / "slow";
    bktest::write_file(slow / "7z", "#!/bin/sh\ncase \"$*\" in *' @'*) printf ' 37%% 2 + a.dbf'; sleep 20;;"
                                    " esac\nexec 7z \"$@\"\n");
    fs::permissions(slow / "7z", fs::perms::owner_all);
    auto settings = host.standard_settings();
    settings.archiver.exe_path = wide(slow);
    host.save(settings);
    const QString status = QString::fromStdWString(bk::load_string(bk::ids::STATUS_COMPRESSING)) + "\na.dbf\n37%";
    const auto watch = [&](QWidget* w) {
        auto* bar = child<QProgressBar>(w, "11041");
        if (bar->isHidden()) return false;  // until the archiver's percentage arrives
        EXPECT_EQ(std::make_tuple(child<QLabel>(w, "11038")->text(), child<QLabel>(w, "11039")->text(), bar->value()),
                  std::make_tuple(QString("Выполняется создание резервной копии..."), status, 37));
        QTest::keyClick(w, Qt::Key_Escape), QTest::keyClick(w, Qt::Key_Return);
        return w->close(), true;
    };  // and the window is still there for its "Отмена"
    EXPECT_EQ(run(BK_CMD_BACKUP, Script().then("10002", press("1")).then("10016", watch).then("10016", press("11065"))),
              Result(BK_NOT_DONE, ""));
    EXPECT_TRUE(host.archives().empty() && host.catalogue().empty());
}

TEST_F(Dialogs, TheRestoreDialogOffersTheCatalogueAndAnyOtherArchive) {
    for (int i = 0; i < 2; ++i) host.backup();
    // Expired three days ago, kept forever, made today: the last one is offered.
    bk::Catalogue records = host.catalogue();
    records.push_back(records[0]), records[1].keeptime = bk::KEEP_FOREVER;
    records[0].time -= rkit::time_period(3, 0, 0), records[0].keeptime = 1;
    records[2].time = rkit::clock::now(), records[2].keeptime = 30;
    bk::write_catalogue(bk::catalogue_path(wide(host.backup_folder())), records);
    host.damage_data();
    const auto standard = host.params;
    const auto archive = [&](int i) { return wide(host.backup_folder()) + L"/" + records[i].filename; };
    const auto done = [&](int i) {
        return box_says(bk::format_string(bk::ids::RESTORE_DONE, {records[i].filename}), "1");
    };
    EXPECT_EQ(run(BK_CMD_RESTORE, Script().then("10003", [&](QWidget* w) {
        auto* list = child<QTreeWidget>(w, "11003");
        auto* ok = child<QPushButton>(w, "1");
        const char* keep_texts[] = {"1 дней (истек)", "вечно", "30 дней"};
        for (int row = 0; row < 3; ++row) {
            const auto* item = list->topLevelItem(row);
            EXPECT_EQ(std::make_tuple(item->text(1).toStdWString(), item->text(2), item->text(3)),
                      std::make_tuple(bk::creation_time_text(records[row]), QString(keep_texts[row]), QString("3")));
        }
        EXPECT_EQ(list->topLevelItem(3)->text(0), "<выбрать другой...>");
        EXPECT_TRUE(list->currentItem() == list->topLevelItem(2) && ok->isEnabled());
        list->clearSelection();
        EXPECT_FALSE(ok->isEnabled());
        list->setCurrentItem(list->topLevelItem(1));
        return click(w, "1");
    }).then("QMessageBox", done(1))), Result(BK_DONE, ""));
    EXPECT_TRUE(host.data_intact());
    // Another file through the file dialog, canceled once and then typed; the
    // version question that follows is answered Cancel.
    host.params["ver_type"] = "8.2";
    const auto version = bk::format_string(bk::ids::VERSION_MISMATCH, {L"8.2 (ПРОФ)", L"8.1 (ПРОФ)"});
    const auto pick_other = [](QWidget* w) {
        auto* list = child<QTreeWidget>(w, "11003");
        return list->setCurrentItem(list->topLevelItem(3)), click(w, "1");
    };
    const auto cancel = [](QWidget* w) { return static_cast<QDialog*>(w)->reject(), true; };
    const auto type_other = [&](QWidget* w) {
        auto* files = static_cast<QFileDialog*>(w);
        EXPECT_EQ(std::make_tuple(files->nameFilters(), files->directory().absolutePath().toStdWString()),
                  std::make_tuple(QStringList({"Архивы 7z (*.7z)", "Все файлы (*)"}), wide(host.backup_folder())));
        child<QLineEdit>(w, "fileNameEdit")->setText(QString::fromStdWString(archive(1)));
        return QMetaObject::invokeMethod(w, "accept");
    };
    EXPECT_EQ(run(BK_CMD_RESTORE, Script().then("10003", pick_other).then("QFileDialog", cancel)
                                      .then("10003", pick_other).then("QFileDialog", type_other)
                                      .then("QMessageBox", box_says(version, "2"))),
              Result(BK_NOT_DONE, ""));
    // A dropped archive (another extension is ignored); both questions answered OK.
    host.params["shp_path"] = (host.root() / "base/other.shp").string();
    const auto other_db = bk::format_string(bk::ids::DATABASE_MISMATCH, {L"other.shp", L"demo.shp"});
    const auto drop_text = [&](QWidget* w) { return drop(w, wide(host.root() / "docs/readme.txt")); };
    const auto drop_first = [&](QWidget* w) { return drop(w, archive(0)); };
    EXPECT_EQ(run(BK_CMD_RESTORE, Script().then("10003", drop_text).then("10003", drop_first)
                                      .then("QMessageBox", box_says(version, "1"))
                                      .then("QMessageBox", box_says(other_db, "1")).then("QMessageBox", done(0))),
              Result(BK_DONE, ""));
    // What cannot be put back is listed, also when the archive was not chosen.
    host.params = standard;
    fs::remove_all(host.root() / "data/sub");
    host.write("data/sub", "in the way");
    EXPECT_EQ(run(BK_CMD_RESTORE, Script().then("10018", [&](QWidget* w) {
        EXPECT_EQ(child<QLabel>(w, "11052")->text().toStdWString(),
                  bk::format_string(bk::ids::RESTORE_PROBLEMS, {records[2].filename}));
        auto* list = child<QTreeWidget>(w, "11051");
        EXPECT_EQ(std::make_tuple(list->topLevelItemCount(), list->topLevelItem(0)->text(0).toStdWString()),
                  std::make_tuple(1, wide(host.root() / "data/sub/c.dbf")));
        return click(w, "1");
    }), 0), Result(BK_DONE, ""));
}

// The sheet over a file written by hand: every page shows what the file
// holds, and what is edited on every page is what the file holds after OK.
TEST_F(Dialogs, TheSettingsSheetShowsTheFileOnEveryPageAndSavesEveryEdit) {
    host.write("backup_config.xml", R"(<?xml version="1.0"?><root><backup_folder node_value="копии"/>
<removable_path node_value="/media/flash"/><cloud_settings service="custom" url="https://dav.example/b" login="buh"
 password="p" eternal_only="1"/><filename_template node_value="buh_%DATE%"/><expired_limit node_value="4"/>
<default_keeptime node_value="30"/><file_groups><group basic_folder="ТЕК_ДИР" relative_path="data"
 include_mask="*.dbf" exclude_mask="" flags="R" comment="Таблицы"/></file_groups><single_files><file path="ТЕК_SHP"
 comment=""/></single_files><components><component name="docs" display_text="Документы"/></components>
<enter_param comment="Вход" keeptime="7" once_a_day="1" db_exclusive_access="0"><excl_comp><item0 node_value="docs"/>
</excl_comp></enter_param><save_hour node_value="18"/><options node_value="RCT"/><include_permission><workplaces>
<item0 node_value="1"/><item1 node_value="2"/></workplaces></include_permission><archiver_settings archiver="2"
 compress_level="3" exe_path="" common_options="-y" compress_options="" extract_options="" password="secret"/></root>)");
    const auto text = [](QWidget* w, const char* id) { return child<QLineEdit>(w, id)->text(); };
    help_asked.clear();
    EXPECT_EQ(run(BK_CMD_SETTINGS, Script().then("setup_sheet", [&](QWidget* w) {
        auto* tabs = w->findChild<QTabWidget*>();
        QStringList pages;
        for (int i = 0; i < tabs->count(); ++i) pages << tabs->widget(i)->objectName();
        EXPECT_EQ(pages, QStringList({"10001", "10033", "10004", "10024", "10005", "10017"}));
        auto* list = child<QTreeWidget>(w, "11019");
        EXPECT_EQ(std::make_tuple(text(w, "11005"), child<QComboBox>(w, "11008")->currentText(),
                                  child<QCheckBox>(w, "11014")->isChecked(), text(w, "11011"), list->topLevelItemCount()),
                  std::make_tuple(QString("копии"), QString("/media/flash"), true, QString("buh_%DATE%"), 3));
        EXPECT_EQ(QStringList({list->topLevelItem(0)->text(0), list->topLevelItem(0)->text(2),
                               list->topLevelItem(1)->text(0), list->topLevelItem(2)->text(0)}),
                  QStringList({QString::fromStdString((host.root() / "data/*").string()), "<никакие>", "ТЕК_SHP",
                               "<добавить...>"}));
        child<QLineEdit>(w, "11005")->setText("архив");
        list->setCurrentItem(list->topLevelItem(1));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Delete);  // the single file goes at once
        for (int i = 1; i < tabs->count(); ++i) tabs->setCurrentIndex(i);  // every page is built as it is reached
        EXPECT_EQ(std::make_tuple(child<QSpinBox>(w, "11009")->value(), child<QSpinBox>(w, "11011")->value(),
                                  child<QCheckBox>(w, "11043")->isChecked(), text(w, "11020"), text(w, "11087"),
                                  child<QComboBox>(w, "11043")->currentData().toInt(),
                                  child<QSlider>(w, "11049")->value()),
                  std::make_tuple(4, 18, true, QString("1, 2"), QString("secret"), 2, 3));
        child<QSpinBox>(w, "11009")->setValue(6);
        child<QCheckBox>(w, "11013")->click();
        child<QLineEdit>(w, "11021")->setText("7, x");
        child<QLineEdit>(w, "11087")->setText("новый");
        QTest::keyClick(w, Qt::Key_F1);
        return click(w, "1");
    })), Result(BK_DONE, ""));
    EXPECT_EQ(help_asked, std::vector<std::string>{"h8.bk.dlg.setup.archiver"});
    bk::BackupSettings saved;
    bk::read_settings_file(wide(host.settings_file()), saved);
    EXPECT_EQ(std::make_tuple(saved.backup_folder, saved.single_files.size(), saved.file_groups.size(),
                              saved.expired_limit, saved.options, saved.exclude_permission.workplaces,
                              saved.archiver.password, saved.cloud.url, saved.enter_param.excl_comp.size()),
              std::make_tuple(std::wstring(L"архив"), size_t(0), size_t(1), 6,
                              bk::OPT_REMOVABLE | bk::OPT_CLOUD | bk::OPT_BY_CLOCK | bk::OPT_ON_ENTER,
                              std::vector<int32_t>{7}, std::wstring(L"новый"), std::wstring(L"https://dav.example/b"),
                              size_t(1)));
}

// Each refusal names its cause over the page that must change, and a
// canceled sheet leaves the file as it was, byte for byte.
TEST_F(Dialogs, TheSettingsSheetRefusesWhatCannotWorkAndCancelSavesNothing) {
    auto settings = host.standard_settings();
    settings.options |= bk::OPT_CLOUD;
    settings.cloud = {L"custom", L"", L"buh", L"", false};
    host.save(settings);
    std::string before = host.content("backup_config.xml");
    const auto sheet_on = [](const char* page, const char* button) {
        return [=](QWidget* w) {
            EXPECT_EQ(w->findChild<QTabWidget*>()->currentWidget()->objectName(), QString(page));
            return click(w, button);
        };
    };
    const auto sheet_ok_on = [&](const char* page) { return sheet_on(page, "1"); };
    const auto says = [](int id, std::initializer_list<bk::FormatArg> args = {}) {
        return [=](QWidget* w) {
            EXPECT_EQ(w->windowTitle(), QString("Настройки резервного копирования"));
            return box_says(bk::format_string(id, args), "1")(w);
        };
    };
    EXPECT_EQ(run(BK_CMD_SETTINGS, Script().then("setup_sheet", sheet_ok_on("10001"))
                                       .then("QMessageBox", says(bk::ids::CLOUD_NOT_SET))
                                       .then("setup_sheet", sheet_on("10001", "2"))),
              Result(BK_NOT_DONE, ""));
    EXPECT_EQ(host.content("backup_config.xml"), before);
    settings.cloud = {L"yandex.disk", L"", L"buh", L"", false};  // complete, but no archive password
    settings.file_groups[0].include_mask = L"*.dbf;da*/x.dbf";
    host.save(settings);
    before = host.content("backup_config.xml");
    const auto delete_everything = [](QWidget* w) {
        auto* list = child<QTreeWidget>(w, "11019");
        list->setFocus();
        for (int i = 0; i < 3; ++i) list->setCurrentItem(list->topLevelItem(0)), QTest::keyClick(list, Qt::Key_F8);
        EXPECT_EQ(list->topLevelItemCount(), 1);
        return click(w, "1");
    };
    EXPECT_EQ(run(BK_CMD_SETTINGS, Script().then("setup_sheet", sheet_ok_on("10001"))
                                       .then("QMessageBox", says(bk::ids::CLOUD_NO_PASSWORD))
                                       .then("setup_sheet", sheet_ok_on("10017"))  // the warning comes once
                                       .then("QMessageBox", says(bk::ids::BAD_GROUP_MASK, {L"*.dbf;da*/x.dbf"}))
                                       .then("setup_sheet", delete_everything)
                                       .then("QMessageBox", says(bk::ids::NO_FILE_GROUPS))
                                       .then("setup_sheet", press("2"))),
              Result(BK_NOT_DONE, ""));
    EXPECT_EQ(host.content("backup_config.xml"), before);
}

// What the user sets in the sheet is what the next scheduled run of
// vdbackup saves: a group dropped, a single file added through its dialogs.
TEST_F(Dialogs, TheSheetsFileListDrivesTheNextBackupOfVdbackup) {
    const auto add_readme = [](QWidget* w) {
        auto* list = child<QTreeWidget>(w, "11019");
        list->setCurrentItem(list->topLevelItem(1));  // the group docs/
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Delete);
        QTest::keyClick(list, Qt::Key_Insert);
        return true;
    };
    EXPECT_EQ(run(BK_CMD_SETTINGS, Script().then("setup_sheet", add_readme).then("10031", press("11090"))
                                       .then("10031", press("1")).then("10032", [](QWidget* w) {
                                           child<QComboBox>(w, "11029")->setEditText("docs/readme.txt");
                                           return click(w, "1");
                                       }).then("setup_sheet", press("1"))),
              Result(BK_DONE, ""));
    host.write_profile();
    FILE* pipe = popen(("cd '" + host.root().string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
                        BIN_DIR "/vdbackup' /B </dev/null 2>&1").c_str(), "r");
    std::string out;
    for (char chunk[512]; size_t n = fread(chunk, 1, sizeof chunk, pipe);) out.append(chunk, n);
    ASSERT_EQ(WEXITSTATUS(pclose(pipe)), 0) << out;
    const std::string root = host.root().relative_path().string() + "/";  // as the archive holds it
    std::vector<std::string> saved;
    for (const auto& entry : bktest::archive_entries(host.last_archive()))
        if (entry.rfind(root, 0) == 0) saved.push_back(entry.substr(root.size()));
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(saved, (std::vector<std::string>{"base/demo.shp", "data/a.dbf", "data/b.dbf", "data/sub/c.dbf",
                                               "docs/readme.txt"}));
}

TEST_F(Dialogs, TheTemplateDialogInsertsEachMacroOnceBeforeTheSelection) {
    rkit::timestamp moment;
    moment.put(rkit::date(6, 12, 2026), rkit::time(9, 5, 7));
    rkit::clock::set_fixed(moment);
    bk::HostIdentity identity;
    identity.dbname = L"Учёт.shp";
    bk::ui::CFnTemplDlg dialog(nullptr, L"копия_", identity);
    auto* edit = child<QLineEdit>(&dialog, "11054");
    auto* example = child<QLineEdit>(&dialog, "11053");
    EXPECT_EQ(example->text(), "копия_");
    edit->setCursorPosition(6);
    click(&dialog, "11055"), click(&dialog, "11055");  // DATE, then DATE again: selected, not repeated
    EXPECT_EQ(std::make_tuple(edit->text(), edit->selectedText()), std::make_tuple(QString("копия_%DATE%"), QString("%DATE%")));
    edit->setSelection(0, 5);  // "копия" stays, the macro goes before it
    click(&dialog, "11073");
    EXPECT_EQ(std::make_tuple(edit->text(), example->text()),
              std::make_tuple(QString("%SHORT_DB%копия_%DATE%"), QString("Учёткопия_2026_12_06")));
    edit->clear();
    EXPECT_TRUE(example->text().isEmpty());
    dialog.accept();
    EXPECT_TRUE(dialog.templ().empty());
}

}  // namespace
