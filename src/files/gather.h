// Turning the file groups and single files of the settings into the list of
// files a backup saves, and where each one goes back on restore.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_record.h"
#include "core/host_params.h"
#include "core/worker_status.h"
#include "settings/settings.h"

namespace bk {

// What a search is doing, for the progress dialog. Each call may end the
// search by throwing task_canceled.
class IFileGatheringStatus {
public:
    virtual void search_started() = 0;
    virtual void refresh() = 0;
    virtual void searching_folder(const std::wstring& folder, const std::wstring& pattern) = 0;
    virtual void exclusions_started() = 0;

protected:
    ~IFileGatheringStatus() = default;
};

// Forwards the search texts to a task's status (which may be absent), checking
// for a cancel first; the progress bar stays hidden.
class gather_status_adapter_ final : public IFileGatheringStatus {
public:
    explicit gather_status_adapter_(IWorkerStatus* status) : status_(status) {}
    void search_started() override;
    void refresh() override;
    void searching_folder(const std::wstring& folder, const std::wstring& pattern) override;
    void exclusions_started() override;

private:
    IWorkerStatus* status_;
};

// A folder whose files gathering could not list, with errno of the failure.
struct UnreadFolder {
    std::wstring path;
    int error = 0;
    friend bool operator==(const UnreadFolder&, const UnreadFolder&) = default;
};
using UnreadFolders = std::vector<UnreadFolder>;

// Full paths, each once, ordered by path_less: by the upper-cased path first,
// so that the order is the one users of the Windows version know, then by the
// exact path, so that "A.txt" and "a.txt" (two files here) keep a fixed order.
using PathSet = std::vector<std::wstring>;
bool path_less(const std::wstring& a, const std::wstring& b);

// Every file of the groups and single files, in settings order, with their
// reference counts. Groups whose folder and single files that do not exist,
// and those left out by excluded_components, are skipped silently; folders
// that exist but cannot be read go to unread. Throws std::runtime_error
// (unresolvable path, invalid mask) or task_canceled.
std::vector<FileRecord> gather_files(const BasicFolders& folders, const FileLocations& locations,
                                     const BackupSettings& settings, IWorkerStatus* status,
                                     const std::vector<std::wstring>& excluded_components,
                                     UnreadFolders* unread = nullptr);

// The files of one group's folder: those matching the include masks ("*.*"
// when there are none) minus those matching the exclude masks. When recursive,
// subfolders are searched too, except links to folders and the subfolders an
// exclude mask names. Folders that cannot be listed go to unread.
PathSet gather_group_files(const std::wstring& group_folder, const std::wstring& include_text,
                           const std::wstring& exclude_text, bool recursive,
                           IFileGatheringStatus* status, UnreadFolders* unread = nullptr);

// The full paths in record order, each file once (its first record wins).
std::vector<std::wstring> unique_paths(const std::vector<FileRecord>& records);

// True when components is not empty and every one of them is excluded.
bool is_excluded_by_components(const std::vector<std::wstring>& components,
                               const std::vector<std::wstring>& excluded);

}  // namespace bk
