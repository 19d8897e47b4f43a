// Command 1 as a host drives it: batch runs with both archivers, the user's
// dialog, the automatic events with the settings that switch them on, who may
// make backups, once a day, exclusive access and the clock cache.
#include <gtest/gtest.h>

#include <tuple>

#include "app/test_host.h"
#include "rkit/clock.h"
#include "rkit/path.h"
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

// The automatic events through the command (the rules themselves are the
// sched tests'): an event backs up with its own parameters, asks first when
// the settings say so, and is refused quietly for a forbidden workplace or
// without the exclusive access it needs. The clock reads everything once,
// then answers from its cache without asking the host, until the settings
// are confirmed again.
TEST(AutomaticBackup, EventsThroughTheCommand) {
    TestHost host;
    const auto at = [](int hour) {
        rkit::timestamp t;
        t.put(rkit::date(4, 3, 2024), rkit::time(hour, 0, 0));
        rkit::clock::set_fixed(t);
    };
    at(9);
    bk::BackupSettings settings = host.standard_settings();
    const auto run = [&](uint32_t flags) {
        host.save(settings);
        host.questions = 0;
        return host.run(BK_CMD_BACKUP, flags);
    };
    EXPECT_EQ(run(kEntering), BK_NOT_DONE);  // switched off
    settings.options |= bk::OPT_ON_ENTER | bk::OPT_ON_EXIT | bk::OPT_EXIT_CONFIRM | bk::OPT_BY_CLOCK;
    settings.enter_param.keeptime = 90;
    EXPECT_EQ(run(kEntering | BKF_CHECK_ONLY), BK_DONE);
    EXPECT_EQ(run(kEntering), BK_DONE);
    ASSERT_EQ(host.catalogue().size(), 1u);
    EXPECT_EQ(std::tie(host.catalogue()[0].comment, host.catalogue()[0].keeptime),
              std::make_tuple(bk::load_string(bk::ids::COMMENT_ON_ENTER), 90));

    settings.exit_param.comment = L"при выходе";
    host.ui.backup_dialog_cancel();
    EXPECT_EQ(run(kLeaving), BK_NOT_DONE);
    ASSERT_EQ(host.ui.backup_dialogs.size(), 1u);
    EXPECT_EQ(host.ui.backup_dialogs[0].params.comment, L"при выходе");

    settings.enter_param.flags = bk::AUTO_DB_EXCLUSIVE;
    host.params["db_exclusive_acc"] = "0";
    EXPECT_EQ(run(kEntering), BK_NOT_DONE);
    host.params.erase("db_exclusive_acc");
    settings.exclude_permission.workplaces = {3};
    EXPECT_EQ(run(BKF_INTERACTIVE), BK_NOT_DONE);
    EXPECT_EQ(host.ui.backup_dialogs.size(), 1u);
    EXPECT_TRUE(host.messages().empty());
    settings.exclude_permission.workplaces.clear();

    settings.save_hour = 12;
    at(11);
    EXPECT_EQ(run(kClock), BK_NOT_DONE);
    at(12);
    EXPECT_EQ(run(kClock), BK_DONE);
    EXPECT_EQ(host.catalogue().back().comment, bk::load_string(bk::ids::COMMENT_BY_CLOCK));
    at(13);
    EXPECT_EQ(run(kClock), BK_NOT_DONE);
    host.questions = 0;
    EXPECT_EQ(host.run(BK_CMD_BACKUP, kClock), BK_NOT_DONE);
    EXPECT_EQ(host.questions, 0);  // the cache answered
    host.ui.settings_sheet_ok([](bk::SetupContext& context) { context.settings.save_hour = 14; });
    ASSERT_DONE(host, BK_CMD_SETTINGS);
    at(15);
    EXPECT_EQ(host.run(BK_CMD_BACKUP, kClock), BK_DONE);
    EXPECT_EQ(host.catalogue().size(), 3u);
}

}  // namespace
}  // namespace cmdtest
