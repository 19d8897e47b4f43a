// Command 1 as a host drives it: batch runs with both archivers, check-only
// calls and one command at a time, the automatic events, and a backup made
// for the user: the choices of the backup dialog, the archive shown in the
// file manager (over D-Bus, else the folder opened) and the follow-up command.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <tuple>

#include "app/test_host.h"
#include "support/values.h"

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
                        {"batch_password", "секрет"}, {"batch_excl_comp", "docs;;unused;"}, {"db_exclusive_acc", "0"}});
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
    const auto at = [](int hour) { rkit::clock::set_fixed(bktest::moment(4, 3, 2024, hour)); };
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

// The module does not wait for xdg-open and the follow-up command.
std::string wait_for(const fs::path& path) {
    for (int i = 0; i < 200 && !(fs::exists(path) && fs::file_size(path) > 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return bktest::read_file(path);
}

TEST(UsersBackup, ChosenInTheDialogShownInTheFileManagerFollowedByTheCommand) {
    // The desktop's programs: one stand-in that writes down its arguments, and fails when told to.
    bktest::TempDir scratch;
    const fs::path calls = scratch / "calls";
    bktest::write_file(scratch / "bin/gdbus", "#!/bin/sh\nlog='" + calls.string() + "'/$(basename \"$0\")\n" +
                                                  "printf '%s\\n' \"$@\" > \"$log.tmp\" && mv \"$log.tmp\" \"$log\"\n" +
                                                  "exit $(cat \"$log.exit\" 2>/dev/null || echo 0)\n");
    fs::permissions(scratch / "bin/gdbus", fs::perms::owner_all);
    for (const char* program : {"dbus-send", "xdg-open"}) fs::create_symlink("gdbus", scratch / "bin" / program);
    fs::create_directories(calls);
    const std::string path = std::getenv("PATH");
    setenv("PATH", ((scratch / "bin").string() + ":" + path).c_str(), 1);

    TestHost host;
    auto settings = host.standard_settings();
    host.backup_folder_name = "архив копий";  // percent-encoded in a URI
    settings.backup_folder = L"архив копий";
    settings.options |= bk::OPT_SHOW_IN_EXPLORER | bk::OPT_ON_ENTER;
    settings.backup_cmdline = L"printf '%s|%s' \"$PWD\" \"%PATH%\" > followup.txt";
    settings.default_keeptime = 30;
    host.save(settings);
    host.ui.backup_dialog_ok([](bk::AutoParams& p) { p.keeptime = 90; });
    ASSERT_DONE(host, BK_CMD_BACKUP);  // the dialog even without the interactive flag
    ASSERT_EQ(host.ui.backup_dialogs.size(), 1u);  // only components some files belong to are offered
    EXPECT_EQ(host.ui.backup_dialogs[0].components, (std::vector<bk::Component>{{kDocs, L"Документы"}}));
    EXPECT_EQ(host.catalogue().at(0).keeptime, 90);
    const std::string archive = utf8(host.last_archive());
    const std::string uri = "file://" + host.root().string() +
                            "/%D0%B0%D1%80%D1%85%D0%B8%D0%B2%20%D0%BA%D0%BE%D0%BF%D0%B8%D0%B9/" +
                            archive.substr(archive.rfind('/') + 1);
    const std::string gdbus = bktest::read_file(calls / "gdbus");
    EXPECT_EQ(gdbus.substr(gdbus.find("--dest")),
              "--dest\norg.freedesktop.FileManager1\n--object-path\n/org/freedesktop/FileManager1\n--method\n"
              "org.freedesktop.FileManager1.ShowItems\n['" + uri + "']\n\n");
    EXPECT_FALSE(fs::exists(calls / "dbus-send"));
    // The follow-up command runs in the host's folder with the archive's path.
    EXPECT_EQ(wait_for(host.root() / "followup.txt"), host.root().string() + "|" + archive);

    // An automatic backup is not shown, but runs the follow-up command too.
    fs::remove(calls / "gdbus");
    fs::remove(host.root() / "followup.txt");
    ASSERT_DONE(host, BK_CMD_BACKUP, BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_ENTERING));
    EXPECT_EQ(wait_for(host.root() / "followup.txt"), host.root().string() + "|" + utf8(host.last_archive()));
    EXPECT_FALSE(fs::exists(calls / "gdbus") || fs::exists(calls / "dbus-send"));

    // Without a file manager service the folder is opened.
    settings.backup_cmdline.clear();
    host.save(settings);
    for (const char* program : {"gdbus.exit", "dbus-send.exit"}) bktest::write_file(calls / program, "1");
    host.ui.backup_dialog_ok();
    ASSERT_DONE(host, BK_CMD_BACKUP);
    EXPECT_TRUE(fs::exists(calls / "dbus-send"));
    EXPECT_EQ(wait_for(calls / "xdg-open"), (host.root() / "архив копий").string() + "\n");
    setenv("PATH", path.c_str(), 1);
}

}  // namespace
}  // namespace cmdtest
