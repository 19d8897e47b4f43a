// Command 1 as a host drives it: batch runs, calls by the user with the
// backup dialog, the checks before any work, and every way it fails.
#include <gtest/gtest.h>

#include "app/commands/commands.h"
#include "app/string_table.h"
#include "commands/test_host.h"
#include "rkit/path.h"

namespace cmdtest {
namespace {

const char* const kNoDisplay = "no display: dialog cannot be shown";

std::string archiver_name(const ::testing::TestParamInfo<int32_t>& info) {
    return info.param == bk::ARCHIVER_RAR ? "Rar" : "SevenZip";
}

class BatchRoundTrip : public ::testing::TestWithParam<int32_t> {};

TEST_P(BatchRoundTrip, BatchBackupThenBatchRestoreBringsTheDataBack) {
    TestHost host(GetParam());
    host.save(host.standard_settings());
    host.set_batch_backup();
    host.params["batch_keeptime"] = "30";
    host.params["batch_comment"] = "перед закрытием месяца";
    // A batch run ignores the flags of the user's calls: no check only, no
    // dialog, no executable. The work is done here.
    ASSERT_EQ(host.run(BK_CMD_BACKUP, BKF_INTERACTIVE | BKF_CHECK_ONLY | BKF_EXTERNAL), BK_DONE)
        << ::testing::PrintToString(host.messages());
    EXPECT_TRUE(host.ui.backup_dialogs.empty());
    EXPECT_EQ(host.ui.headlines, std::vector<std::wstring>{L"Выполняется создание резервной копии..."});

    const auto records = host.catalogue();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].keeptime, 30);
    EXPECT_EQ(records[0].comment, L"перед закрытием месяца");
    EXPECT_EQ(records[0].version_type, L"8.1");
    EXPECT_EQ(records[0].version_family, L"ПРОФ");
    EXPECT_EQ(records[0].workplace, 3);
    EXPECT_EQ(records[0].dbname, L"demo.shp");
    EXPECT_EQ(records[0].username, L"Иванов");
    EXPECT_EQ(rkit::extract_ext(records[0].filename), GetParam() == bk::ARCHIVER_RAR ? L".rar" : L".7z");
    ASSERT_EQ(host.archives().size(), 1u);

    host.damage_data();
    host.set_batch_restore(host.last_archive());
    ASSERT_EQ(host.run(BK_CMD_RESTORE, BKF_INTERACTIVE | BKF_CHECK_ONLY | BKF_EXTERNAL), BK_DONE)
        << ::testing::PrintToString(host.messages());
    EXPECT_TRUE(host.data_intact());
    EXPECT_TRUE(host.ui.restore_dialogs.empty());
    // Without a window there is nobody to tell that it went well.
    EXPECT_TRUE(host.ui.boxes.empty());
}

TEST_P(BatchRoundTrip, BatchPasswordEncryptsAndIsNeededToRestore) {
    TestHost host(GetParam());
    auto settings = host.standard_settings();
    settings.archiver.password = L"из настроек";
    host.save(settings);
    host.set_batch_backup();
    host.params["batch_password"] = "секрет";
    ASSERT_EQ(host.run(BK_CMD_BACKUP), BK_DONE) << ::testing::PrintToString(host.messages());

    host.damage_data();
    host.set_batch_restore(host.last_archive());
    host.params["batch_password"] = "";  // present and empty: no password at all
    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_FAILED);
    EXPECT_FALSE(host.messages().empty());
    EXPECT_FALSE(host.data_intact());

    host.params["batch_password"] = "секрет";
    ASSERT_EQ(host.run(BK_CMD_RESTORE), BK_DONE) << ::testing::PrintToString(host.messages());
    EXPECT_TRUE(host.data_intact());
}

INSTANTIATE_TEST_SUITE_P(BothArchivers, BatchRoundTrip, ::testing::Values(bk::ARCHIVER_7ZIP, bk::ARCHIVER_RAR),
                         archiver_name);

class BackupCommand : public ::testing::Test {
protected:
    TestHost host;
};

TEST_F(BackupCommand, BatchValuesThatDoNotParseKeepTheDefaults) {
    host.save(host.standard_settings());
    host.set_batch_backup();
    host.params["batch_keeptime"] = "тридцать";
    host.params["batch_excl_comp"] = ";docs;;unused;";
    ASSERT_EQ(host.run(BK_CMD_BACKUP), BK_DONE) << ::testing::PrintToString(host.messages());
    ASSERT_EQ(host.catalogue().size(), 1u);
    EXPECT_EQ(host.catalogue()[0].keeptime, bk::KEEP_FOREVER);
    EXPECT_EQ(host.catalogue()[0].comment, L"");

    // The component docs was left out: a restore does not bring it back.
    host.damage_data();
    std::filesystem::remove_all(host.root() / "docs");
    host.set_batch_restore(host.last_archive());
    ASSERT_EQ(host.run(BK_CMD_RESTORE), BK_DONE) << ::testing::PrintToString(host.messages());
    EXPECT_FALSE(std::filesystem::exists(host.root() / "docs"));
    EXPECT_EQ(host.content("data/sub/c.dbf"), "content of data/sub/c.dbf");
    EXPECT_EQ(host.content("base/demo.shp"), "content of base/demo.shp");
}

TEST_F(BackupCommand, BatchSkipsPermissionsExclusiveAccessAndUsability) {
    auto settings = host.standard_settings();
    settings.exclude_permission.workplaces = {3};
    settings.options |= bk::OPT_CLOUD;  // no cloud account: not usable
    settings.cloud.service = L"";
    host.save(settings);
    host.set_batch_backup();
    host.params["db_exclusive_acc"] = "0";
    // Usability is not checked, but the cloud upload is only tried with an
    // account, so the backup itself goes through.
    EXPECT_EQ(host.run(BK_CMD_BACKUP), BK_DONE) << ::testing::PrintToString(host.messages());
    EXPECT_EQ(host.catalogue().size(), 1u);
}

TEST_F(BackupCommand, BatchOnceADayCountsOnlyBackupsOfThisDatabase) {
    host.save(host.standard_settings());
    host.set_batch_backup();
    host.params["batch_once_a_day"] = "1";
    ASSERT_EQ(host.run(BK_CMD_BACKUP), BK_DONE) << ::testing::PrintToString(host.messages());
    EXPECT_EQ(host.run(BK_CMD_BACKUP), BK_NOT_DONE);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(host.catalogue().size(), 1u);

    host.params["shp_path"] = (host.root() / "base/other.shp").string();
    EXPECT_EQ(host.run(BK_CMD_BACKUP), BK_DONE) << ::testing::PrintToString(host.messages());
    EXPECT_EQ(host.catalogue().size(), 2u);

    host.params["batch_once_a_day"] = "0";
    host.params["shp_path"] = (host.root() / "base/demo.shp").string();
    EXPECT_EQ(host.run(BK_CMD_BACKUP), BK_DONE);
    EXPECT_EQ(host.catalogue().size(), 3u);
}

TEST_F(BackupCommand, TheUserChoosesInTheDialogEvenWithoutTheInteractiveFlag) {
    auto settings = host.standard_settings();
    settings.default_keeptime = 30;
    host.save(settings);
    host.ui.backup_dialog_ok([](bk::AutoParams& params) {
        params.comment = L"ручная копия";
        params.keeptime = 90;
        params.excl_comp = {kDocs};
    });
    ASSERT_EQ(host.run(BK_CMD_BACKUP), BK_DONE) << ::testing::PrintToString(host.messages());

    ASSERT_EQ(host.ui.backup_dialogs.size(), 1u);
    const auto& shown = host.ui.backup_dialogs[0];
    // Only components some files belong to are offered.
    EXPECT_EQ(shown.components, (std::vector<bk::Component>{{kDocs, L"Документы"}}));
    EXPECT_EQ(shown.params.keeptime, 30);
    EXPECT_EQ(shown.params.comment, L"");
    EXPECT_TRUE(shown.params.excl_comp.empty());

    const auto records = host.catalogue();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].comment, L"ручная копия");
    EXPECT_EQ(records[0].keeptime, 90);
}

TEST_F(BackupCommand, ACanceledDialogMakesNothing) {
    host.save(host.standard_settings());
    host.ui.backup_dialog_cancel();
    EXPECT_EQ(host.run(BK_CMD_BACKUP, BKF_INTERACTIVE), BK_NOT_DONE);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_TRUE(host.archives().empty());
}

TEST_F(BackupCommand, WithoutADisplayTheDialogFailsTheCommand) {
    host.save(host.standard_settings());
    bk::set_user_interface(nullptr);  // the headless interface
    EXPECT_EQ(host.run(BK_CMD_BACKUP, BKF_INTERACTIVE), BK_FAILED);
    EXPECT_EQ(host.messages(), std::vector<std::string>{kNoDisplay});
    EXPECT_TRUE(host.archives().empty());
}

TEST_F(BackupCommand, CheckOnlyStopsBeforeAnyWork) {
    host.save(host.standard_settings());
    EXPECT_EQ(host.run(BK_CMD_BACKUP, BKF_CHECK_ONLY | BKF_INTERACTIVE), BK_DONE);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_TRUE(host.ui.backup_dialogs.empty());
    EXPECT_FALSE(std::filesystem::exists(host.backup_folder()));

    auto unusable = host.standard_settings();
    unusable.file_groups.clear();
    unusable.single_files.clear();
    host.save(unusable);
    EXPECT_EQ(host.run(BK_CMD_BACKUP, BKF_CHECK_ONLY), BK_FAILED);
    EXPECT_EQ(host.messages(), std::vector<std::string>{"Неправильные настройки, создание резервной копии невозможно."});
}

TEST_F(BackupCommand, ABrokenSettingsFileIsReportedOnlyToTheUser) {
    host.break_settings_file();
    EXPECT_EQ(host.run(BK_CMD_BACKUP, BKF_INTERACTIVE), BK_FAILED);
    const auto messages = host.messages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages.back(), message(bk::ids::ERR_LOAD_SETTINGS, {wide(host.settings_file())}));

    // Nobody asked for an automatic backup: nothing to report.
    for (uint32_t event : {BK_EVENT_ENTERING, BK_EVENT_LEAVING, BK_EVENT_CLOCK}) {
        EXPECT_EQ(host.run(BK_CMD_BACKUP, BKF_AUTOMATIC | BKF_MAKE_EVENT(event)), BK_NOT_DONE);
        EXPECT_TRUE(host.messages().empty());
    }
    EXPECT_TRUE(host.ui.backup_dialogs.empty());
}

TEST_F(BackupCommand, MissingHostValuesAreReported) {
    host.save(host.standard_settings());
    host.set_batch_backup();

    auto without = [&](const char* key) {
        const auto kept = host.params;
        host.params.erase(key);
        const uint32_t result = host.run(BK_CMD_BACKUP);
        host.params = kept;
        return result;
    };
    EXPECT_EQ(without("root_path"), BK_FAILED);
    EXPECT_EQ(host.messages(), std::vector<std::string>{"root_path parameter not found"});
    EXPECT_EQ(without("common_path"), BK_FAILED);
    EXPECT_EQ(host.messages(), std::vector<std::string>{message(bk::ids::ERR_BASIC_FOLDER, {L"ОБЩ_ДИР"})});
    EXPECT_EQ(without("rek_path"), BK_FAILED);
    EXPECT_EQ(host.messages(), std::vector<std::string>{message(bk::ids::ERR_FILE_LOCATION, {L"ТЕК_REK"})});
    EXPECT_TRUE(host.archives().empty());
}

TEST_F(BackupCommand, ABackupFolderOutsideAnyPathFailsWithoutAMessage) {
    auto settings = host.standard_settings();
    settings.backup_folder = L"../../../../../../../../../../../../../../../../x";
    host.save(settings);
    host.set_batch_backup();
    EXPECT_EQ(host.run(BK_CMD_BACKUP), BK_FAILED);
    EXPECT_TRUE(host.messages().empty());
}

TEST_F(BackupCommand, AFailedTaskLeavesNoArchiveAndReportsWhy) {
    auto settings = host.standard_settings();
    settings.archiver.exe_path = wide(host.root() / "no-such-folder" / "7z");
    host.save(settings);
    host.set_batch_backup();
    EXPECT_EQ(host.run(BK_CMD_BACKUP), BK_FAILED);
    EXPECT_FALSE(host.messages().empty());
    EXPECT_TRUE(host.archives().empty());
    EXPECT_TRUE(host.catalogue().empty());
}

TEST_F(BackupCommand, ACanceledTaskIsNoError) {
    host.save(host.standard_settings());
    host.set_batch_backup();
    host.ui.status.cancel_after_updates(1);
    EXPECT_EQ(host.run(BK_CMD_BACKUP), BK_NOT_DONE);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_TRUE(host.archives().empty());
}

TEST_F(BackupCommand, OneCommandAtATime) {
    host.save(host.standard_settings());
    std::vector<uint32_t> nested;
    std::vector<size_t> nested_messages;
    // A host timer fires while the backup dialog is open.
    host.ui.backup_dialog_ok([&](bk::AutoParams&) {
        for (int32_t command : {BK_CMD_BACKUP, BK_CMD_RESTORE, BK_CMD_SETTINGS, BK_CMD_END_OF_WORK}) {
            nested.push_back(host.run(command, BKF_INTERACTIVE));
            nested_messages.push_back(host.messages().size());
        }
    });
    EXPECT_EQ(host.run(BK_CMD_BACKUP, BKF_INTERACTIVE), BK_DONE);
    EXPECT_EQ(nested, (std::vector<uint32_t>{BK_NOT_DONE, BK_NOT_DONE, BK_NOT_DONE, BK_NOT_DONE}));
    EXPECT_EQ(nested_messages, (std::vector<size_t>{0, 0, 0, 0}));
    EXPECT_EQ(host.catalogue().size(), 1u);
}

}  // namespace
}  // namespace cmdtest
