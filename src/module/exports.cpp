#include "app/commands/commands.h"
#include "core/error_list.h"
#include "vardobk/command_line.h"
#include "vardobk/vardobk.h"
#ifdef VARDOBK_WITH_UI
#include "app/help.h"
#include "ui/desktop.h"
#endif

// The command-line interface lives in a static library; nothing inside the
// module calls the factory, so it is referenced here to keep it in.
[[gnu::used]] static void* const exported_command_line[] = {
    reinterpret_cast<void*>(&bk::factoryBkCommandLineInfo),
    reinterpret_cast<void*>(&bk::WinappParseCommandLine),
};

extern "C" {

BK_EXPORT uint32_t BK_CALL bkDispatch(int32_t command, void* parent, uint32_t flags,
                                      HostParamCallback params, HelpCallback help) {
#ifdef VARDOBK_WITH_UI
    // Looked at on every call: a host may get its display after loading us.
    if (bk::ui::display_present()) {
        bk::ui::set_help_handler(&bk::show_help);
        bk::set_user_interface(&bk::ui::qt_user_interface());
    } else {
        bk::set_user_interface(nullptr);
    }
#endif
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
