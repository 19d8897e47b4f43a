// Commands whose subsystems are not there yet answer with a clear failure
// instead of pretending to work.
#include "app/commands/commands.h"
#include "app/error_list.h"

namespace bk {
namespace {

uint32_t not_implemented() {
    add_error("command not implemented yet");
    return BK_FAILED;
}

}  // namespace

uint32_t backup_command(void*, uint32_t, HostParamCallback) { return not_implemented(); }
uint32_t restore_command(void*, uint32_t, HostParamCallback) { return not_implemented(); }
uint32_t settings_command(void*, uint32_t, HostParamCallback) { return not_implemented(); }
uint32_t end_of_work_command(void*, uint32_t, HostParamCallback) { return not_implemented(); }

}  // namespace bk
