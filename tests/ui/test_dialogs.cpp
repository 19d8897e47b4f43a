// The Qt dialogs as a host meets them: libvardobk.so driven through its
// exports on the offscreen platform, its windows found by their ids and
// answered as a user would.
#include "support/archives.h"
#include "ui/module_host.h"

namespace {

using namespace uitest;

bool drop(QWidget* w, const std::wstring& file) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdWString(file))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    return QApplication::sendEvent(w, &enter), QApplication::sendEvent(w, &event), true;
}


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

}  // namespace
