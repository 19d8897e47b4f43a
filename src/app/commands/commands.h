// The four commands of bkDispatch and the steps they share with the backup
// executable's runs.
#pragma once
#include <cstdint>
#include <string>

#include "app/dispatch.h"
#include "core/host_params.h"
#include "catalogue/catalogue.h"
#include "settings/settings.h"

namespace bk {

// Command 1: a backup asked for by the user, by an automatic event of the
// host, in batch mode, or only checked (BKF_CHECK_ONLY).
uint32_t backup_command(void* parent, uint32_t flags, HostParamCallback params);
// Command 2: a restore from a backup chosen in the restore dialog, from the
// last backup of the catalogue, or in batch mode from batch_archive.
uint32_t restore_command(void* parent, uint32_t flags, HostParamCallback params);
// Command 3: the settings sheet; the settings are saved when it is confirmed.
uint32_t settings_command(void* parent, uint32_t flags, HostParamCallback params);
// Command 4: hands over to the backup executable at the end of the host's
// work. It has no window of its own; parent is ignored.
uint32_t end_of_work_command(void* parent, uint32_t flags, HostParamCallback params);

// The table bkDispatch runs.
const CommandTable& module_commands();

// The backup proper, once everything is decided: the archive named from the
// settings' template in the backup folder, made by the backup task behind
// the progress window. With show_file the new archive is shown in the file
// manager. BK_DONE, BK_NOT_DONE (canceled, or once a day and a backup of this
// database exists today), BK_FAILED with messages; a failed task throws.
uint32_t run_backup(void* parent, HostParamCallback params, const BackupSettings& settings,
                    const HostIdentity& identity, const AutoParams& run, bool show_file);

// The restore proper from archive, behind the progress window; the files
// that could not be put back are shown afterwards. BK_DONE, BK_NOT_DONE when
// canceled, BK_FAILED with messages; a failed task throws.
uint32_t run_restore(void* parent, HostParamCallback params, const BackupSettings& settings,
                     const std::wstring& archive);

// The archive the last backup of this process made, or the last restore
// read from; empty until one ran. The backup executable names it in its log.
std::wstring last_archive();
void set_last_archive(const std::wstring& archive);

// Asks the user whether to restore a backup made by another program version
// or for another database. BK_DONE to go on, BK_NOT_DONE when the user said
// Cancel.
uint32_t check_backup_identity(void* parent, const HostIdentity& host, const BackupRecord& backup);

// A .7z archive is always read by 7-Zip: when the settings choose another
// archiver, their archiver settings become 7-Zip's defaults, keeping the
// password (it belongs to the archive). Other archives leave the settings as
// they are, so 7-Zip settings also read a RAR archive.
void match_archiver_to_archive(const std::wstring& archive, BackupSettings& settings);

}  // namespace bk
