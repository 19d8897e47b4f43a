// The catalogue of one backup folder, backup_list.xml: one record per archive
// made there, with its keep time, and the retention that works on it.
//
// A record's time is local time. Dates and times are written in the text
// forms of rkit ("dd.mm.yyyy", "hh:mm:ss"). Everything that needs "today"
// takes it as an argument, except keep_time_text, which asks rkit::clock.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/host_params.h"
#include "core/worker_status.h"
#include "rkit/datetime.h"
#include "settings/settings.h"

namespace bk {

// 01.01.1800 00:00: no time at all, older than any backup.
inline constexpr int64_t NO_TIME = 6311520000000;

struct BackupRecord {
    rkit::timestamp time{NO_TIME};
    int32_t keeptime = KEEP_FOREVER;  // days
    std::wstring filename;            // relative to the backup folder
    std::wstring comment;
    HostIdentity identity;  // the host that made it
    friend bool operator==(const BackupRecord&, const BackupRecord&) = default;
};

using Catalogue = std::vector<BackupRecord>;

// The record of a backup made now by this host: keeptime and comment as the
// run asked, filename the archive's name with extension.
BackupRecord make_backup_record(const rkit::timestamp& time, int32_t keeptime,
                                const std::wstring& comment, const HostIdentity& identity,
                                const std::wstring& archive_path);

// folder/backup_list.xml
std::wstring catalogue_path(const std::wstring& folder);

// Reads every child element of root/items, whatever it is named; a missing
// attribute keeps the record's default. No items element: an empty catalogue.
// Throws the errors of the XML layer (xml_error, com_error).
void read_catalogue(const std::wstring& path, Catalogue& out);
// Replaces the file atomically. Throws the errors of the XML layer.
void write_catalogue(const std::wstring& path, const Catalogue& records);
// For the callers that report instead of throwing: a missing file is an empty
// catalogue and BK_DONE; a failure adds the exception's message and message
// 20113 to the error list and gives BK_FAILED.
uint32_t load_catalogue(const std::wstring& folder, Catalogue& out);

// Oldest first; records of one moment keep their order.
void sort_by_time(Catalogue& records);

// Only KEEP_FOREVER (-1) keeps forever; any other negative number is a
// number of days like the rest, long run out.
bool keeps_forever(int32_t keeptime);
// More whole days from the record's date to today than its keep time.
bool is_expired(const BackupRecord& record, const rkit::date& today);

// "вечно", or "N дней" with " (истек)" when expired by today's clock date.
std::wstring keep_time_text(const BackupRecord& record);
// "dd.mm.yyyy hh:mm"
std::wstring creation_time_text(const BackupRecord& record);

// Weeks run from Monday to Sunday.
bool same_week(const rkit::date& a, const rkit::date& b);
bool same_month(const rkit::date& a, const rkit::date& b);
// Whether record is the last of its database in its week (month), given the
// records after it in time order.
bool last_of_week(const BackupRecord& record, std::span<const BackupRecord> later);
bool last_of_month(const BackupRecord& record, std::span<const BackupRecord> later);

// Raises the keep time of the last backup of every finished week and month of
// each database, as the settings ask. When anything changed, records becomes
// the changed copy sorted by time; otherwise it is left as it was. Records made
// eternal here are appended to eternal when it is given.
void extend_keep_times(const BackupSettings& settings, const rkit::timestamp& now,
                       Catalogue& records, Catalogue* eternal = nullptr);

// Expired records beyond settings.expired_limit, the oldest of them, go to
// to_delete; everything else goes to kept, sorted by time.
void split_expired(const BackupSettings& settings, const Catalogue& records,
                   const rkit::timestamp& now, Catalogue& kept, Catalogue& to_delete);

// The catalogue step of a backup: under an exclusive lock of the folder's
// catalogue, read it (a missing file is empty), extend keep times, drop the
// expired records beyond the limit, append record and write it back; then
// delete the archives of the dropped records (failures are not reported).
// A catalogue that cannot be read throws and is left untouched. Records made
// eternal are appended to eternal when the settings upload only eternal
// backups to the cloud. Waiting for the lock ends with catalogue_locked after
// CatalogueLock::wait_limit(), or with task_canceled when status asks to stop.
void update_catalogue(const BackupSettings& settings, const std::wstring& folder,
                      const rkit::timestamp& now, const BackupRecord& record,
                      Catalogue* eternal = nullptr, IWorkerStatus* status = nullptr);

}  // namespace bk
