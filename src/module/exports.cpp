#include "app/commands/commands.h"
#include "core/error_list.h"
#include "vardobk/command_line.h"
#include "vardobk/vardobk.h"

// The command-line interface lives in a static library; nothing inside the
// module calls the factory, so it is referenced here to keep it in.
[[gnu::used]] static void* const exported_command_line[] = {
    reinterpret_cast<void*>(&bk::factoryBkCommandLineInfo),
    reinterpret_cast<void*>(&bk::WinappParseCommandLine),
};

extern "C" {

BK_EXPORT uint32_t BK_CALL bkDispatch(int32_t command, void* parent, uint32_t flags,
                                      HostParamCallback params, HelpCallback help) {
    return bk::dispatch(bk::module_commands(), command, parent, flags, params, help);
}

BK_EXPORT int32_t BK_CALL bkLastError(int32_t index, char* buffer, int32_t size) {
    try {
        return bk::copy_error(index, buffer, size);
    } catch (...) {
        return -1;
    }
}

}
