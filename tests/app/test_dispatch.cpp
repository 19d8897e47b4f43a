// bkDispatch's contract with its commands: results, messages, one command at
// a time, the help callback.
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

TEST(Dispatch, ExceptionsBecomeExactlyOneMessage) {
    using Messages = std::vector<std::string>;
    const std::vector<std::pair<bk::CommandFunction, Messages>> cases = {
        {[](void*, uint32_t, HostParamCallback) -> uint32_t {
             throw std::logic_error("root_path parameter not found");
         },
         {"root_path parameter not found"}},
        {[](void*, uint32_t, HostParamCallback) -> uint32_t {
             throw bk::com_error(bk::com_error::e_fail, L"XML: ошибка разбора");
         },
         {"XML: ошибка разбора"}},
        {[](void*, uint32_t, HostParamCallback) -> uint32_t { throw bk::com_error(bk::com_error::e_fail); },
         {"unknown COM error"}},
        {[](void*, uint32_t, HostParamCallback) -> uint32_t { throw 42; }, {"unknown error"}},
        // A failing command's own messages pass through in order.
        {[](void*, uint32_t, HostParamCallback) -> uint32_t {
             bk::add_error("first");
             bk::add_error_wide(L"второе");
             return BK_FAILED;
         },
         {"first", "второе"}},
    };
    for (const auto& [command, messages] : cases) {
        EXPECT_EQ(dispatch_backup(command), BK_FAILED);
        EXPECT_EQ(bktest::error_messages(), messages);
    }
    // Unknown commands fail without a message.
    for (int32_t command : {0, 5}) EXPECT_EQ(bk::dispatch({}, command, nullptr, 0, nullptr, nullptr), BK_FAILED);
    EXPECT_TRUE(bktest::error_messages().empty());
}

uint32_t nested_result = 99;

TEST(Dispatch, ASecondCommandWhileOneRunsReturnsNotDone) {
    EXPECT_EQ(dispatch_backup([](void*, uint32_t, HostParamCallback) -> uint32_t {
                  bk::BusyGuard busy;
                  if (!busy.acquired()) return BK_NOT_DONE;
                  bk::add_error("left by the outer command");
                  // A host timer fires while the command's dialog is open.
                  bk::CommandTable inner;
                  inner.backup = [](void*, uint32_t, HostParamCallback) -> uint32_t {
                      return bk::BusyGuard().acquired() ? BK_DONE : BK_NOT_DONE;
                  };
                  nested_result = bk::dispatch(inner, BK_CMD_BACKUP, nullptr, 0, nullptr, nullptr);
                  return BK_DONE;
              }),
              BK_DONE);
    EXPECT_EQ(nested_result, BK_NOT_DONE);
    EXPECT_TRUE(bktest::error_messages().empty());  // the nested call emptied the list and added nothing

    // The flag is cleared even when the command throws.
    dispatch_backup([](void*, uint32_t, HostParamCallback) -> uint32_t {
        bk::BusyGuard busy;
        throw std::runtime_error("boom");
    });
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
