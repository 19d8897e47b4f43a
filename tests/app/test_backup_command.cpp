// Command 1 as a host drives it: batch runs with both archivers, the
// automatic events, check-only calls and one command at a time.
#include <gtest/gtest.h>

#include <tuple>

#include "app/test_host.h"

namespace cmdtest {
namespace {

const int32_t kCommands[] = {BK_CMD_BACKUP, BK_CMD_RESTORE, BK_CMD_SETTINGS, BK_CMD_END_OF_WORK};

// A batch backup takes its values from the host and checks nothing a user's
// call checks (permissions, exclusive access, usability). The batch restore
// reads the archive with the batch password, whichever archiver the settings
// choose by then, and leaves the excluded components out.
class BatchRoundTrip : public ::testing::TestWithParam<int32_t> {};

TEST_P(BatchRoundTrip, BackupThenRestoreBringsTheDataBack) {
    TestHost host(GetParam());
    auto settings = host.standard_settings();
    settings.archiver.password = L"из настроек";
    settings.exclude_permission.workplaces = {3};
    settings.options |= bk::OPT_CLOUD;  // no cloud account: not usable, and no upload is tried
    host.save(settings);
    host.set_batch_backup();
    host.params.insert({{"batch_keeptime", "30"}, {"batch_comment", "перед закрытием месяца"},
                        {"batch_password", "секрет"}, {"batch_excl_comp", ";docs;;unused;"}, {"db_exclusive_acc", "0"}});
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
    host.params["batch_once_a_day"] = "1";
    EXPECT_EQ(host.run(BK_CMD_BACKUP), BK_NOT_DONE);
    EXPECT_EQ(host.archives().size(), 1u);

    host.damage_data();
    fs::remove_all(host.root() / "docs");
    settings = host.standard_settings();
    settings.archiver = {bk::ARCHIVER_RAR, 3, L"", L"", L"", L"", L"другой"};
    host.save(settings);
    host.set_batch_restore(host.last_archive());
    host.params["batch_password"] = "";  // present and empty: no password
    EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_FAILED);
    EXPECT_FALSE(host.messages().empty());
    host.params["batch_password"] = "секрет";
    ASSERT_DONE(host, BK_CMD_RESTORE, ignored);
    for (const auto& rel : TestHost::data_files())
        EXPECT_EQ(host.content(rel), rel.starts_with("docs/") ? "" : "content of " + rel) << rel;
    // No dialog, and without a window nobody to tell that it went well.
    EXPECT_TRUE(host.ui.backup_dialogs.empty() && host.ui.restore_dialogs.empty() && host.ui.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(BothArchivers, BatchRoundTrip, ::testing::Values(bk::ARCHIVER_7ZIP, bk::ARCHIVER_RAR),
                         [](const auto& info) { return info.param == bk::ARCHIVER_RAR ? "Rar" : "SevenZip"; });

// Every command answers a check without working, and none runs while another
// is under way: a host timer fires while the backup dialog is open.
TEST(BackupCommand, CheckOnlyAndOneCommandAtATime) {
    TestHost host;
    const std::string settings = bktest::read_file(host.settings_file());
    for (int32_t command : kCommands) EXPECT_DONE(host, command, BKF_CHECK_ONLY | BKF_INTERACTIVE);
    host.set_batch_backup();
    EXPECT_DONE(host, BK_CMD_END_OF_WORK);  // nothing to hand over in batch mode
    EXPECT_TRUE(host.ui.backup_dialogs.empty() && host.ui.restore_dialogs.empty() && host.ui.settings_sheets.empty());
    EXPECT_FALSE(fs::exists(host.backup_folder()) || fs::exists(host.root() / "vdbackup_host.xml"));
    EXPECT_EQ(bktest::read_file(host.settings_file()), settings);

    host.params.erase("batch");
    std::vector<std::pair<uint32_t, size_t>> nested;
    host.ui.backup_dialog_ok([&](bk::AutoParams&) {
        for (int32_t command : kCommands)
            nested.emplace_back(host.run(command, BKF_INTERACTIVE), host.messages().size());
    });
    EXPECT_DONE(host, BK_CMD_BACKUP, BKF_INTERACTIVE);
    EXPECT_EQ(nested, (std::vector<std::pair<uint32_t, size_t>>(4, {BK_NOT_DONE, 0})));
    EXPECT_EQ(host.catalogue().size(), 1u);
}

// One pass of the automatic events through the command (their rules are the
// sched tests'): an event backs up with its own parameters, asks first when
// the settings say so, and is refused quietly without the exclusive access it
// needs. The clock answers from its cache without asking the host until a
// backup or confirmed settings clear it.
TEST(AutomaticBackup, EventsThroughTheCommand) {
    const auto at = [](int hour) {
        rkit::timestamp t;
        t.put(rkit::date(4, 3, 2024), rkit::time(hour, 0, 0));
        rkit::clock::set_fixed(t);
    };
    const auto event = [](uint32_t kind) { return BKF_AUTOMATIC | BKF_MAKE_EVENT(kind); };
    at(9);
    TestHost host;
    bk::BackupSettings settings = host.standard_settings();
    settings.options |= bk::OPT_ON_ENTER | bk::OPT_ON_EXIT | bk::OPT_EXIT_CONFIRM | bk::OPT_BY_CLOCK;
    settings.enter_param.keeptime = 90;
    settings.exit_param.comment = L"при выходе";
    settings.save_hour = 12;
    host.save(settings);
    EXPECT_EQ(host.run(BK_CMD_BACKUP, event(BK_EVENT_ENTERING)), BK_DONE);
    ASSERT_EQ(host.catalogue().size(), 1u);
    EXPECT_EQ(std::tie(host.catalogue()[0].comment, host.catalogue()[0].keeptime),
              std::make_tuple(bk::load_string(bk::ids::COMMENT_ON_ENTER), 90));
    host.ui.backup_dialog_cancel();
    EXPECT_EQ(host.run(BK_CMD_BACKUP, event(BK_EVENT_LEAVING)), BK_NOT_DONE);
    ASSERT_EQ(host.ui.backup_dialogs.size(), 1u);
    EXPECT_EQ(host.ui.backup_dialogs[0].params.comment, L"при выходе");
    settings.enter_param.flags = bk::AUTO_DB_EXCLUSIVE;
    host.save(settings);
    host.params["db_exclusive_acc"] = "0";
    EXPECT_EQ(host.run(BK_CMD_BACKUP, event(BK_EVENT_ENTERING)), BK_NOT_DONE);
    EXPECT_TRUE(host.messages().empty());

    at(12);
    EXPECT_EQ(host.run(BK_CMD_BACKUP, event(BK_EVENT_CLOCK)), BK_DONE);
    EXPECT_EQ(host.catalogue().back().comment, bk::load_string(bk::ids::COMMENT_BY_CLOCK));
    at(13);
    for (int call = 0; call < 2; ++call) {  // the first reads everything, the second only the cache
        host.questions = 0;
        EXPECT_EQ(host.run(BK_CMD_BACKUP, event(BK_EVENT_CLOCK)), BK_NOT_DONE);
    }
    EXPECT_EQ(host.questions, 0);
    host.ui.settings_sheet_ok([](bk::SetupContext& context) { context.settings.save_hour = 14; });
    ASSERT_DONE(host, BK_CMD_SETTINGS);
    at(15);
    EXPECT_EQ(host.run(BK_CMD_BACKUP, event(BK_EVENT_CLOCK)), BK_DONE);
    EXPECT_EQ(host.catalogue().size(), 3u);
}

}  // namespace
}  // namespace cmdtest
