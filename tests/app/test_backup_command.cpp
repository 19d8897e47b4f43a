// Command 1 as a host drives it: batch runs with both archivers, the user's
// dialog, the automatic events with the settings that switch them on, who may
// make backups, once a day, exclusive access and the clock cache.
#include <gtest/gtest.h>

#include <tuple>

#include "app/test_host.h"
#include "rkit/clock.h"
#include "rkit/path.h"
#include "rkit/system.h"
#include "rkit/text.h"

namespace cmdtest {
namespace {

const uint32_t kEntering = BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_ENTERING);
const uint32_t kLeaving = BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_LEAVING);
const uint32_t kClock = BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_CLOCK);

class BatchRoundTrip : public ::testing::TestWithParam<int32_t> {};

TEST_P(BatchRoundTrip, BackupThenRestoreBringsTheDataBack) {
    TestHost host(GetParam());
    auto settings = host.standard_settings();
    settings.archiver.password = L"из настроек";
    host.save(settings);
    host.set_batch_backup();
    host.params["batch_keeptime"] = "30";
    host.params["batch_comment"] = "перед закрытием месяца";
    host.params["batch_password"] = "секрет";
    // A batch run ignores the flags of the user's calls: no check only, no dialog, no executable.
    const uint32_t ignored = BKF_INTERACTIVE | BKF_CHECK_ONLY | BKF_EXTERNAL;
    ASSERT_DONE(host, BK_CMD_BACKUP, ignored);
    EXPECT_EQ(host.ui.headlines, std::vector<std::wstring>{L"Выполняется создание резервной копии..."});
    ASSERT_EQ(host.catalogue().size(), 1u);
    const auto r = host.catalogue()[0];
    EXPECT_EQ(std::tie(r.keeptime, r.comment, r.identity.ver_type, r.identity.ver_family, r.identity.workplace,
                       r.identity.dbname, r.identity.username),
              std::make_tuple(30, L"перед закрытием месяца", L"8.1", L"ПРОФ", 3, L"demo.shp", L"Иванов"));
    EXPECT_EQ(rkit::extract_ext(r.filename), GetParam() == bk::ARCHIVER_RAR ? L".rar" : L".7z");
    EXPECT_EQ(host.archives().size(), 1u);

    // The batch password encrypted it; present and empty means no password.
    host.damage_data();
    host.set_batch_restore(host.last_archive());
    host.params["batch_password"] = "";
    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_FAILED);
    EXPECT_FALSE(host.messages().empty() || host.data_intact());
    host.params["batch_password"] = "секрет";
    ASSERT_DONE(host, BK_CMD_RESTORE, ignored);
    EXPECT_TRUE(host.data_intact());
    // No dialog, and without a window nobody to tell that it went well.
    EXPECT_TRUE(host.ui.backup_dialogs.empty() && host.ui.restore_dialogs.empty() && host.ui.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(BothArchivers, BatchRoundTrip, ::testing::Values(bk::ARCHIVER_7ZIP, bk::ARCHIVER_RAR),
                         [](const auto& info) { return info.param == bk::ARCHIVER_RAR ? "Rar" : "SevenZip"; });

// Values that do not parse keep the defaults; excluded components are not
// restored; permissions, exclusive access and usability are not checked.
TEST(BackupCommand, BatchValuesAndWhatBatchModeSkips) {
    TestHost host;
    auto settings = host.standard_settings();
    settings.exclude_permission.workplaces = {3};
    settings.options |= bk::OPT_CLOUD;  // no cloud account: not usable, and no upload is tried
    host.save(settings);
    host.set_batch_backup();
    host.params["db_exclusive_acc"] = "0";
    host.params["batch_keeptime"] = "тридцать";
    host.params["batch_excl_comp"] = ";docs;;unused;";
    ASSERT_DONE(host, BK_CMD_BACKUP);
    ASSERT_EQ(host.catalogue().size(), 1u);
    EXPECT_EQ(host.catalogue()[0].keeptime, bk::KEEP_FOREVER);
    EXPECT_EQ(host.catalogue()[0].comment, L"");

    host.save(host.standard_settings());  // a restore does check usability
    host.damage_data();
    fs::remove_all(host.root() / "docs");
    host.set_batch_restore(host.last_archive());
    ASSERT_DONE(host, BK_CMD_RESTORE);
    EXPECT_FALSE(fs::exists(host.root() / "docs"));
    EXPECT_EQ(host.content("data/sub/c.dbf"), "content of data/sub/c.dbf");
    EXPECT_EQ(host.content("base/demo.shp"), "content of base/demo.shp");
}

TEST(BackupCommand, BatchOnceADayCountsOnlyBackupsOfThisDatabase) {
    TestHost host;
    host.save(host.standard_settings());
    host.set_batch_backup();
    const std::string demo = host.params["shp_path"], other = (host.root() / "base/other.shp").string();
    for (const auto& [shp, once, result, count] : {std::tuple{demo, "1", BK_DONE, 1u}, {demo, "1", BK_NOT_DONE, 1u},
                                                   {other, "1", BK_DONE, 2u}, {demo, "0", BK_DONE, 3u}}) {
        host.params["shp_path"] = shp;
        host.params["batch_once_a_day"] = once;
        EXPECT_EQ(host.run(BK_CMD_BACKUP), result);
        EXPECT_TRUE(host.messages().empty());
        EXPECT_EQ(host.catalogue().size(), count);
    }
}

// A host timer fires while the backup dialog is open: every command is refused quietly.
TEST(BackupCommand, OneCommandAtATime) {
    TestHost host;
    host.save(host.standard_settings());
    std::vector<std::pair<uint32_t, size_t>> nested;
    host.ui.backup_dialog_ok([&](bk::AutoParams&) {
        for (int32_t command : {BK_CMD_BACKUP, BK_CMD_RESTORE, BK_CMD_SETTINGS, BK_CMD_END_OF_WORK})
            nested.emplace_back(host.run(command, BKF_INTERACTIVE), host.messages().size());
    });
    EXPECT_DONE(host, BK_CMD_BACKUP, BKF_INTERACTIVE);
    EXPECT_EQ(nested, (std::vector<std::pair<uint32_t, size_t>>(4, {BK_NOT_DONE, 0})));
    EXPECT_EQ(host.catalogue().size(), 1u);
}

// Every command answers whether it could run and does nothing; end of work in
// batch mode has nothing to hand over.
TEST(CheckOnly, EveryCommandAnswersWithoutWorking) {
    TestHost host;
    host.save(host.standard_settings());
    const std::string settings = bktest::read_file(host.settings_file());
    for (int32_t command : {BK_CMD_BACKUP, BK_CMD_RESTORE, BK_CMD_SETTINGS, BK_CMD_END_OF_WORK})
        EXPECT_DONE(host, command, BKF_CHECK_ONLY | BKF_INTERACTIVE);
    host.set_batch_backup();
    EXPECT_DONE(host, BK_CMD_END_OF_WORK);
    EXPECT_TRUE(host.ui.backup_dialogs.empty() && host.ui.restore_dialogs.empty() && host.ui.settings_sheets.empty());
    EXPECT_FALSE(fs::exists(host.backup_folder()) || fs::exists(host.root() / "vdbackup_host.xml"));
    EXPECT_EQ(bktest::read_file(host.settings_file()), settings);
}

class AutomaticBackup : public ::testing::Test {
protected:
    uint32_t run(uint32_t flags) {
        host.save(settings);
        return host.run(BK_CMD_BACKUP, flags);
    }
    size_t backups() const { return host.catalogue().size(); }

    TestHost host;
    bk::BackupSettings settings = host.standard_settings();
};

TEST_F(AutomaticBackup, OnEnteringAndOnLeavingEachWhenSwitchedOn) {
    EXPECT_EQ(run(kEntering | BKF_CHECK_ONLY), BK_NOT_DONE);
    EXPECT_EQ(run(kEntering), BK_NOT_DONE);
    settings.options |= bk::OPT_ON_ENTER | bk::OPT_EXIT_CONFIRM;
    settings.enter_param.keeptime = 90;
    settings.enter_param.excl_comp = {kDocs};
    EXPECT_EQ(run(kEntering | BKF_CHECK_ONLY), BK_DONE);
    EXPECT_EQ(backups(), 0u);
    EXPECT_EQ(run(kEntering), BK_DONE);
    ASSERT_EQ(backups(), 1u);
    EXPECT_EQ(host.catalogue()[0].comment, bk::load_string(bk::ids::COMMENT_ON_ENTER));
    EXPECT_EQ(host.catalogue()[0].keeptime, 90);
    EXPECT_EQ(run(kLeaving), BK_NOT_DONE);  // switched on separately

    // On leaving, asking first: Cancel, then OK with the event's parameters.
    settings.options |= bk::OPT_ON_EXIT;
    settings.exit_param.comment = L"при выходе";
    EXPECT_EQ(run(kLeaving | BKF_CHECK_ONLY), BK_DONE);
    host.ui.backup_dialog_cancel();
    host.ui.backup_dialog_ok();
    EXPECT_EQ(run(kLeaving), BK_NOT_DONE);
    EXPECT_EQ(run(kLeaving), BK_DONE);
    ASSERT_EQ(host.ui.backup_dialogs.size(), 2u);
    EXPECT_EQ(host.ui.backup_dialogs[0].params.comment, L"при выходе");
    ASSERT_EQ(backups(), 2u);
    EXPECT_EQ(host.catalogue()[1].comment, L"при выходе");

    // A change of database counts only when asked for, for each event.
    EXPECT_EQ(run(kEntering | BKF_DB_CHANGE), BK_NOT_DONE);
    EXPECT_EQ(run(kLeaving | BKF_DB_CHANGE), BK_NOT_DONE);
    settings.options |= bk::OPT_ENTER_ON_DB_CHANGE | bk::OPT_EXIT_ON_DB_CHANGE;
    host.ui.backup_dialog_ok();
    EXPECT_EQ(run(kEntering | BKF_DB_CHANGE), BK_DONE);
    EXPECT_EQ(run(kLeaving | BKF_DB_CHANGE), BK_DONE);
    EXPECT_EQ(backups(), 4u);

    // An unknown event is a call by the user, with the dialog.
    settings.default_keeptime = 365;
    host.ui.backup_dialog_ok();
    EXPECT_EQ(run(BKF_AUTOMATIC | BKF_MAKE_EVENT(0x05)), BK_DONE);
    EXPECT_EQ(host.ui.backup_dialogs.back().params.keeptime, 365);
}

TEST_F(AutomaticBackup, OnceADayAndExclusiveAccess) {
    settings.options |= bk::OPT_ON_ENTER;
    settings.enter_param.flags = bk::AUTO_ONCE_A_DAY;
    EXPECT_EQ(run(kEntering), BK_DONE);
    EXPECT_EQ(run(kEntering), BK_NOT_DONE);
    EXPECT_TRUE(host.messages().empty());
    host.params["shp_path"] = (host.root() / "base/other.shp").string();  // today's backups are of another database
    EXPECT_EQ(run(kEntering), BK_DONE);

    host.params["db_exclusive_acc"] = "0";
    settings.enter_param.flags = 0;
    EXPECT_EQ(run(kEntering), BK_DONE);  // not asked for
    settings.enter_param.flags = bk::AUTO_DB_EXCLUSIVE;
    EXPECT_EQ(run(kEntering), BK_NOT_DONE);
    host.params.erase("db_exclusive_acc");  // a host that does not say has it
    EXPECT_EQ(run(kEntering), BK_DONE);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(backups(), 4u);
}

// By the clock once a day from the save hour. After each backup one event
// reads everything; the rest of the day is answered from the clock cache
// without asking the host anything, until the settings change.
TEST_F(AutomaticBackup, ByTheClockReadingEverythingOnlyOnceADay) {
    const auto at = [](int day, int hour, int minute) {
        rkit::timestamp t;
        t.put(rkit::date(day, 3, 2024), rkit::time(hour, minute, 0));
        rkit::clock::set_fixed(t);
    };
    const auto asked = [&](uint32_t result) {
        host.questions = 0;
        EXPECT_EQ(host.run(BK_CMD_BACKUP, kClock), result);
        return host.questions > 0;
    };
    settings.save_hour = 12;
    at(4, 12, 30);
    EXPECT_EQ(run(kClock), BK_NOT_DONE);  // switched off
    settings.options |= bk::OPT_BY_CLOCK;
    at(4, 11, 59);
    EXPECT_EQ(run(kClock), BK_NOT_DONE);
    at(4, 12, 0);
    ASSERT_EQ(run(kClock), BK_DONE) << ::testing::PrintToString(host.messages());
    ASSERT_EQ(backups(), 1u);
    EXPECT_EQ(host.catalogue()[0].comment, bk::load_string(bk::ids::COMMENT_BY_CLOCK));
    EXPECT_EQ(host.catalogue()[0].time, rkit::clock::now());
    EXPECT_TRUE(host.ui.backup_dialogs.empty());

    at(4, 13, 0);
    EXPECT_TRUE(asked(BK_NOT_DONE));
    for (const auto& [day, hour, minute] : {std::tuple{4, 14, 0}, {4, 23, 59}, {5, 0, 0}, {5, 11, 59}}) {
        at(day, hour, minute);
        EXPECT_FALSE(asked(BK_NOT_DONE));
    }
    at(5, 12, 0);
    EXPECT_TRUE(asked(BK_DONE));
    at(5, 13, 0);
    EXPECT_TRUE(asked(BK_NOT_DONE));
    at(6, 8, 0);
    EXPECT_FALSE(asked(BK_NOT_DONE));
    // Settings confirmed in the sheet count from the next event.
    host.ui.settings_sheet_ok([](bk::SetupContext& context) { context.settings.save_hour = 7; });
    ASSERT_DONE(host, BK_CMD_SETTINGS);
    EXPECT_TRUE(asked(BK_DONE));
    EXPECT_EQ(backups(), 3u);
}

// Workplaces and logins compare exactly, computers without regard to case; an
// absent value is not checked. A forbidden user is not even asked.
TEST_F(AutomaticBackup, PermissionsOfWorkplacesLoginsAndComputers) {
    auto permitted = [&] {
        const uint32_t result = run(BKF_CHECK_ONLY);
        EXPECT_TRUE(host.messages().empty());
        return result == BK_DONE;
    };
    settings.include_permission.workplaces = {1, 3};
    settings.exclude_permission.workplaces = {1};
    EXPECT_TRUE(permitted());
    host.params["workplace"] = "1";  // in both lists
    EXPECT_FALSE(permitted());
    host.params["workplace"] = "2";  // not included
    EXPECT_FALSE(permitted());
    settings.options |= bk::OPT_ON_ENTER;
    EXPECT_EQ(run(BKF_INTERACTIVE), BK_NOT_DONE);
    EXPECT_EQ(run(kEntering), BK_NOT_DONE);
    EXPECT_TRUE(host.ui.backup_dialogs.empty());
    EXPECT_EQ(backups(), 0u);
    host.params.erase("workplace");
    EXPECT_TRUE(permitted());

    settings.include_permission.logins = {L"иванов"};
    EXPECT_FALSE(permitted());
    settings.include_permission.logins = {L"Иванов", L"Петров"};
    EXPECT_TRUE(permitted());
    settings.exclude_permission.logins = {L"Иванов"};
    EXPECT_FALSE(permitted());
    host.params.erase("username");
    EXPECT_TRUE(permitted());

    const std::wstring computer = rkit::get_system_name();
    settings.include_permission.workstations = {L"ДРУГОЙ-ПК"};
    EXPECT_FALSE(permitted());
    settings.include_permission.workstations = {L"ДРУГОЙ-ПК", rkit::to_upper(computer)};
    EXPECT_TRUE(permitted());
    settings.exclude_permission.workstations = {computer};
    EXPECT_FALSE(permitted());
}

}  // namespace
}  // namespace cmdtest
