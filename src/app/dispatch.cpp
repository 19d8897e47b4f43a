#include "app/dispatch.h"

#include <atomic>

#include "core/error_list.h"
#include "app/help.h"
#include "core/stop_request.h"

namespace bk {
namespace {

// A command started from a host timer while a dialog is open sees it set.
// Hosts may also call from several threads at once, so taking the flag is
// one atomic step: of two racing commands exactly one gets it.
std::atomic<bool> command_busy{false};

// Clears the help callback however the command ends.
class HelpScope {
public:
    explicit HelpScope(HelpCallback help) { set_help_callback(help); }
    ~HelpScope() { set_help_callback(nullptr); }
};

}  // namespace

BusyGuard::BusyGuard() : acquired_(!command_busy.exchange(true, std::memory_order_acquire)) {}

BusyGuard::~BusyGuard() {
    if (acquired_) command_busy.store(false, std::memory_order_release);
}

uint32_t dispatch(const CommandTable& commands, int32_t command, void* parent, uint32_t flags,
                  HostParamCallback params, HelpCallback help) {
    HelpScope help_scope(help);
    clear_errors();
    uint32_t result = BK_FAILED;
    try {
        CommandFunction function = nullptr;
        switch (command) {
            case BK_CMD_BACKUP: function = commands.backup; break;
            case BK_CMD_RESTORE: function = commands.restore; break;
            case BK_CMD_SETTINGS: function = commands.settings; break;
            case BK_CMD_END_OF_WORK: function = commands.end_of_work; break;
            default: break;
        }
        if (function) result = function(parent, flags, params);
    } catch (...) {
        add_exception_message();
        result = BK_FAILED;
    }
    clear_stop_request();
    return result;
}

}  // namespace bk
