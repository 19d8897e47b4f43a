#include <algorithm>
#include <memory>

#include "app/commands/commands.h"
#include "app/commands/desktop.h"
#include "app/commands/external.h"
#include "core/error_list.h"
#include "core/string_table.h"
#include "archivers/archiver.h"
#include "rkit/path.h"
#include "sched/auto_backup.h"
#include "sched/command_line.h"
#include "settings/filename_template.h"
#include "settings/settings_store.h"
#include "tasks/backup_task.h"
#include "tasks/user_interface.h"

namespace bk {
namespace {

// The components worth offering in the backup dialog: those that some file
// group or single file belongs to. Leaving out any other changes nothing.
std::vector<Component> used_components(const BackupSettings& settings) {
    auto refers_to = [](const std::vector<std::wstring>& components, const std::wstring& name) {
        return std::find(components.begin(), components.end(), name) != components.end();
    };
    std::vector<Component> used;
    for (const auto& component : settings.components) {
        const auto& name = component.name;
        if (std::any_of(settings.file_groups.begin(), settings.file_groups.end(),
                        [&](const FileGroup& g) { return refers_to(g.components, name); }) ||
            std::any_of(settings.single_files.begin(), settings.single_files.end(),
                        [&](const SingleFile& f) { return refers_to(f.components, name); }))
            used.push_back(component);
    }
    return used;
}

// A batch run takes every choice from the host's batch parameters.
void read_batch_run(HostParamCallback params, AutoParams& run, BackupSettings& settings) {
    read_int_param(params, "batch_keeptime", run.keeptime);
    bool once_a_day = false;
    if (read_bool_param(params, "batch_once_a_day", once_a_day) && once_a_day) run.flags |= AUTO_ONCE_A_DAY;
    read_param(params, "batch_comment", run.comment);
    // Present but empty still replaces: the host asks for no password.
    read_param(params, "batch_password", settings.archiver.password);
    std::wstring excluded;
    if (read_param(params, "batch_excl_comp", excluded)) run.excl_comp = split_component_list(excluded);
}

}  // namespace

uint32_t backup_command(void* parent, uint32_t flags, HostParamCallback params) {
    BusyGuard busy;
    if (!busy.acquired()) return BK_NOT_DONE;

    const uint32_t event = BKF_EVENT_KIND(flags);
    // Clock events come often; most of them are answered from the cache.
    if ((flags & BKF_AUTOMATIC) && event == BK_EVENT_CLOCK && !clock_precheck()) return BK_NOT_DONE;

    BackupSettings settings;
    if (load_settings(params, settings) != BK_DONE) {
        // Nobody asked for an automatic backup, so a broken file is not
        // reported there: the user hears of it at the next own call.
        if (event != BK_EVENT_NONE) {
            clear_errors();
            return BK_NOT_DONE;
        }
        return BK_FAILED;
    }

    HostIdentity identity;
    read_host_identity(params, identity);

    AutoParams run;
    run.keeptime = KEEP_FOREVER;
    if (is_batch(params)) {
        read_batch_run(params, run, settings);
        return run_backup(parent, params, settings, identity, run, false);
    }

    bool ask_first = false;
    if (const uint32_t decided = decide_backup(flags, params, settings, identity, run, ask_first); decided != BK_DONE)
        return decided;
    if (lacks_exclusive_access(run, params)) return BK_NOT_DONE;
    if (!is_usable(settings)) {
        add_error_wide(load_string(ids::BAD_SETTINGS_BACKUP));
        return BK_FAILED;
    }
    if (flags & BKF_CHECK_ONLY) return BK_DONE;

    if ((flags & BKF_INTERACTIVE) || ask_first) {
        if (!user_interface().backup_dialog(parent, used_components(settings), run)) return BK_NOT_DONE;
    }
    if (flags & BKF_EXTERNAL)
        return start_external(params, backup_command_line(identity, run, false, true, {}, {}));

    const bool show_file = (settings.options & OPT_SHOW_IN_EXPLORER) && event == BK_EVENT_NONE;
    return run_backup(parent, params, settings, identity, run, show_file);
}

uint32_t run_backup(void* parent, HostParamCallback params, const BackupSettings& settings,
                    const HostIdentity& identity, const AutoParams& run, bool show_file) {
    const std::wstring root = require_param(params, "root_path");
    std::wstring folder;
    if (!rkit::get_absolute_path(root, settings.backup_folder, folder)) return BK_FAILED;

    BasicFolders folders;
    if (const uint32_t loaded = load_basic_folders(params, folders); loaded != BK_DONE) return loaded;
    FileLocations locations;
    if (const uint32_t loaded = load_file_locations(params, locations); loaded != BK_DONE) return loaded;

    rkit::timestamp now;
    now.put_system_clock();
    if ((run.flags & AUTO_ONCE_A_DAY) && backup_made_today(folder, identity, now)) return BK_NOT_DONE;

    const std::wstring name = archiver_default_extension(
        expand_filename_template(settings.filename_template, now, identity), settings.archiver.archiver);
    // The task reserves this name, or the next free one of its series.
    const std::wstring wanted = rkit::concat_path(folder, name);

    BackupOutcome outcome;
    if (!run_worker_task(parent, std::make_unique<BackupTask>(settings, folder, folders, locations, identity, run,
                                                              now, wanted, &outcome)))
        return BK_NOT_DONE;
    set_last_archive(outcome.archive);

    if (show_file) show_in_file_manager(outcome.archive);
    if (!settings.backup_cmdline.empty())
        start_shell_command(expand_backup_cmdline(settings.backup_cmdline, outcome.archive), root);
    // The next clock event must see this backup.
    clear_clock_cache();
    // An archive without every file is a backup made, but not a backup done.
    return outcome.all_files_saved ? BK_DONE : BK_FAILED;
}

}  // namespace bk
