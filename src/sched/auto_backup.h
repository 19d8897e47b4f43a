// Whether one call of the backup command may and should make a backup: the
// permissions of this workplace, login and computer, the automatic events
// (entering, leaving, by the clock) with the settings that switch them on,
// and the daily clock rule with the small cache that keeps frequent clock
// events cheap.
#pragma once
#include <cstdint>
#include <string>

#include "core/host_params.h"
#include "rkit/datetime.h"
#include "settings/settings.h"
#include "vardobk/vardobk.h"

namespace bk {

// Allowed by the include lists (an empty list allows everybody) and not
// forbidden by the exclude lists. A workplace below 1, an empty user name or
// an empty computer name is not tested. Logins compare exactly, computer names
// without regard to letter case.
bool is_permitted(const BackupSettings& settings, const HostIdentity& identity);

// The decision for one call of the backup command with these bkDispatch
// flags. BK_DONE: go on with run (the parameters of the event, or for a call
// by the user run.keeptime set to the default keep time) and ask_first (the
// user must confirm in the dialog). BK_NOT_DONE: not permitted, that kind of
// automatic backup switched off, or not due. BK_FAILED: the clock check could
// not read the catalogue (messages in the error list).
uint32_t decide_backup(uint32_t flags, HostParamCallback params, const BackupSettings& settings,
                       const HostIdentity& identity, AutoParams& run, bool& ask_first);

// One backup a day by the clock: due once now's time of day has reached
// threshold, unless the newest backup (last) was made today at or after it.
bool clock_backup_due(const rkit::time& threshold, const rkit::timestamp& last, const rkit::timestamp& now);

// Reads the catalogue of the backup folder, remembers the save hour and the
// newest backup in the clock cache, and answers BK_DONE when a backup is due,
// BK_NOT_DONE when not. BK_FAILED without a message when the backup folder
// cannot be made absolute; BK_FAILED with the catalogue's messages when it
// cannot be read (the cache is then left as it was). Throws when root_path
// is missing.
uint32_t clock_check(HostParamCallback params, const BackupSettings& settings);

// False only when the cached state shows that no backup is due by the clock;
// true when it is due or nothing is cached (the full check has to run).
bool clock_precheck();

// Forgets the cached state: after a backup, or when the settings changed.
void clear_clock_cache();

// The run parameters ask for exclusive access to the database and the host
// says it does not have it: such a backup is not made.
bool lacks_exclusive_access(const AutoParams& run, HostParamCallback params);

// Some backup of the same database as identity was made on now's date,
// according to the catalogue in backup_folder (a missing catalogue has none).
// Throws the catalogue's reading errors.
bool backup_made_today(const std::wstring& backup_folder, const HostIdentity& identity,
                       const rkit::timestamp& now);

}  // namespace bk
