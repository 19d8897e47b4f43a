// bkDispatch's contract with its commands: what a throw becomes, one command
// at a time, the help callback. The commands' own runs show the rest.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/com_error.h"
#include "app/dispatch.h"
#include "core/error_list.h"
#include "app/help.h"
#include "support/error_messages.h"

namespace {

uint32_t dispatch_backup(bk::CommandFunction f, HelpCallback help = nullptr) {
    bk::CommandTable table;
    table.backup = f;
    return bk::dispatch(table, BK_CMD_BACKUP, nullptr, 0, nullptr, help);
}

TEST(Dispatch, AnythingThrownBecomesExactlyOneMessageAndFreesTheModule) {
    const std::pair<bk::CommandFunction, const char*> cases[] = {
        {[](void*, uint32_t, HostParamCallback) -> uint32_t {
             throw bk::com_error(bk::com_error::e_fail, L"XML: ошибка разбора");
         },
         "XML: ошибка разбора"},
        {[](void*, uint32_t, HostParamCallback) -> uint32_t { throw bk::com_error(bk::com_error::e_fail); },
         "unknown COM error"},
        {[](void*, uint32_t, HostParamCallback) -> uint32_t {
             bk::BusyGuard busy;
             throw 42;
         },
         "unknown error"},
    };
    for (const auto& [command, message] : cases) {
        EXPECT_EQ(dispatch_backup(command), BK_FAILED);
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
    dispatch_backup(
        [](void*, uint32_t, HostParamCallback) -> uint32_t {
            bk::show_help(10002);
            bk::show_help(10030);
            return BK_DONE;
        },
        [](const char* key) { help_requests.push_back(key); });
    EXPECT_EQ(help_requests, (std::vector<std::string>{"h8.bk.dlg.backup", ""}));
    bk::show_help(10002);  // no command running: no callback
    EXPECT_EQ(help_requests.size(), 2u);
    EXPECT_EQ(bk::help_key_for_dialog(10033), "h8.bk.dlg.setup.keeptime");
}

}  // namespace
