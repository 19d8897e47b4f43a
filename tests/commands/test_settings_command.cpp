// Commands 3 and 4: the settings sheet and what is saved after it, and the
// hand-over at the end of the host's work.
#include <gtest/gtest.h>

#include "app/string_table.h"
#include "commands/test_host.h"
#include "rkit/clock.h"

namespace cmdtest {
namespace {

class SettingsCommand : public ::testing::Test {
protected:
    TestHost host;
};

TEST_F(SettingsCommand, TheConfirmedSheetIsSaved) {
    host.save(host.standard_settings());
    host.ui.settings_sheet_ok([](bk::SetupContext& context) {
        context.settings.backup_folder = L"копии";
        context.settings.save_hour = 18;
    });
    ASSERT_EQ(host.run(BK_CMD_SETTINGS), BK_DONE) << ::testing::PrintToString(host.messages());

    auto expected = host.standard_settings();
    expected.backup_folder = L"копии";
    expected.save_hour = 18;
    EXPECT_EQ(host.saved(), expected);

    ASSERT_EQ(host.ui.settings_sheets.size(), 1u);
    const auto& opened = host.ui.settings_sheets[0];
    EXPECT_EQ(opened.root_path, wide(host.root()));
    EXPECT_EQ(opened.exe_path, wide(host.root() / "host"));
    EXPECT_EQ(opened.database_path, wide(host.root() / "base/demo.shp"));
    EXPECT_EQ(opened.settings, host.standard_settings());
    EXPECT_EQ(opened.basic_folders.size(), 15u);
    EXPECT_EQ(opened.file_locations.size(), 3u);
    EXPECT_EQ(opened.identity.dbname, L"demo.shp");
    EXPECT_EQ(opened.identity.workplace, 3);
    EXPECT_NE(opened.params, nullptr);
}

TEST_F(SettingsCommand, ACanceledSheetLeavesTheFileAlone) {
    host.save(host.standard_settings());
    const std::string before = bktest::read_file(host.settings_file());
    host.ui.settings_sheet_cancel();
    EXPECT_EQ(host.run(BK_CMD_SETTINGS), BK_NOT_DONE);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(bktest::read_file(host.settings_file()), before);
}

TEST_F(SettingsCommand, ABrokenFileOpensWithTheDefaultsAndIsReplaced) {
    host.break_settings_file();
    host.ui.settings_sheet_ok();
    EXPECT_EQ(host.run(BK_CMD_SETTINGS), BK_DONE);
    EXPECT_TRUE(host.messages().empty());
    ASSERT_EQ(host.ui.settings_sheets.size(), 1u);
    EXPECT_EQ(host.ui.settings_sheets[0].settings, bk::BackupSettings());
    EXPECT_EQ(host.saved(), bk::BackupSettings());
}

TEST_F(SettingsCommand, ASettingsFileThatCannotBeWritten) {
    std::filesystem::create_directories(host.settings_file());  // a folder in its place
    host.ui.settings_sheet_ok();
    EXPECT_EQ(host.run(BK_CMD_SETTINGS), BK_FAILED);
    ASSERT_FALSE(host.messages().empty());
    EXPECT_EQ(host.messages().back(), message(bk::ids::ERR_SAVE_SETTINGS, {wide(host.settings_file())}));
}

TEST_F(SettingsCommand, CheckOnlyAndMissingHostValues) {
    EXPECT_EQ(host.run(BK_CMD_SETTINGS, BKF_CHECK_ONLY), BK_DONE);
    EXPECT_TRUE(host.ui.settings_sheets.empty());
    EXPECT_FALSE(std::filesystem::exists(host.settings_file()));

    host.params.erase("vdx_path");
    EXPECT_EQ(host.run(BK_CMD_SETTINGS, BKF_CHECK_ONLY), BK_FAILED);
    EXPECT_EQ(host.messages(), std::vector<std::string>{message(bk::ids::ERR_BASIC_FOLDER, {L"ДИР_ВЫВОДА"})});
    host.params.erase("root_path");
    EXPECT_EQ(host.run(BK_CMD_SETTINGS), BK_FAILED);
    EXPECT_EQ(host.messages(), std::vector<std::string>{"root_path parameter not found"});
}

TEST_F(SettingsCommand, WithoutADisplayTheSheetFailsTheCommand) {
    bk::set_user_interface(nullptr);
    EXPECT_EQ(host.run(BK_CMD_SETTINGS), BK_FAILED);
    EXPECT_EQ(host.messages(), std::vector<std::string>{"no display: dialog cannot be shown"});
    EXPECT_FALSE(std::filesystem::exists(host.settings_file()));
}

TEST_F(SettingsCommand, ConfirmedSettingsCountFromTheNextClockEvent) {
    auto settings = host.standard_settings();
    settings.options |= bk::OPT_BY_CLOCK;
    settings.save_hour = 20;
    host.save(settings);
    rkit::timestamp noon;
    noon.put(rkit::date(4, 3, 2024), rkit::time(12, 0, 0));
    rkit::clock::set_fixed(noon);
    const uint32_t clock = BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_CLOCK);
    EXPECT_EQ(host.run(BK_CMD_BACKUP, clock), BK_NOT_DONE);  // not yet 20:00; now cached
    host.questions = 0;
    EXPECT_EQ(host.run(BK_CMD_BACKUP, clock), BK_NOT_DONE);
    EXPECT_EQ(host.questions, 0);

    host.ui.settings_sheet_ok([](bk::SetupContext& context) { context.settings.save_hour = 9; });
    ASSERT_EQ(host.run(BK_CMD_SETTINGS), BK_DONE);
    EXPECT_EQ(host.run(BK_CMD_BACKUP, clock), BK_DONE) << ::testing::PrintToString(host.messages());
    EXPECT_EQ(host.catalogue().size(), 1u);
}

TEST_F(SettingsCommand, EndOfWorkStartsNothingInBatchModeOrWhenOnlyChecking) {
    EXPECT_EQ(host.run(BK_CMD_END_OF_WORK, BKF_CHECK_ONLY), BK_DONE);
    host.set_batch_backup();
    EXPECT_EQ(host.run(BK_CMD_END_OF_WORK), BK_DONE);
    EXPECT_TRUE(host.messages().empty());
    // No profile was written for an executable that was not started.
    EXPECT_FALSE(std::filesystem::exists(host.root() / "vdbackup_host.xml"));
}

}  // namespace
}  // namespace cmdtest
