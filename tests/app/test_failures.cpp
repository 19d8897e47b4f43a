// Every way commands 1, 2 and 3 end without doing their work: the result
// code, the messages, and that no archive, record or data file changed; and
// bkDispatch's part: what a throw becomes, one command at a time, the help callback.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "app/help.h"
#include "app/test_host.h"
#include "core/com_error.h"

namespace cmdtest {
namespace {

// Exactly these messages, or with last_only the last of them (none given: any).
struct Expect {
    std::vector<std::string> messages;
    bool last_only = false;
};

struct Case {
    const char* what;
    int32_t command;
    uint32_t flags;
    uint32_t result;
    std::function<Expect(TestHost&)> setup;
};

Expect without(TestHost& h, const char* key, Expect expect) {
    h.params.erase(key);
    return expect;
}
Expect with(TestHost& h, const std::function<void(bk::BackupSettings&)>& edit, Expect expect = {}) {
    auto s = h.standard_settings();
    edit(s);
    h.save(s);
    return expect;
}
Expect batch(TestHost& h, Expect expect = {}) {
    h.set_batch_backup();
    return expect;
}
Expect broken_settings(TestHost& h) {
    h.break_settings_file();
    return {{message(bk::ids::ERR_LOAD_SETTINGS, {wide(h.settings_file())})}, true};
}
Expect headless(TestHost&) {
    bk::set_user_interface(nullptr);
    return {{"no display: dialog cannot be shown"}};
}
Expect broken_catalogue(TestHost& h, bool clock) {
    const fs::path list = h.backup_folder() / "backup_list.xml";
    bktest::write_file(list, "<root><items>");
    if (clock) with(h, [](auto& s) { s.options |= bk::OPT_BY_CLOCK, s.save_hour = 0; });
    // The cause in the parser's words comes first.
    return {{"error loading XML: " + list.string() + ": Start-end tags mismatch at line 1, column 13",
             message(bk::ids::ERR_LOAD_CATALOGUE, {wide(list)})}};
}
const uint32_t kUser = BKF_INTERACTIVE;

std::vector<Case> cases() {
    std::vector<Case> all{
        {"backup without root_path", BK_CMD_BACKUP, 0, BK_FAILED,
         [](TestHost& h) { return batch(h, without(h, "root_path", {{"root_path parameter not found"}})); }},
        {"backup without a basic folder", BK_CMD_BACKUP, 0, BK_FAILED, [](TestHost& h) {
             return batch(h, without(h, "common_path", {{message(bk::ids::ERR_BASIC_FOLDER, {L"ОБЩ_ДИР"})}}));
         }},
        {"backup, broken settings file", BK_CMD_BACKUP, kUser, BK_FAILED, broken_settings},
        {"backup, settings that cannot be used", BK_CMD_BACKUP, BKF_CHECK_ONLY, BK_FAILED, [](TestHost& h) {
             return with(h, [](auto& s) { s.file_groups.clear(), s.single_files.clear(); },
                         {{"Неправильные настройки, создание резервной копии невозможно."}});
         }},
        {"backup canceled while working", BK_CMD_BACKUP, 0, BK_NOT_DONE,
         [](TestHost& h) { return h.ui.status.cancel_after_updates(1), batch(h); }},
        {"backup dialog canceled", BK_CMD_BACKUP, kUser, BK_NOT_DONE,
         [](TestHost& h) { return h.ui.backup_dialog_cancel(), Expect{}; }},
        {"backup dialog without a display", BK_CMD_BACKUP, kUser, BK_FAILED, headless},
        {"clock event, broken catalogue", BK_CMD_BACKUP, BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_CLOCK), BK_FAILED,
         [](TestHost& h) { return broken_catalogue(h, true); }},

        // Restoring has no automatic events: a broken file is always reported.
        {"restore, broken settings file", BK_CMD_RESTORE, kUser, BK_FAILED, broken_settings},
        {"restore on an event, broken settings file", BK_CMD_RESTORE,
         BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_ENTERING), BK_FAILED, broken_settings},
        {"restore, settings that cannot be used", BK_CMD_RESTORE, 0, BK_FAILED, [](TestHost& h) {
             h.set_batch_restore(L"x.7z");
             return with(h, [](auto& s) { s.archiver.archiver = bk::ARCHIVER_NONE; },
                         {{"Неправильные настройки, восстановление из резервной копии невозможно."}});
         }},
        {"restore of a last backup that is gone", BK_CMD_RESTORE, 0, BK_FAILED, [](TestHost& h) {
             h.backup();
             fs::remove(h.last_archive());
             return Expect{{message(bk::ids::ARCHIVE_NOT_FOUND, {h.last_archive()})}};
         }},
        {"restore of a missing archive picked in the dialog", BK_CMD_RESTORE, kUser, BK_FAILED, [](TestHost& h) {
             h.ui.restore_dialog_choose(wide(h.root() / "elsewhere.7z"));
             return Expect{{message(bk::ids::ARCHIVE_NOT_FOUND, {wide(h.root() / "elsewhere.7z")})}};
         }},
        {"batch restore of a missing archive, relative to the host", BK_CMD_RESTORE, 0, BK_FAILED, [](TestHost& h) {
             h.set_batch_restore(L"backup/gone.7z");
             return Expect{{message(bk::ids::ARCHIVE_NOT_FOUND, {wide(h.backup_folder() / "gone.7z")})}};
         }},
        {"batch restore without batch_archive", BK_CMD_RESTORE, 0, BK_FAILED,
         [](TestHost& h) { return batch(h, {{"batch_archive parameter not found"}}); }},
        {"restore of the last backup when there is none", BK_CMD_RESTORE, 0, BK_FAILED,
         [](TestHost&) { return Expect{}; }},
        {"restore check with a broken catalogue", BK_CMD_RESTORE, BKF_CHECK_ONLY, BK_FAILED,
         [](TestHost& h) { return broken_catalogue(h, false); }},
        {"restore canceled while working", BK_CMD_RESTORE, 0, BK_NOT_DONE,
         [](TestHost& h) { return h.backup(), h.ui.status.cancel_after_updates(1), Expect{}; }},
        {"restore dialog canceled", BK_CMD_RESTORE, kUser, BK_NOT_DONE,
         [](TestHost& h) { return h.ui.restore_dialog_cancel(), Expect{}; }},
        {"restore dialog without a display", BK_CMD_RESTORE, kUser, BK_FAILED, headless},

        {"settings without root_path", BK_CMD_SETTINGS, 0, BK_FAILED,
         [](TestHost& h) { return without(h, "root_path", {{"root_path parameter not found"}}); }},
        {"settings file that cannot be written", BK_CMD_SETTINGS, 0, BK_FAILED, [](TestHost& h) {
             fs::remove(h.settings_file());
             fs::create_directories(h.settings_file());  // a folder in its place
             h.ui.settings_sheet_ok();
             return Expect{{message(bk::ids::ERR_SAVE_SETTINGS, {wide(h.settings_file())})}, true};
         }},
        {"settings sheet without a display", BK_CMD_SETTINGS, 0, BK_FAILED, headless},
    };
    // Nobody asked for an automatic backup: a broken settings file is not reported.
    for (uint32_t event : {BK_EVENT_ENTERING, BK_EVENT_LEAVING, BK_EVENT_CLOCK})
        all.push_back({"automatic backup, broken settings file", BK_CMD_BACKUP, BKF_AUTOMATIC | BKF_MAKE_EVENT(event),
                       BK_NOT_DONE, [](TestHost& h) { return broken_settings(h), Expect{}; }});
    return all;
}

TEST(CommandFailures, ResultMessagesAndNothingChanged) {
    for (const auto& c : cases()) {
        SCOPED_TRACE(c.what);
        TestHost host;
        const Expect expect = c.setup(host);
        host.damage_data();  // a restore that should not happen would mend it
        const fs::path list = host.backup_folder() / "backup_list.xml";
        const auto catalogue = [&] { return fs::exists(list) ? bktest::read_file(list) : ""; };
        const auto archives = host.archives();
        const std::string records = catalogue();

        EXPECT_EQ(host.run(c.command, c.flags), c.result);
        const auto messages = host.messages();
        if (expect.last_only) {
            EXPECT_TRUE(!messages.empty() && (expect.messages.empty() || messages.back() == expect.messages.back()))
                << ::testing::PrintToString(messages);
        } else {
            EXPECT_EQ(messages, expect.messages);
        }
        EXPECT_EQ(host.archives(), archives);
        EXPECT_EQ(catalogue(), records);
        for (const auto& rel : TestHost::data_files()) EXPECT_EQ(host.content(rel), "damaged") << rel;
    }
}

// bkDispatch around a command that only does what the test says.
std::function<void()> g_command;

uint32_t dispatch(const std::function<void()>& command, HelpCallback help = nullptr) {
    g_command = command;
    bk::CommandTable table;
    table.backup = [](void*, uint32_t, HostParamCallback) { return g_command(), uint32_t{BK_DONE}; };
    return bk::dispatch(table, BK_CMD_BACKUP, nullptr, 0, nullptr, help);
}

TEST(Dispatch, AnythingThrownBecomesExactlyOneMessageAndFreesTheModule) {
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[] { throw bk::com_error(bk::com_error::e_fail, L"XML: ошибка разбора"); }, "XML: ошибка разбора"},
        {[] { throw bk::com_error(bk::com_error::e_fail); }, "unknown COM error"},
        {[] { bk::BusyGuard busy; throw 42; }, "unknown error"},
    };
    for (const auto& [command, message] : cases) {
        EXPECT_EQ(dispatch(command), BK_FAILED);
        EXPECT_EQ(bktest::error_messages(), std::vector<std::string>{message});
    }
    EXPECT_TRUE(bk::BusyGuard().acquired());

    // Hosts calling from several threads: never two commands at once.
    std::atomic<int> running{0}, overlaps{0};
    const auto commands = [&] {
        for (int i = 0; i < 20000; ++i)
            if (bk::BusyGuard busy; busy.acquired()) overlaps += running++, --running;
    };
    std::thread a(commands), b(commands), c(commands);
    commands(), a.join(), b.join(), c.join();
    EXPECT_EQ(overlaps.load(), 0);
}

std::vector<std::string> help_requests;

TEST(Help, TopicsReachTheHostOnlyWhileACommandRuns) {
    dispatch([] { bk::show_help(10002), bk::show_help(10030); }, [](const char* key) { help_requests.push_back(key); });
    EXPECT_EQ(help_requests, (std::vector<std::string>{"h8.bk.dlg.backup", ""}));
    bk::show_help(10002);  // no command running: no callback
    EXPECT_EQ(help_requests.size(), 2u);
}

}  // namespace
}  // namespace cmdtest
