// The settings sheet through command 3: what it shows, what it refuses,
// what it saves, and the scheduled backups its scheduler page makes.
#include "settings/settings_file.h"
#include "support/archives.h"
#include "sched/task_manager.h"
#include "support/cron.h"
#include "support/values.h"
#include "ui/fn_templ_dlg.h"
#include "ui/module_host.h"

namespace {

using namespace uitest;

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
    const auto [code, out] = bktest::shell_status("cd '" + host.root().string() + "' && env -u DISPLAY -u WAYLAND_DISPLAY"
                                                  " -u QT_QPA_PLATFORM '" BIN_DIR "/vdbackup' /B </dev/null 2>&1");
    ASSERT_EQ(code, 0) << out;
    const std::string root = host.root().relative_path().string() + "/";  // as the archive holds it
    std::vector<std::string> saved;
    for (const auto& entry : bktest::archive_entries(host.last_archive()))
        if (entry.rfind(root, 0) == 0) saved.push_back(entry.substr(root.size()));
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(saved, (std::vector<std::string>{"base/demo.shp", "data/a.dbf", "data/b.dbf", "data/sub/c.dbf",
                                               "docs/readme.txt"}));
}

TEST_F(Dialogs, TheTemplateDialogInsertsEachMacroOnceBeforeTheSelection) {
    rkit::clock::set_fixed(bktest::moment(6, 12, 2026, 9, 5, 7));
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
}

// The scheduler page writes tasks to the machine's scheduler at once: root's
// crontab (kept and put back) and an autostart folder of the test's own.
class Scheduler : public Dialogs {
protected:
    void SetUp() override {
        if (unavailable_) return;
        Dialogs::SetUp();
        setenv("XDG_CONFIG_HOME", (host.root() / "config").c_str(), 1);
    }
    void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }
    // The page in front, as the user reaches it.
    static QWidget* page(QWidget* sheet) {
        auto* tabs = sheet->findChild<QTabWidget*>();
        tabs->setCurrentIndex(3);
        return tabs->currentWidget();
    }
    static std::pair<QString, QString> status(QWidget* w) {
        return {child<QLineEdit>(w, "11070")->text(), child<QPushButton>(w, "11071")->text()};
    }
    const bool unavailable_ = bktest::crontab_unavailable();
    bktest::KeptCrontab crontab;
};

Script::Action task_at(int hour, int minute, const char* comment, const char* database = nullptr) {
    return [=](QWidget* w) {
        child<QSpinBox>(w, "11076")->setValue(hour), child<QSpinBox>(w, "11012")->setValue(minute);
        child<QLineEdit>(w, "11000")->setText(comment);
        child<QComboBox>(w, "11001")->setEditText("30"), child<QCheckBox>(w, "11002")->setChecked(false);
        if (database) child<QLineEdit>(w, "11069")->setText(database), click(w, "11075");  // "Другое:"
        return click(w, "1");
    };
}

TEST_F(Scheduler, ThePageCountsTheTasksOfTheDatabaseAndWritesThemAtOnce) {
    if (unavailable_) return;
    const std::string other_db = (host.root() / "base/other.shp").string();
    const auto trigger = [](const char* command) {
        return [=](QWidget* w) { return page(w)->findChild<QAction*>(command)->trigger(), true; };
    };
    const auto list = [](QWidget* w) { return child<QTreeWidget>(w, "11067"); };
    Script script;
    script.then("setup_sheet", [&](QWidget* w) {
        w = page(w);
        EXPECT_EQ(status(w), std::make_pair(QString("Нет заданий для текущей базы данных."), QString("Создать задание...")));
        return click(w, "11071");
    }).then("10026", [&](QWidget* w) {
        EXPECT_TRUE(child<QLineEdit>(w, "11069")->isReadOnly());
        return task_at(23, 15, "ночная")(w);
    }).then("setup_sheet", [&](QWidget* w) {
        EXPECT_EQ(status(page(w)), std::make_pair(QString("Одно задание для текущей базы данных."),
                                                  QString("Изменить задание...")));
        return trigger("10501")(w);
    }).then("10026", task_at(0, 0, "при входе", other_db.c_str()))
      .then("setup_sheet", trigger("10501")).then("10026", task_at(12, 30, "обед"))
      .then("setup_sheet", [&](QWidget* w) {
        w = page(w);
        EXPECT_EQ(status(w), std::make_pair(QString("Для текущей базы данных заданий: 2"), QString("Создать задание...")));
        EXPECT_EQ(list(w)->topLevelItemCount(), 2);  // the other database's task is not shown
        child<QCheckBox>(w, "11066")->click();
        EXPECT_EQ(list(w)->topLevelItemCount(), 3);
        list(w)->setCurrentItem(list(w)->topLevelItem(1));
        QTest::keyClick(list(w), Qt::Key_Delete);
        EXPECT_EQ(std::make_tuple(list(w)->topLevelItemCount(), list(w)->indexOfTopLevelItem(list(w)->currentItem())),
                  std::make_tuple(2, 1));
        return click(w->window(), "2");  // the tasks stay: they were written at once
    });
    EXPECT_EQ(run(BK_CMD_SETTINGS, script).first, BK_NOT_DONE);

    // The logon task is an autostart entry that starts vdbackup with the same arguments as a cron line would.
    std::vector<bk::ScheduledBackupTask> tasks;
    const auto failed = [](const std::wstring& text) { ADD_FAILURE() << utf8(text); };
    ASSERT_TRUE(bk::load_scheduled_tasks(wide(host.root() / "host"), L"", bk::TASKS_OF_PROGRAM, tasks, failed));
    ASSERT_EQ(tasks.size(), 2u);
    const auto& logon = tasks[0].definition.kind == sched::TASK_AT_LOGON ? tasks[0] : tasks[1];
    const fs::path autostart = host.root() / "config/autostart" / (utf8(logon.name) + ".desktop");
    const std::string entry = bktest::read_file(autostart);
    EXPECT_NE(entry.find("\nExec=" + utf8(logon.definition.application)), std::string::npos) << entry;
    EXPECT_NE(entry.find(utf8(logon.definition.parameters).substr(0, 20)), std::string::npos) << entry;
    EXPECT_EQ(std::make_tuple(logon.database_path, logon.run.keeptime, logon.run.comment),
              std::make_tuple(rkit::char_to_wide(other_db), 30, std::wstring(L"при входе")));
}

// The whole way of a night backup: a task made on the page for the coming
// minute, run by the machine's cron without a display, lands in the
// catalogue with the task's keep time and comment.
TEST_F(Scheduler, CronRunsTheTaskMadeOnThePageAndItsBackupIsCatalogued) {
    if (unavailable_) return;
    rkit::clock::reset();
    const rkit::timestamp now = rkit::clock::now();
    // A minute that is still ahead when the task is written.
    const int ahead = now.get_time().second() > 45 ? 2 : 1;
    const int minutes = (now.get_time().hour() * 60 + now.get_time().minute() + ahead) % (24 * 60);
    EXPECT_EQ(run(BK_CMD_SETTINGS, Script().then("setup_sheet", [](QWidget* w) { return click(page(w), "11071"); })
                                       .then("10026", task_at(minutes / 60, minutes % 60, "по расписанию"))
                                       .then("setup_sheet", press("1"))).first, BK_DONE);
    bktest::CronDaemon cron;
    for (int i = 0; i < 1500 && host.catalogue().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(host.catalogue().size(), 1u);
    EXPECT_EQ(std::make_tuple(host.catalogue()[0].keeptime, host.catalogue()[0].comment),
              std::make_tuple(30, std::wstring(L"по расписанию")));
}

}  // namespace
