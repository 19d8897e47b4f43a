// Command 2 as a host drives it: the archive chosen in the dialog or the
// last backup, the questions before restoring a backup of another version or
// database, and every way it fails.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/commands/commands.h"
#include "app/string_table.h"
#include "commands/test_host.h"
#include "rkit/path.h"
#include "tasks/user_interface.h"

namespace cmdtest {
namespace {

const uint32_t kWarningBox = bk::MB_OKCANCEL | bk::MB_ICONWARNING | bk::MB_DEFBUTTON2;

// A window the host owns; the module only hands it on.
int host_window;

class RestoreCommand : public ::testing::Test {
protected:
    // One backup of the data set, then the data damaged.
    void back_up_and_damage() {
        host.save(host.standard_settings());
        backup();
        host.damage_data();
    }
    void backup() {
        auto batch = host.params;
        host.set_batch_backup();
        ASSERT_EQ(host.run(BK_CMD_BACKUP), BK_DONE) << ::testing::PrintToString(host.messages());
        host.params = batch;
    }
    // Removes an entry from an archive with the archiver itself.
    void delete_from_archive(const std::wstring& archive, const std::string& entry) {
        const std::string command = "7z d -bd '" + utf8(archive) + "' " + entry + " >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    TestHost host;
};

TEST_F(RestoreCommand, TheBackupChosenInTheDialogIsRestored) {
    back_up_and_damage();
    host.ui.restore_dialog_choose_backup(0);
    ASSERT_EQ(host.run(BK_CMD_RESTORE, BKF_INTERACTIVE, &host_window), BK_DONE)
        << ::testing::PrintToString(host.messages());
    EXPECT_TRUE(host.data_intact());

    ASSERT_EQ(host.ui.restore_dialogs.size(), 1u);
    EXPECT_EQ(host.ui.restore_dialogs[0].catalogue, host.catalogue());
    EXPECT_EQ(host.ui.restore_dialogs[0].backup_folder, wide(host.backup_folder()));
    EXPECT_EQ(host.ui.restore_dialogs[0].archiver, bk::ARCHIVER_7ZIP);
    EXPECT_EQ(host.ui.headlines.back(), L"Выполняется восстановление из резервной копии...");
    // Same version, same database: no question, only the news that it worked.
    ASSERT_EQ(host.ui.boxes.size(), 1u);
    EXPECT_EQ(host.ui.boxes[0].text, bk::format_string(bk::ids::RESTORE_DONE,
                                                       {rkit::extract_name_ext(host.last_archive())}));
    EXPECT_EQ(host.ui.boxes[0].type, bk::MB_OK | bk::MB_ICONINFORMATION);
}

TEST_F(RestoreCommand, WithoutTheDialogTheLastBackupIsRestored) {
    host.save(host.standard_settings());
    host.write("data/a.dbf", "first");
    backup();
    host.write("data/a.dbf", "second");
    backup();
    host.write("data/a.dbf", "damaged");
    ASSERT_EQ(host.run(BK_CMD_RESTORE), BK_DONE) << ::testing::PrintToString(host.messages());
    EXPECT_EQ(host.content("data/a.dbf"), "second");
    EXPECT_TRUE(host.ui.restore_dialogs.empty());
}

TEST_F(RestoreCommand, NothingToChooseFrom) {
    host.save(host.standard_settings());
    // An empty catalogue without the dialog: nothing restored, nothing said.
    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_FAILED);
    EXPECT_TRUE(host.messages().empty());

    host.ui.restore_dialog_cancel();
    EXPECT_EQ(host.run(BK_CMD_RESTORE, BKF_INTERACTIVE), BK_NOT_DONE);
    EXPECT_TRUE(host.messages().empty());

    bk::set_user_interface(nullptr);  // the headless interface
    EXPECT_EQ(host.run(BK_CMD_RESTORE, BKF_INTERACTIVE), BK_FAILED);
    EXPECT_EQ(host.messages(), std::vector<std::string>{"no display: dialog cannot be shown"});
}

TEST_F(RestoreCommand, CheckOnlyNeedsUsableSettingsAndAReadableCatalogue) {
    host.save(host.standard_settings());
    EXPECT_EQ(host.run(BK_CMD_RESTORE, BKF_CHECK_ONLY | BKF_INTERACTIVE), BK_DONE);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_TRUE(host.ui.restore_dialogs.empty());

    bktest::write_file(host.backup_folder() / "backup_list.xml", "<root><items>");
    EXPECT_EQ(host.run(BK_CMD_RESTORE, BKF_CHECK_ONLY), BK_FAILED);
    const auto messages = host.messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages.back(), message(bk::ids::ERR_LOAD_CATALOGUE, {wide(host.backup_folder() / "backup_list.xml")}));
}

TEST_F(RestoreCommand, SettingsThatCannotBeUsed) {
    host.break_settings_file();
    EXPECT_EQ(host.run(BK_CMD_RESTORE, BKF_INTERACTIVE), BK_FAILED);
    ASSERT_FALSE(host.messages().empty());
    EXPECT_EQ(host.messages().back(), message(bk::ids::ERR_LOAD_SETTINGS, {wide(host.settings_file())}));
    // Restoring has no automatic events: a broken file is always reported.
    EXPECT_EQ(host.run(BK_CMD_RESTORE, BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_ENTERING)), BK_FAILED);
    EXPECT_FALSE(host.messages().empty());

    auto unusable = host.standard_settings();
    unusable.archiver.archiver = bk::ARCHIVER_NONE;
    host.save(unusable);
    host.set_batch_restore(L"x.7z");
    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_FAILED);
    EXPECT_EQ(host.messages(),
              std::vector<std::string>{"Неправильные настройки, восстановление из резервной копии невозможно."});
}

TEST_F(RestoreCommand, AMissingArchiveIsNamed) {
    back_up_and_damage();
    const std::wstring archive = host.last_archive();
    std::filesystem::remove(archive);
    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_FAILED);
    EXPECT_EQ(host.messages(), std::vector<std::string>{message(bk::ids::ARCHIVE_NOT_FOUND, {archive})});

    const std::wstring picked = wide(host.root() / "elsewhere.7z");
    host.ui.restore_dialog_choose(picked);
    EXPECT_EQ(host.run(BK_CMD_RESTORE, BKF_INTERACTIVE), BK_FAILED);
    EXPECT_EQ(host.messages(), std::vector<std::string>{message(bk::ids::ARCHIVE_NOT_FOUND, {picked})});

    host.set_batch_restore(L"backup/gone.7z");  // relative to the host's folder
    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_FAILED);
    EXPECT_EQ(host.messages(), std::vector<std::string>{message(bk::ids::ARCHIVE_NOT_FOUND,
                                                                {wide(host.backup_folder() / "gone.7z")})});
    host.params.erase("batch_archive");
    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_FAILED);
    EXPECT_EQ(host.messages(), std::vector<std::string>{"batch_archive parameter not found"});
    EXPECT_FALSE(host.data_intact());
}

TEST_F(RestoreCommand, AnotherProgramVersionIsRestoredOnlyWhenTheUserAgrees) {
    back_up_and_damage();
    host.params["ver_type"] = "8.2";
    host.ui.answer_boxes_with({bk::IDCANCEL, bk::IDOK});
    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_NOT_DONE);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_FALSE(host.data_intact());
    ASSERT_EQ(host.ui.boxes.size(), 1u);
    EXPECT_EQ(host.ui.boxes[0].text,
              L"Внимание! Обнаружено несоответствие версии программы.\nТекущая версия: 8.2 (ПРОФ).\n"
              L"Версия резервной копии: 8.1 (ПРОФ).\n\nВосстановление из этой резервной копии может привести к "
              L"неправильным результатам. ");
    EXPECT_EQ(host.ui.boxes[0].type, kWarningBox);

    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_DONE) << ::testing::PrintToString(host.messages());
    EXPECT_TRUE(host.data_intact());

    // A version list that holds the backup's version is no other version.
    host.damage_data();
    host.params["ver_type"] = "8.0, 8.1";
    host.params["ver_family"] = "проф";
    host.ui.boxes.clear();
    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_DONE);
    EXPECT_TRUE(host.ui.boxes.empty());
    EXPECT_TRUE(host.data_intact());
}

TEST_F(RestoreCommand, AnotherDatabaseIsRestoredOnlyWhenTheUserAgrees) {
    back_up_and_damage();
    host.params["shp_path"] = (host.root() / "base/other.shp").string();
    host.ui.answer_boxes_with({bk::IDCANCEL, bk::IDOK});
    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_NOT_DONE);
    EXPECT_FALSE(host.data_intact());
    ASSERT_EQ(host.ui.boxes.size(), 1u);
    EXPECT_EQ(host.ui.boxes[0].text, bk::format_string(bk::ids::DATABASE_MISMATCH, {L"other.shp", L"demo.shp"}));
    EXPECT_EQ(host.ui.boxes[0].type, kWarningBox);

    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_DONE) << ::testing::PrintToString(host.messages());
    EXPECT_TRUE(host.data_intact());

    // A batch restore asks nothing.
    host.damage_data();
    host.ui.boxes.clear();
    host.set_batch_restore(host.last_archive());
    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_DONE);
    EXPECT_TRUE(host.ui.boxes.empty());
    EXPECT_TRUE(host.data_intact());
}

TEST_F(RestoreCommand, AnArchiveWithoutItsRecordAsksBeforeRestoringUnchecked) {
    back_up_and_damage();
    delete_from_archive(host.last_archive(), "fileinfo.xml");
    host.params["ver_type"] = "9.0";  // would be asked about if the record were there
    host.ui.answer_boxes_with({bk::IDCANCEL, bk::IDOK});
    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_NOT_DONE);
    EXPECT_FALSE(host.data_intact());
    ASSERT_EQ(host.ui.boxes.size(), 1u);
    EXPECT_EQ(host.ui.boxes[0].text, bk::format_string(bk::ids::NO_BACKUP_INFO, {host.last_archive()}));
    EXPECT_EQ(host.ui.boxes[0].type, bk::MB_OKCANCEL | bk::MB_ICONWARNING);

    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_DONE) << ::testing::PrintToString(host.messages());
    EXPECT_EQ(host.ui.boxes.size(), 2u);
    EXPECT_TRUE(host.data_intact());
}

TEST_F(RestoreCommand, FilesThatCannotBePutBackAreListedAndTheRestGoesBack) {
    back_up_and_damage();
    // The folder of one file is taken by a file of that name.
    std::filesystem::remove_all(host.root() / "data/sub");
    host.write("data/sub", "in the way");
    EXPECT_EQ(host.run(BK_CMD_RESTORE, 0, &host_window), BK_DONE) << ::testing::PrintToString(host.messages());
    EXPECT_EQ(host.content("data/a.dbf"), "content of data/a.dbf");
    EXPECT_EQ(host.content("base/demo.shp"), "content of base/demo.shp");
    ASSERT_EQ(host.ui.restore_warnings_shown.size(), 1u);
    EXPECT_EQ(host.ui.restore_warnings_shown[0].archive, host.last_archive());
    ASSERT_EQ(host.ui.restore_warnings_shown[0].problems.size(), 1u);
    EXPECT_EQ(host.ui.restore_warnings_shown[0].problems[0].file, wide(host.root() / "data/sub/c.dbf"));
    // The list replaces the news that all went well.
    EXPECT_TRUE(host.ui.boxes.empty());
}

TEST_F(RestoreCommand, ACanceledRestoreIsNoError) {
    back_up_and_damage();
    host.ui.status.cancel_after_updates(1);
    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_NOT_DONE);
    EXPECT_TRUE(host.messages().empty());
}

// A .7z archive is read by 7-Zip whatever the settings choose; the password
// belongs to the archive and stays.
TEST(MatchArchiver, SevenZipArchivesGetSevenZipDefaultsWithThePassword) {
    bk::BackupSettings rar;
    rar.archiver = {bk::ARCHIVER_RAR, 5, L"/opt/rar", L"-y", L"-m5", L"-o+", L"секрет"};
    bk::BackupSettings matched = rar;
    bk::match_archiver_to_archive(L"/b/x.7Z", matched);
    bk::ArchiverSettings expected;
    expected.archiver = bk::ARCHIVER_7ZIP;
    expected.password = L"секрет";
    EXPECT_EQ(matched.archiver, expected);

    // A RAR archive, an unknown one, or settings that already choose 7-Zip
    // (0 counts as 7-Zip) stay as they are.
    for (const wchar_t* archive : {L"/b/x.rar", L"/b/x.zip"}) {
        matched = rar;
        bk::match_archiver_to_archive(archive, matched);
        EXPECT_EQ(matched, rar);
    }
    bk::BackupSettings seven;
    seven.archiver = {bk::ARCHIVER_DEFAULT, 9, L"/opt/7z", L"", L"-mx9", L"", L"p"};
    matched = seven;
    bk::match_archiver_to_archive(L"/b/x.7z", matched);
    EXPECT_EQ(matched, seven);
    bk::match_archiver_to_archive(L"/b/x.rar", matched);
    EXPECT_EQ(matched, seven);
}

TEST_F(RestoreCommand, AnEncryptedSevenZipArchiveIsRestoredWhileTheSettingsChooseRar) {
    auto settings = host.standard_settings();
    settings.archiver.password = L"секрет";
    host.save(settings);
    backup();
    host.damage_data();
    settings.archiver = {bk::ARCHIVER_RAR, 3, L"", L"", L"", L"", L"другой"};
    host.save(settings);
    host.set_batch_restore(host.last_archive());
    host.params["batch_password"] = "секрет";
    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_DONE) << ::testing::PrintToString(host.messages());
    EXPECT_TRUE(host.data_intact());
}

}  // namespace
}  // namespace cmdtest
