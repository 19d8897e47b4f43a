// The settings sheet's keep-time, automatic, permissions and archiver pages
// and the cloud dialog, edited as a user edits them and saved with OK.
#include <QtWidgets>
#include <sys/stat.h>

#include "cloud/cloud_transfer.h"
#include "core/string_table.h"
#include "support/temp_dir.h"
#include "ui/cloud_dlg.h"
#include "ui/modal.h"
#include "ui/setup_sheet.h"

namespace {

using namespace bk;
using namespace uitest;
using ui::str;

class Pages : public ::testing::Test {
protected:
    static void SetUpTestSuite() { start_application(); }
    void open() {
        if (context.settings.file_groups.empty()) context.settings.file_groups.resize(1);  // the files page's minimum
        sheet = std::make_unique<ui::CSetupSheet>(nullptr, context);
    }
    // A control of the page at tab, with that page brought to the front as a user does.
    template <typename T>
    T* at(int tab, const char* id) {
        sheet->tabs()->setCurrentIndex(tab);
        return child<T>(sheet->tabs()->widget(tab), id);
    }
    // "ОК" on the sheet, which refuses: the message is answered and returned.
    QString refused() {
        QString said;
        ModalScript script;
        script.then("QMessageBox", [&](QWidget* w) { return said = static_cast<QMessageBox*>(w)->text(), click(w, "1"); });
        sheet->accept();
        return said;
    }
    bool accepted() {
        ModalScript nothing_asked(5000);  // a message would be a refusal, closed in time
        return sheet->accept(), sheet->result() == QDialog::Accepted;
    }

    SetupContext context;
    std::unique_ptr<ui::CSetupSheet> sheet;
};

TEST_F(Pages, AnEmptyKeepTimeRefusesOnItsPageAndStoresNothing) {
    open();
    const BackupSettings before = context.settings;
    auto* week = at<QComboBox>(1, "11004");
    EXPECT_FALSE(week->isEnabled());  // the week's extension is off; its keep time waits
    week->setEditText("");
    at<QSpinBox>(1, "11009")->setValue(0);
    at<QComboBox>(2, "11038")->setEditText("");  // the exit backup, switched off as well
    sheet->tabs()->setCurrentIndex(0);
    EXPECT_EQ(refused(), str(ids::NO_KEEP_TIME));
    EXPECT_EQ(sheet->tabs()->currentIndex(), 1);
    EXPECT_EQ(context.settings, before);
    week->setEditText("14");
    EXPECT_EQ(refused(), str(ids::NO_KEEP_TIME));
    EXPECT_EQ(sheet->tabs()->currentIndex(), 2);
    at<QCheckBox>(2, "11014")->click();
    at<QCheckBox>(2, "11037")->click();
    EXPECT_TRUE(accepted());
    EXPECT_EQ(std::tuple(context.settings.expired_limit, context.settings.last_at_week_keeptime,
                         context.settings.exit_param.keeptime, context.settings.options),
              std::tuple(0, 14, KEEP_FOREVER, OPT_ON_EXIT));
}

TEST_F(Pages, AutomaticBackupsChooseComponentsOnlyWhenThereAreSome) {
    context.settings.options = OPT_ON_ENTER | OPT_ON_EXIT | OPT_BY_CLOCK;
    open();
    for (const char* id : {"11056", "11057", "11058"}) EXPECT_FALSE(at<QPushButton>(2, id)->isEnabled()) << id;
    context.settings.components = {{L"a", L"Бухгалтерия"}, {L"b", L"Склад"}};
    context.settings.options = OPT_ON_ENTER;
    open();
    EXPECT_FALSE(at<QPushButton>(2, "11057")->isEnabled());
    ModalScript script;
    script.then("10020", [](QWidget* w) {
        child<QTreeWidget>(w, "11034")->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        return click(w, "1");
    });
    at<QPushButton>(2, "11056")->click();
    EXPECT_TRUE(accepted());
    EXPECT_EQ(context.settings.enter_param.excl_comp, std::vector<std::wstring>{L"b"});
}

TEST_F(Pages, PermissionListsKeepWhatCanMatchAndSayWhoMayBackUp) {
    context.settings.exclude_permission.logins = {L"Касса"};
    open();
    auto status = [&](const char* id) { return child<QLabel>(sheet->tabs()->widget(4), id)->text(); };
    auto* allowed = at<QLineEdit>(4, "11020");
    allowed->setText("x");
    EXPECT_EQ(std::tuple(status("11037"), status("11038"), status("11040")),
              std::tuple(str(ids::PERMIT_ALL), str(ids::PERMIT_NOBODY), QString()));
    allowed->setText("1, x, 3");
    at<QLineEdit>(4, "11029")->setText(" pc1 ,, pc 2");
    EXPECT_EQ(status("11037"), str(ids::PERMIT_ONLY));
    EXPECT_TRUE(accepted());
    EXPECT_EQ(context.settings.include_permission.workplaces, (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(context.settings.exclude_permission.workstations, (std::vector<std::wstring>{L"pc1", L"pc 2"}));
    EXPECT_EQ(context.settings.exclude_permission.logins, std::vector<std::wstring>{L"Касса"});
}

TEST_F(Pages, TheArchiverPageStoresTheDefaultsOrACheckedProgramPath) {
    context.settings.archiver = {ARCHIVER_RAR, 7, L"/opt/rar", L"-x", L"", L"", L"old"};
    open();
    at<QCheckBox>(5, "11042")->click();
    at<QLineEdit>(5, "11087")->setText("secret");
    EXPECT_TRUE(accepted());
    EXPECT_EQ(context.settings.archiver, (ArchiverSettings{0, -1, L"", L"", L"", L"", L"secret"}));

    open();
    EXPECT_EQ(std::pair(at<QCheckBox>(5, "11042")->isChecked(), at<QSlider>(5, "11049")->value()), std::pair(true, 5));
    for (const char* id : {"11042", "11048", "11044"}) at<QCheckBox>(5, id)->click();
    bktest::TempDir folder;
    bktest::write_file(folder / "7z", "#!/bin/sh\n");
    bktest::write_file(folder / "rar", "#!/bin/sh\n");
    chmod((folder / "7z").c_str(), 0755);
    auto* path = at<QLineEdit>(5, "11045");
    path->setText(QString::fromStdWString((folder / "rar").wstring()));
    EXPECT_EQ(refused().toStdWString(), format_string(ids::BAD_ARCHIVER_PATH, {L"7z", (folder / "rar").wstring()}));
    path->setText(QString::fromStdWString(folder.wpath()));
    EXPECT_TRUE(accepted());
    EXPECT_EQ(context.settings.archiver, (ArchiverSettings{ARCHIVER_7ZIP, 5, folder.wpath(), L"", L"", L"", L"secret"}));
}

TEST_F(Pages, TheCloudDialogOffersTheKnownServicesAndTheUsersOwnServer) {
    ui::CCloudDlg custom(nullptr, {L"custom", L"https://dav.example.org/b", L"ivan", L"pw", true});
    auto* service = child<QComboBox>(&custom, "11082");
    auto* link = child<QLabel>(&custom, "11086");
    auto* url = child<QLineEdit>(&custom, "11083");
    EXPECT_EQ(std::tuple(service->currentText(), url->text(), url->isReadOnly(), link->isHidden()),
              std::tuple(str(ids::CLOUD_CUSTOM), QString("https://dav.example.org/b"), false, true));
    service->setCurrentIndex(0);
    EXPECT_EQ(std::tuple(service->currentText(), url->isReadOnly(), link->isHidden()),
              std::tuple(QString("Яндекс.Диск"), true, false));
    service->setCurrentIndex(1);
    EXPECT_EQ(std::pair(url->text(), child<QPushButton>(&custom, "1")->isEnabled()), std::pair(QString(), false));
    url->setText("https://dav.example.org/c");
    custom.accept();
    EXPECT_EQ(custom.cloud(), (CloudSettings{L"custom", L"https://dav.example.org/c", L"ivan", L"pw", true}));

    ui::CCloudDlg fresh(nullptr, {});  // the first known service, with its address; OK once a login is typed
    EXPECT_EQ(child<QLineEdit>(&fresh, "11083")->text().toStdWString(), known_cloud_services()[0].webdav_url);
    EXPECT_FALSE(child<QPushButton>(&fresh, "1")->isEnabled());
    child<QLineEdit>(&fresh, "11022")->setText("ivan");
    EXPECT_TRUE(child<QPushButton>(&fresh, "1")->isEnabled());
}

}  // namespace
