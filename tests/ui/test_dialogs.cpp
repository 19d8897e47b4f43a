// The Qt dialogs as a host meets them: the module loaded as a library and
// driven through bkDispatch with the interactive flag on the offscreen
// platform, its windows found by their ids and answered like a user would.
#include <dlfcn.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>

#include "app/test_host.h"
#include "support/archives.h"
#include "ui/modal.h"

namespace {

using namespace cmdtest;
using uitest::child;
using uitest::click;

std::vector<std::string> help_asked;
void BK_CALL on_help(const char* key) { help_asked.push_back(key); }

class Dialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite() { uitest::ensure_application(); }
    void SetUp() override {
        void* module = dlopen(VARDOBK_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        dispatch_ = reinterpret_cast<decltype(&bkDispatch)>(dlsym(module, "bkDispatch"));
        last_error_ = reinterpret_cast<decltype(&bkLastError)>(dlsym(module, "bkLastError"));
        window.show();  // the host's main window, known to the module by its native id
        help_asked.clear();
    }
    uint32_t run(int32_t command, uint32_t flags = BKF_INTERACTIVE) {
        return dispatch_(command, reinterpret_cast<void*>(window.winId()), flags, TestHost::callback(), on_help);
    }
    std::vector<std::string> messages() {
        std::vector<std::string> all;
        for (int32_t i = 0; i < last_error_(-1, nullptr, 0); ++i) {
            std::string text(static_cast<size_t>(last_error_(i, nullptr, 0)), '\0');
            last_error_(i, text.data(), static_cast<int32_t>(text.size()));
            all.push_back(text);
        }
        return all;
    }
    static void key(QWidget* w, int code) {
        QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier);
        QApplication::sendEvent(w, &press);
    }

    TestHost host;
    QWidget window;
    decltype(&bkDispatch) dispatch_ = nullptr;
    decltype(&bkLastError) last_error_ = nullptr;
};

TEST_F(Dialogs, TheBackupDialogsChoicesReachTheCatalogueAndTheArchive) {
    auto settings = host.standard_settings();
    settings.default_keeptime = 14;  // no choice has it: it stands in the edit field
    host.save(settings);
    int height_with_list = 0;
    uitest::ModalScript cancel;
    cancel.then("10002", [&](QWidget* w) {
        auto* combo = child<QComboBox>(w, "11001");
        auto* keep_forever = child<QCheckBox>(w, "11002");
        auto* ok = child<QPushButton>(w, "1");
        auto* list = child<QTreeWidget>(w, "11034");
        EXPECT_EQ(w->parentWidget(), &window);
        EXPECT_EQ(std::make_tuple(combo->currentIndex(), combo->currentText(), keep_forever->isChecked(), ok->isEnabled()),
                  std::make_tuple(-1, QString("14"), false, true));
        EXPECT_EQ(list->topLevelItemCount(), 1);  // only a component some files belong to
        EXPECT_EQ(list->topLevelItem(0)->text(0), "Документы");
        EXPECT_EQ(list->topLevelItem(0)->checkState(0), Qt::Checked);
        key(w, Qt::Key_F1);
        for (const char* typed : {"abc", "", "99999999999"}) {
            combo->setEditText(typed);
            EXPECT_FALSE(ok->isEnabled()) << typed;
        }
        keep_forever->click();
        EXPECT_TRUE(ok->isEnabled() && !combo->isEnabled() && combo->currentText().isEmpty());
        height_with_list = w->height();
        click(w, "2");
        return true;
    });
    EXPECT_EQ(run(BK_CMD_BACKUP), BK_NOT_DONE);
    EXPECT_TRUE(host.archives().empty() && host.catalogue().empty() && messages().empty());
    EXPECT_EQ(help_asked, std::vector<std::string>{"h8.bk.dlg.backup"});

    uitest::ModalScript ok;
    ok.then("10002", [&](QWidget* w) {
        child<QLineEdit>(w, "11000")->setText("перед отчётом");
        child<QComboBox>(w, "11001")->setEditText("45");
        child<QTreeWidget>(w, "11034")->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        click(w, "1");
        return true;
    });
    ASSERT_EQ(run(BK_CMD_BACKUP), BK_DONE) << ::testing::PrintToString(messages());
    ASSERT_EQ(host.catalogue().size(), 1u);
    EXPECT_EQ(std::tie(host.catalogue()[0].keeptime, host.catalogue()[0].comment),
              std::make_tuple(45, std::wstring(L"перед отчётом")));
    std::string entries;
    for (const auto& entry : bktest::archive_entries(host.last_archive())) entries += entry + ";";
    EXPECT_NE(entries.find("data/a.dbf"), std::string::npos) << entries;
    EXPECT_EQ(entries.find("readme.txt"), std::string::npos) << entries;  // its component was left out

    settings.components.clear();
    settings.file_groups[1].components.clear();
    host.save(settings);
    uitest::ModalScript no_components;
    no_components.then("10002", [&](QWidget* w) {
        EXPECT_TRUE(child<QTreeWidget>(w, "11034")->isHidden());
        EXPECT_LT(w->height(), height_with_list);
        child<QComboBox>(w, "11001")->setCurrentIndex(1);
        click(w, "1");
        return true;
    });
    ASSERT_EQ(run(BK_CMD_BACKUP), BK_DONE) << ::testing::PrintToString(messages());
    EXPECT_EQ(host.catalogue().back().keeptime, 30);
}

TEST_F(Dialogs, TheProgressWindowShowsASlowBackupAndOnlyItsCancelStopsIt) {
    // An archiver that shows a percentage and sleeps before it saves the
    // files of a list (the manifests before them go at once).
    const fs::path slow = host.root() / "slow";
    bktest::write_file(slow / "7z", "#!/bin/sh\ncase \"$*\" in *' @'*) printf ' 37%% 2 + data/a.dbf'; sleep 20;; esac\n"
                                    "exec 7z \"$@\"\n");
    fs::permissions(slow / "7z", fs::perms::owner_all);
    auto settings = host.standard_settings();
    settings.archiver.exe_path = wide(slow);
    host.save(settings);
    uitest::ModalScript script;
    script.press("10002", "1")
        .then("10016",
              [&](QWidget* w) {
                  auto* bar = child<QProgressBar>(w, "11041");
                  if (bar->isHidden()) return false;  // until the archiver's percentage arrives
                  EXPECT_EQ(child<QLabel>(w, "11038")->text(), "Выполняется создание резервной копии...");
                  EXPECT_EQ(child<QLabel>(w, "11039")->text(),
                            QString::fromStdWString(bk::load_string(bk::ids::STATUS_COMPRESSING)) +
                                "\ndata/a.dbf\n37%");
                  EXPECT_EQ(bar->value(), 37);
                  for (const int code : {Qt::Key_Escape, Qt::Key_Return}) key(w, code);
                  w->close();
                  return true;
              })
        .then("10016", [](QWidget* w) {  // still there
            click(w, "11065");
            return true;
        });
    EXPECT_EQ(run(BK_CMD_BACKUP), BK_NOT_DONE);
    EXPECT_TRUE(messages().empty());
    EXPECT_TRUE(host.archives().empty() && host.catalogue().empty());
}

void drop(QWidget* w, const fs::path& file) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &enter);
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

uitest::ModalScript::Action box_says(const std::wstring& text, const char* answer) {
    return [=](QWidget* w) {
        EXPECT_EQ(static_cast<QMessageBox*>(w)->text().toStdWString(), text);
        click(w, answer);
        return true;
    };
}

TEST_F(Dialogs, TheRestoreDialogOffersTheCatalogueAndAnyOtherArchive) {
    host.backup();
    const std::wstring first = host.last_archive();
    host.backup();
    const std::wstring second = host.last_archive();
    // Expired three days ago, kept keep_forever, made today: the last one is offered.
    bk::Catalogue records = host.catalogue();
    records[0].time -= rkit::time_period(3, 0, 0);
    records[0].keeptime = 1;
    records[1].keeptime = bk::KEEP_FOREVER;
    records.push_back(records[0]);
    records[2].time = rkit::clock::now();
    records[2].keeptime = 30;
    bk::write_catalogue(bk::catalogue_path(wide(host.backup_folder())), records);
    host.damage_data();

    {
        uitest::ModalScript chosen;
        chosen.then("10003", [&](QWidget* w) {
            auto* list = child<QTreeWidget>(w, "11003");
            auto* ok = child<QPushButton>(w, "1");
            EXPECT_EQ(list->headerItem()->text(3), "р.м.");
            const char* keep_texts[] = {"1 дней (истек)", "вечно", "30 дней"};
            for (int row = 0; row < 3; ++row) {
                const auto* item = list->topLevelItem(row);
                EXPECT_EQ(item->text(1).toStdWString(), bk::creation_time_text(records[row]));
                EXPECT_EQ(std::make_tuple(item->text(2), item->text(3)), std::make_tuple(QString(keep_texts[row]), QString("3")));
            }
            const auto icon = [&](int row) { return list->topLevelItem(row)->icon(0).pixmap(16).toImage(); };
            EXPECT_TRUE(icon(0) != icon(2) && icon(1) != icon(2) && icon(3) != icon(2) && !icon(2).isNull());
            EXPECT_EQ(list->topLevelItem(3)->text(0), "<выбрать другой...>");
            EXPECT_TRUE(list->currentItem() == list->topLevelItem(2) && ok->isEnabled());
            list->clearSelection();
            EXPECT_FALSE(ok->isEnabled());
            list->setCurrentItem(list->topLevelItem(1));
            click(w, "1");
            return true;
        });
        chosen.then("QMessageBox", box_says(bk::format_string(bk::ids::RESTORE_DONE, {records[1].filename}), "1"));
        ASSERT_EQ(run(BK_CMD_RESTORE), BK_DONE) << ::testing::PrintToString(messages());
    }
    EXPECT_TRUE(host.data_intact());

    // Another file through the file dialog: canceled once, then chosen; the
    // version question that follows is answered Cancel.
    const auto standard = host.params;
    host.params["ver_type"] = "8.2";
    const auto version = bk::format_string(bk::ids::VERSION_MISMATCH, {L"8.2 (ПРОФ)", L"8.1 (ПРОФ)"});
    const auto pick_other = [](QWidget* w) {
        auto* list = child<QTreeWidget>(w, "11003");
        list->setCurrentItem(list->topLevelItem(3));
        click(w, "1");
        return true;
    };
    {
        uitest::ModalScript other;
        other.then("10003", pick_other)
            .then("QFileDialog", [&](QWidget* w) {
                auto* files = static_cast<QFileDialog*>(w);
                EXPECT_EQ(files->nameFilters(), QStringList({"Архивы 7z (*.7z)", "Все файлы (*.*)"}));
                EXPECT_EQ(files->directory().absolutePath().toStdString(), host.backup_folder().string());
                files->reject();
                return true;
            })
            .then("10003", pick_other)
            .then("QFileDialog", [&](QWidget* w) {
                child<QLineEdit>(w, "fileNameEdit")->setText(QString::fromStdWString(second));  // typed
                QMetaObject::invokeMethod(w, "accept");
                return true;
            })
            .then("QMessageBox", box_says(version, "2"));
        EXPECT_EQ(run(BK_CMD_RESTORE), BK_NOT_DONE);
    }
    EXPECT_TRUE(messages().empty());

    // A dropped archive: another extension is ignored; both questions answered OK.
    host.params["shp_path"] = (host.root() / "base/other.shp").string();
    host.damage_data();
    {
        uitest::ModalScript dropped;
        dropped
            .then("10003",
                  [&](QWidget* w) {
                      drop(w, host.root() / "docs/readme.txt");
                      EXPECT_TRUE(w->isVisible());
                      drop(w, fs::path(utf8(first)));
                      return true;
                  })
            .then("QMessageBox", box_says(version, "1"))
            .then("QMessageBox", box_says(bk::format_string(bk::ids::DATABASE_MISMATCH, {L"other.shp", L"demo.shp"}), "1"))
            .then("QMessageBox", box_says(bk::format_string(bk::ids::RESTORE_DONE, {records[0].filename}), "1"));
        ASSERT_EQ(run(BK_CMD_RESTORE), BK_DONE) << ::testing::PrintToString(messages());
    }
    EXPECT_TRUE(host.data_intact());

    // What cannot be put back is listed, also when the archive was not chosen.
    host.params = standard;
    fs::remove_all(host.root() / "data/sub");
    host.write("data/sub", "in the way");
    uitest::ModalScript warned;
    warned.then("10018", [&](QWidget* w) {
        EXPECT_EQ(child<QLabel>(w, "11052")->text().toStdWString(),
                  bk::format_string(bk::ids::RESTORE_PROBLEMS, {records[2].filename}));
        auto* list = child<QTreeWidget>(w, "11051");
        EXPECT_EQ(list->topLevelItemCount(), 1);
        EXPECT_EQ(list->topLevelItem(0)->text(0).toStdString(), (host.root() / "data/sub/c.dbf").string());
        click(w, "1");
        return true;
    });
    ASSERT_EQ(run(BK_CMD_RESTORE, 0), BK_DONE) << ::testing::PrintToString(messages());
}

}  // namespace
