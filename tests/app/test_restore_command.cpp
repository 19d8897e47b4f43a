// Command 2 as a host drives it: the archive chosen in the dialog or the last
// backup, the questions before restoring a backup of another version or
// database, what cannot be put back; and command 3, the settings sheet.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "app/test_host.h"
#include "support/archives.h"

namespace cmdtest {
namespace {

class RestoreCommand : public ::testing::Test {
protected:
    void back_up_and_damage() {
        host.backup();
        host.damage_data();
    }

    TestHost host;
    int window = 0;  // the host's; the module only hands it on
};

// The backup chosen in the dialog is restored, without the dialog the last
// one; what cannot be put back is listed instead of the news that all went well.
TEST_F(RestoreCommand, TheChosenOrTheLastBackupIsRestoredAndWhatCannotGoBackIsListed) {
    back_up_and_damage();
    const std::wstring first = host.last_archive();
    host.write("data/a.dbf", "second");
    back_up_and_damage();
    host.ui.restore_dialog_choose(first);
    ASSERT_DONE(host, BK_CMD_RESTORE, BKF_INTERACTIVE, &window);
    EXPECT_TRUE(host.data_intact());  // what the dialog offers: the dialog tests
    EXPECT_EQ(host.ui.restore_dialogs.size(), 1u);
    EXPECT_EQ(host.ui.headlines.back(), L"Выполняется восстановление из резервной копии...");
    // Same version, same database: no question, only the news that it worked.
    ASSERT_EQ(host.ui.boxes.size(), 1u);
    EXPECT_EQ(std::tie(host.ui.boxes[0].text, host.ui.boxes[0].type),
              std::make_tuple(bk::format_string(bk::ids::RESTORE_DONE, {host.catalogue()[0].filename}),
                              bk::MB_OK | bk::MB_ICONINFORMATION));

    host.damage_data();
    fs::remove_all(host.root() / "data/sub");
    host.write("data/sub", "in the way");  // a file where the folder of c.dbf was
    EXPECT_DONE(host, BK_CMD_RESTORE, 0, &window);
    EXPECT_EQ(host.content("data/a.dbf"), "second");  // the rest of the last backup is back
    EXPECT_EQ(host.ui.restore_dialogs.size(), 1u);
    ASSERT_EQ(host.ui.restore_warnings_shown.size(), 1u);
    const auto& warned = host.ui.restore_warnings_shown[0];
    ASSERT_EQ(warned.problems.size(), 1u);
    EXPECT_EQ(std::tie(warned.archive, warned.problems[0].file),
              std::make_tuple(host.last_archive(), wide(host.root() / "data/sub/c.dbf")));
    EXPECT_EQ(host.ui.boxes.size(), 1u);
}

// Another version, another database, or an archive without its record: the
// user is asked; Cancel restores nothing, OK restores. Not in batch mode.
TEST_F(RestoreCommand, MismatchesAreRestoredOnlyWhenTheUserAgrees) {
    using Question = bktest::ScriptedStatus::Question;
    const uint32_t warning = bk::MB_OKCANCEL | bk::MB_ICONWARNING;
    // Each changes the host or the archive and tells what the user is asked then.
    const std::function<Question()> cases[] = {
        [&] {
            host.params["ver_type"] = "8.2";
            return Question{bk::format_string(bk::ids::VERSION_MISMATCH, {L"8.2 (ПРОФ)", L"8.1 (ПРОФ)"}),
                            warning | bk::MB_DEFBUTTON2};
        },
        [&] {
            host.params["shp_path"] = (host.root() / "base/other.shp").string();
            return Question{bk::format_string(bk::ids::DATABASE_MISMATCH, {L"other.shp", L"demo.shp"}),
                            warning | bk::MB_DEFBUTTON2};
        },
        [&] {  // another version would be asked about if the record were there
            bktest::shell("7z d -bd '" + utf8(host.last_archive()) + "' fileinfo.xml");
            host.params["ver_type"] = "9.0";
            return Question{bk::format_string(bk::ids::NO_BACKUP_INFO, {host.last_archive()}), warning};
        },
    };
    const auto standard = host.params;
    for (const auto& change : cases) {
        host.params = standard;
        host.ui.boxes.clear();
        back_up_and_damage();
        const Question question = change();
        host.ui.answer_boxes_with({bk::IDCANCEL, bk::IDOK});
        EXPECT_EQ(host.run(BK_CMD_RESTORE), BK_NOT_DONE);
        EXPECT_TRUE(host.messages().empty() && !host.data_intact());
        ASSERT_EQ(host.ui.boxes.size(), 1u);
        EXPECT_EQ(std::tie(host.ui.boxes[0].text, host.ui.boxes[0].type), std::tie(question.text, question.type));
        EXPECT_DONE(host, BK_CMD_RESTORE);
        EXPECT_TRUE(host.data_intact());
    }

    // In batch mode nobody is asked.
    host.ui.boxes.clear();
    host.damage_data();
    host.params["ver_type"] = "8.2";
    host.params["shp_path"] = (host.root() / "base/other.shp").string();
    host.set_batch_restore(host.last_archive());
    EXPECT_DONE(host, BK_CMD_RESTORE);
    EXPECT_TRUE(host.data_intact());
    EXPECT_TRUE(host.ui.boxes.empty());
}

// What the sheet opens with; what it saves, and that Cancel saves nothing,
// the dialog tests show with the real sheet.
TEST(SettingsCommand, TheSheetOpensWithTheHostsPlacesAndABrokenFileIsReplaced) {
    TestHost host;
    host.ui.settings_sheet_cancel();
    EXPECT_EQ(host.run(BK_CMD_SETTINGS), BK_NOT_DONE);
    const auto& opened = host.ui.settings_sheets.at(0);
    EXPECT_EQ(opened.settings, host.standard_settings());
    EXPECT_EQ(std::tie(opened.root_path, opened.exe_path, opened.database_path, opened.identity.dbname,
                       opened.identity.workplace),
              std::make_tuple(wide(host.root()), wide(host.root() / "host"), wide(host.root() / "base/demo.shp"),
                              L"demo.shp", 3));

    // A broken file opens with the defaults and is replaced.
    host.break_settings_file();
    host.ui.settings_sheet_ok();
    EXPECT_DONE(host, BK_CMD_SETTINGS);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(host.ui.settings_sheets.back().settings, bk::BackupSettings());
    bk::BackupSettings saved = host.standard_settings();
    bk::read_settings_file(wide(host.settings_file()), saved);
    EXPECT_EQ(saved, bk::BackupSettings());
}

}  // namespace
}  // namespace cmdtest
