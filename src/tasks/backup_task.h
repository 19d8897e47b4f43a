// Making one backup on the worker thread: the files of the settings are
// gathered, the two manifests written, the archive built with the configured
// archiver, the catalogue updated (expired archives deleted), and the new
// archive copied to removable media and uploaded to cloud storage as the
// settings ask.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/host_params.h"
#include "catalogue/catalogue.h"
#include "files/gather.h"
#include "rkit/datetime.h"
#include "settings/settings.h"
#include "tasks/worker_task.h"

namespace bk {

// A size as the free-space question shows it, in the largest unit that keeps
// the number below 1024, with three significant digits: "1.5 Кб", "0 байт",
// "1e+03 байт"; "<error>" for a size that could not be read (negative).
std::wstring format_size(int64_t size);

// What a backup tells its caller once run_worker_task has returned.
struct BackupOutcome {
    // The archive made: the name wanted, or the next free one of its series
    // when another backup took it first.
    std::wstring archive;
    // False when selected files are not in the archive: the archive and its
    // record are kept, and the error list names each file and why.
    bool all_files_saved = true;
};

class NewArchive;

class BackupTask : public BasicTask {
public:
    // Everything is copied: the caller's values are never touched while the
    // task runs. From run_params the task takes the comment, the keep time
    // and the components left out. archive_path is the name wanted for the
    // archive; outcome (not owned, may be null) is filled in.
    BackupTask(const BackupSettings& settings, const std::wstring& backup_folder,
               const BasicFolders& folders, const FileLocations& locations,
               const HostIdentity& identity, const AutoParams& run_params,
               const rkit::timestamp& created, const std::wstring& archive_path,
               BackupOutcome* outcome = nullptr);

protected:
    void execute() override;

private:
    void make_archive(const std::wstring& staging, const std::vector<FileRecord>& files, const NewArchive& archive);
    void name_files_not_saved(const std::vector<std::wstring>& paths, const std::wstring& archive);
    void copy_to_removable() const;
    bool removable_accessible(const std::wstring& destination, bool may_ask) const;
    bool removable_has_room(int64_t size, bool may_ask) const;

    BackupSettings settings_;
    std::wstring backup_folder_;
    BasicFolders folders_;
    FileLocations locations_;
    HostIdentity identity_;
    std::wstring comment_;
    int32_t keeptime_;
    std::vector<std::wstring> excluded_components_;
    rkit::timestamp created_;
    std::wstring archive_path_;
    BackupOutcome* outcome_;
};

}  // namespace bk
