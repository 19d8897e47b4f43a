#include <memory>
#include <optional>

#include "app/commands/commands.h"
#include "app/commands/external.h"
#include "core/error_list.h"
#include "core/string_table.h"
#include "archivers/archiver.h"
#include "catalogue/manifest.h"
#include "rkit/files.h"
#include "rkit/path.h"
#include "sched/command_line.h"
#include "settings/settings_store.h"
#include "tasks/restore_task.h"
#include "tasks/user_interface.h"

namespace bk {
namespace {

// The record the archive carries in its fileinfo.xml; nothing when it cannot
// be read for any reason (no such entry, a wrong password, a broken archive).
std::optional<BackupRecord> read_backup_record(const std::wstring& archive, const BackupSettings& settings) {
    try {
        rkit::TempFolder staging;
        extract_with_settings(settings.archiver, staging.path(), archive, FILEINFO_NAME, nullptr);
        BackupRecord record;
        read_fileinfo(rkit::concat_path(staging.path(), FILEINFO_NAME), record);
        return record;
    } catch (...) {
        return std::nullopt;
    }
}

// "7.1 (7)": a version type with its family.
std::wstring version_text(const std::wstring& type, const std::wstring& family) {
    return format_message(L"%s (%s)", {type, family});
}

bool confirmed(void* parent, const std::wstring& text, uint32_t default_button) {
    return user_interface().message_box(parent, text, MB_OKCANCEL | MB_ICONWARNING | default_button) == IDOK;
}

// A mismatch: Cancel is the default, restoring is the risk.
bool mismatch_confirmed(void* parent, const std::wstring& text) { return confirmed(parent, text, MB_DEFBUTTON2); }

uint32_t missing_archive(const std::wstring& archive) {
    add_error_wide(format_string(ids::ARCHIVE_NOT_FOUND, {archive}));
    return BK_FAILED;
}

// The archive to restore from when nobody chooses: the newest backup, which
// is the last record of the catalogue.
std::optional<std::wstring> last_backup(const Catalogue& catalogue, const std::wstring& folder) {
    std::wstring path;
    if (catalogue.empty() || !rkit::get_absolute_path(folder, catalogue.back().filename, path)) return std::nullopt;
    return path;
}

}  // namespace

uint32_t restore_command(void* parent, uint32_t flags, HostParamCallback params) {
    BusyGuard busy;
    if (!busy.acquired()) return BK_NOT_DONE;

    BackupSettings settings;
    if (load_settings(params, settings) != BK_DONE) return BK_FAILED;
    if (!is_usable(settings)) {
        add_error_wide(load_string(ids::BAD_SETTINGS_RESTORE));
        return BK_FAILED;
    }

    if (is_batch(params)) {
        std::wstring archive = require_param(params, "batch_archive");
        // A relative name means what it meant in the host's current folder.
        if (std::wstring full; rkit::get_absolute_path(require_param(params, "root_path"), archive, full))
            archive = full;
        read_param(params, "batch_password", settings.archiver.password);
        match_archiver_to_archive(archive, settings);
        return run_restore(parent, params, settings, archive);
    }

    std::wstring folder;
    if (!rkit::get_absolute_path(require_param(params, "root_path"), settings.backup_folder, folder))
        return BK_FAILED;
    Catalogue catalogue;
    if (const uint32_t loaded = load_catalogue(folder, catalogue); loaded != BK_DONE) return loaded;
    if (flags & BKF_CHECK_ONLY) return BK_DONE;

    std::optional<std::wstring> chosen;
    if (flags & BKF_INTERACTIVE) {
        chosen = user_interface().restore_dialog(parent, RestoreDialogInput{catalogue, folder, settings.archiver.archiver});
        if (!chosen) return BK_NOT_DONE;
    } else {
        chosen = last_backup(catalogue, folder);
        if (!chosen) return BK_FAILED;
    }
    const std::wstring archive = *chosen;

    match_archiver_to_archive(archive, settings);
    if (!rkit::file_exists(archive)) return missing_archive(archive);

    if (const auto backup = read_backup_record(archive, settings)) {
        HostIdentity host;
        read_host_identity(params, host);
        if (const uint32_t checked = check_backup_identity(parent, host, *backup); checked != BK_DONE) return checked;
    } else if (!confirmed(parent, format_string(ids::NO_BACKUP_INFO, {archive}), MB_DEFBUTTON1)) {
        return BK_NOT_DONE;
    }

    if (flags & BKF_EXTERNAL) return start_external(params, restore_command_line(archive));
    return run_restore(parent, params, settings, archive);
}

uint32_t check_backup_identity(void* parent, const HostIdentity& host, const BackupRecord& backup) {
    const HostIdentity& made = backup.identity;
    if (!versions_match(made.ver_type, host.ver_type) || !versions_match(made.ver_family, host.ver_family)) {
        const std::wstring text =
            format_string(ids::VERSION_MISMATCH, {version_text(host.ver_type, host.ver_family),
                                                  version_text(made.ver_type, made.ver_family)});
        if (!mismatch_confirmed(parent, text)) return BK_NOT_DONE;
    }
    if (!rkit::equal_path(made.dbname, host.dbname)) {
        if (!mismatch_confirmed(parent, format_string(ids::DATABASE_MISMATCH, {host.dbname, made.dbname})))
            return BK_NOT_DONE;
    }
    return BK_DONE;
}

void match_archiver_to_archive(const std::wstring& archive, BackupSettings& settings) {
    const int32_t chosen = settings.archiver.archiver == ARCHIVER_DEFAULT ? ARCHIVER_7ZIP : settings.archiver.archiver;
    if (archiver_kind_from_path(archive) != ARCHIVER_7ZIP || chosen == ARCHIVER_7ZIP) return;
    ArchiverSettings defaults;
    defaults.archiver = ARCHIVER_7ZIP;
    defaults.password = settings.archiver.password;
    settings.archiver = defaults;
}

uint32_t run_restore(void* parent, HostParamCallback params, const BackupSettings& settings,
                     const std::wstring& archive) {
    set_last_archive(archive);
    BasicFolders folders;
    if (const uint32_t loaded = load_basic_folders(params, folders); loaded != BK_DONE) return loaded;
    if (!rkit::file_exists(archive)) return missing_archive(archive);

    std::vector<RestoreProblem> problems;
    if (!run_worker_task(parent, std::make_unique<RestoreTask>(settings, folders, archive, &problems)))
        return BK_NOT_DONE;

    if (!problems.empty()) {
        user_interface().restore_warnings(parent, archive, problems);
    } else if (parent) {
        user_interface().message_box(parent, format_string(ids::RESTORE_DONE, {rkit::extract_name_ext(archive)}),
                                     MB_OK | MB_ICONINFORMATION);
    }
    return BK_DONE;
}

}  // namespace bk
