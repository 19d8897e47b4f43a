// Uploads of archives to WebDAV cloud storage through libwlink3.so: the known
// services, the target address, which archives go, and the progress shown.
#pragma once
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"
#include "core/worker_status.h"
#include "settings/settings.h"
#include "wlink3/wlink3.h"

namespace bk {

struct CloudService {
    std::wstring_view id;            // CloudSettings::service
    std::wstring_view display_name;  // shown to the user
    std::wstring_view webdav_url;    // where archives go
    std::wstring_view web_page;      // where the user looks at them
};

// The services the settings offer by name; "custom" is not among them.
std::span<const CloudService> known_cloud_services();
// Null for an identifier that is not in the table.
const CloudService* find_cloud_service(std::wstring_view id);

// base, "/" unless base ends with one, and the archive's file name encoded
// for a URL path ("Архив 1.7z" -> "%D0%90...%201.7z").
std::wstring cloud_target_url(const std::wstring& base, const std::wstring& archive_path);

// Uploads one archive. Does nothing when the settings want only eternal
// backups and record is not one, or when the file does not exist. Throws
// std::runtime_error for an unknown service, for a library that cannot be
// used, and with message 20160 for a failed transfer; task_canceled when the
// status reports a cancel during the transfer. status may be null.
void upload_archive(const CloudSettings& cloud, IWorkerStatus* status, const std::wstring& archive_path,
                    const BackupRecord& record);

// The progress callback given to the library; status is the task's
// IWorkerStatus or null. Shows the phase's text (20155 connecting, 20156
// receiving, 20157 sending) with the bar at done/total when the size is known;
// answers WL_PROGRESS_STOP when the status reports a cancel.
int32_t upload_progress(void* status, const HttpProgress* progress) noexcept;

struct CloudUpload {
    std::wstring path;
    BackupRecord record;
    friend bool operator==(const CloudUpload&, const CloudUpload&) = default;
};

// What a finished backup sends: the new archive, and, when only eternal
// backups go, the entries the catalogue update has just made eternal (their
// files are in backup_folder). With eternal_only, anything not kept forever
// stays home.
std::vector<CloudUpload> select_cloud_uploads(const CloudSettings& cloud, const std::wstring& backup_folder,
                                              const std::wstring& archive_path, const BackupRecord& record,
                                              const Catalogue& made_eternal);

// The cloud step of a backup, after the catalogue update: when
// cloud_upload_enabled, uploads every archive of select_cloud_uploads in
// order. The first failure ends it.
void upload_new_backup(const BackupSettings& settings, IWorkerStatus* status, const std::wstring& backup_folder,
                       const std::wstring& archive_path, const BackupRecord& record,
                       const Catalogue& made_eternal);

}  // namespace bk
