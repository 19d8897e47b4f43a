#include "app/commands/commands.h"
#include "app/commands/external.h"
#include "core/error_list.h"
#include "sched/auto_backup.h"
#include "sched/command_line.h"
#include "settings/settings_store.h"
#include "tasks/user_interface.h"

namespace bk {

uint32_t settings_command(void* parent, uint32_t flags, HostParamCallback params) {
    BusyGuard busy;
    if (!busy.acquired()) return BK_NOT_DONE;

    SetupContext context;
    context.root_path = require_param(params, "root_path");
    context.exe_path = host_exe_path(params);
    context.database_path = database_path(params);
    context.params = params;
    // A broken file is what the sheet is for: it opens with whatever could be
    // read over the defaults, and saving replaces the file.
    if (load_settings(params, context.settings) != BK_DONE) clear_errors();
    if (const uint32_t loaded = load_basic_folders(params, context.basic_folders); loaded != BK_DONE) return loaded;
    if (const uint32_t loaded = load_file_locations(params, context.file_locations); loaded != BK_DONE) return loaded;
    if (flags & BKF_CHECK_ONLY) return BK_DONE;

    read_host_identity(params, context.identity);
    if (!user_interface().settings_sheet(parent, context)) return BK_NOT_DONE;
    // A changed hour of the clock backup counts from the next clock event.
    clear_clock_cache();
    return save_settings(params, context.settings);
}

uint32_t end_of_work_command(void*, uint32_t flags, HostParamCallback params) {
    BusyGuard busy;
    if (!busy.acquired()) return BK_NOT_DONE;
    if (is_batch(params) || (flags & BKF_CHECK_ONLY)) return BK_DONE;
    return start_external(params, end_of_work_command_line());
}

}  // namespace bk
