// Command 2 as a host drives it: the archive chosen in the dialog or the last
// backup, the questions before restoring a backup of another version or
// database, what cannot be put back; and command 3, the settings sheet.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "app/test_host.h"
#include "tasks/user_interface.h"

namespace cmdtest {
namespace {

class RestoreCommand : public ::testing::Test {
protected:
    void SetUp() override { host.save(host.standard_settings()); }
    void back_up_and_damage() {
        host.backup();
        host.damage_data();
    }

    TestHost host;
    int window = 0;  // the host's; the module only hands it on
};

// The backup chosen in the dialog is restored, without the dialog the last one.
TEST_F(RestoreCommand, TheChosenOrTheLastBackupIsRestored) {
    back_up_and_damage();
    host.write("data/a.dbf", "second");
    back_up_and_damage();
    host.ui.restore_dialog_choose_backup(0);
    ASSERT_DONE(host, BK_CMD_RESTORE, BKF_INTERACTIVE, &window);
    EXPECT_TRUE(host.data_intact());
    ASSERT_EQ(host.ui.restore_dialogs.size(), 1u);
    EXPECT_EQ(host.ui.restore_dialogs[0].catalogue, host.catalogue());
    EXPECT_EQ(host.ui.restore_dialogs[0].backup_folder, wide(host.backup_folder()));
    EXPECT_EQ(host.ui.restore_dialogs[0].archiver, bk::ARCHIVER_7ZIP);
    EXPECT_EQ(host.ui.headlines.back(), L"Выполняется восстановление из резервной копии...");
    // Same version, same database: no question, only the news that it worked.
    ASSERT_EQ(host.ui.boxes.size(), 1u);
    EXPECT_EQ(host.ui.boxes[0].text, bk::format_string(bk::ids::RESTORE_DONE, {host.catalogue()[0].filename}));
    EXPECT_EQ(host.ui.boxes[0].type, bk::MB_OK | bk::MB_ICONINFORMATION);

    host.damage_data();
    ASSERT_DONE(host, BK_CMD_RESTORE);
    EXPECT_EQ(host.content("data/a.dbf"), "second");
    EXPECT_EQ(host.ui.restore_dialogs.size(), 1u);
}

// Another version, another database, or an archive without its record: the
// user is asked; Cancel restores nothing, OK restores. Not in batch mode, and
// not for a version in the host's list.
TEST_F(RestoreCommand, MismatchesAreRestoredOnlyWhenTheUserAgrees) {
    const uint32_t warning = bk::MB_OKCANCEL | bk::MB_ICONWARNING;
    const std::string other = (host.root() / "base/other.shp").string();
    struct Case {
        std::function<void()> change;
        std::function<std::wstring()> question;
        uint32_t type;
    };
    const std::vector<Case> cases{
        {[&] { host.params["ver_type"] = "8.2"; },
         [] {
             return L"Внимание! Обнаружено несоответствие версии программы.\nТекущая версия: 8.2 (ПРОФ).\nВерсия "
                    L"резервной копии: 8.1 (ПРОФ).\n\nВосстановление из этой резервной копии может привести к "
                    L"неправильным результатам. ";
         },
         warning | bk::MB_DEFBUTTON2},
        {[&] { host.params["shp_path"] = other; },
         [] { return bk::format_string(bk::ids::DATABASE_MISMATCH, {L"other.shp", L"demo.shp"}); },
         warning | bk::MB_DEFBUTTON2},
        {[&] {
             // Another version would be asked about if the record were there.
             const std::string command = "7z d -bd '" + utf8(host.last_archive()) + "' fileinfo.xml >/dev/null";
             ASSERT_EQ(std::system(command.c_str()), 0);
             host.params["ver_type"] = "9.0";
         },
         [&] { return bk::format_string(bk::ids::NO_BACKUP_INFO, {host.last_archive()}); }, warning},
    };
    const auto standard = host.params;
    for (const auto& c : cases) {
        host.params = standard;
        host.ui.boxes.clear();
        back_up_and_damage();
        c.change();
        host.ui.answer_boxes_with({bk::IDCANCEL, bk::IDOK});
        EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_NOT_DONE);
        EXPECT_TRUE(host.messages().empty());
        EXPECT_FALSE(host.data_intact());
        ASSERT_EQ(host.ui.boxes.size(), 1u);
        EXPECT_EQ(host.ui.boxes[0].text, c.question());
        EXPECT_EQ(host.ui.boxes[0].type, c.type);
        EXPECT_DONE(host, BK_CMD_RESTORE);
        EXPECT_TRUE(host.data_intact());
    }

    host.ui.boxes.clear();
    host.params = standard;
    back_up_and_damage();
    host.params["ver_type"] = "8.0, 8.1";  // a list that holds the backup's version
    host.params["ver_family"] = "проф";
    EXPECT_DONE(host, BK_CMD_RESTORE);
    host.damage_data();
    host.params["shp_path"] = other;
    host.set_batch_restore(host.last_archive());
    EXPECT_DONE(host, BK_CMD_RESTORE);
    EXPECT_TRUE(host.data_intact());
    EXPECT_TRUE(host.ui.boxes.empty());
}

TEST_F(RestoreCommand, FilesThatCannotBePutBackAreListedAndTheRestGoesBack) {
    back_up_and_damage();
    fs::remove_all(host.root() / "data/sub");
    host.write("data/sub", "in the way");  // a file where the folder of c.dbf was
    EXPECT_DONE(host, BK_CMD_RESTORE, 0, &window);
    EXPECT_EQ(host.content("data/a.dbf"), "content of data/a.dbf");
    EXPECT_EQ(host.content("base/demo.shp"), "content of base/demo.shp");
    ASSERT_EQ(host.ui.restore_warnings_shown.size(), 1u);
    EXPECT_EQ(host.ui.restore_warnings_shown[0].archive, host.last_archive());
    ASSERT_EQ(host.ui.restore_warnings_shown[0].problems.size(), 1u);
    EXPECT_EQ(host.ui.restore_warnings_shown[0].problems[0].file, wide(host.root() / "data/sub/c.dbf"));
    EXPECT_TRUE(host.ui.boxes.empty());  // the list replaces the news that all went well
}

// The password belongs to the archive: a .7z archive is read by 7-Zip with
// it even while the settings choose RAR with another password.
TEST_F(RestoreCommand, AnEncryptedSevenZipArchiveIsRestoredWhileTheSettingsChooseRar) {
    auto settings = host.standard_settings();
    settings.archiver.password = L"секрет";
    host.save(settings);
    back_up_and_damage();
    settings.archiver = {bk::ARCHIVER_RAR, 3, L"", L"", L"", L"", L"другой"};
    host.save(settings);
    host.set_batch_restore(host.last_archive());
    host.params["batch_password"] = "секрет";
    EXPECT_DONE(host, BK_CMD_RESTORE);
    EXPECT_TRUE(host.data_intact());
}

TEST(SettingsCommand, TheConfirmedSheetIsSavedACanceledOneIsNot) {
    TestHost host;
    host.save(host.standard_settings());
    const std::string before = bktest::read_file(host.settings_file());
    host.ui.settings_sheet_cancel();
    EXPECT_EQ(host.run(BK_CMD_SETTINGS), BK_NOT_DONE);
    EXPECT_EQ(bktest::read_file(host.settings_file()), before);

    host.ui.settings_sheet_ok([](bk::SetupContext& context) { context.settings.save_hour = 18; });
    ASSERT_DONE(host, BK_CMD_SETTINGS);
    auto expected = host.standard_settings();
    expected.save_hour = 18;
    EXPECT_EQ(host.saved(), expected);
    ASSERT_EQ(host.ui.settings_sheets.size(), 2u);
    const auto& opened = host.ui.settings_sheets[1];
    EXPECT_EQ(opened.settings, host.standard_settings());
    EXPECT_EQ(std::tie(opened.root_path, opened.exe_path, opened.database_path),
              std::make_tuple(wide(host.root()), wide(host.root() / "host"), wide(host.root() / "base/demo.shp")));
    EXPECT_EQ(std::tie(opened.identity.dbname, opened.identity.workplace), std::make_tuple(L"demo.shp", 3));

    // A broken file opens with the defaults and is replaced.
    host.break_settings_file();
    host.ui.settings_sheet_ok();
    EXPECT_DONE(host, BK_CMD_SETTINGS);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(host.ui.settings_sheets.back().settings, bk::BackupSettings());
    EXPECT_EQ(host.saved(), bk::BackupSettings());
}

}  // namespace
}  // namespace cmdtest
