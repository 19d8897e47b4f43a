#include "tasks/backup_task.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <unordered_set>

#include "core/string_table.h"
#include "archivers/archiver.h"
#include "catalogue/catalogue_lock.h"
#include "catalogue/manifest.h"
#include "cloud/cloud_transfer.h"
#include "files/gather.h"
#include "rkit/files.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "tasks/new_archive.h"
#include "tasks/user_interface.h"

namespace bk {

namespace {

// A question about the removable medium: Retry or Cancel, with a warning sign.
constexpr uint32_t removable_question = MB_RETRYCANCEL | MB_ICONWARNING;

// Whether a file can be written at path: it is created (or truncated), closed
// and deleted again, as a copy there would start.
bool can_write(const std::wstring& path) {
    const std::string native = rkit::native_path(path);
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(native.c_str());
    return true;
}

// The list file an archiver reads holds one name a line.
bool has_line_break(const std::wstring& path) { return path.find_first_of(L"\n\r") != std::wstring::npos; }

// Why a file the archive should hold is not in it.
std::wstring reason_not_saved(const std::wstring& path) {
    if (has_line_break(path)) return L"the name holds a line break, which the archiver's list of files cannot carry";
    const int fd = ::open(rkit::native_path(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return rkit::char_to_wide(std::strerror(errno));
    ::close(fd);
    return L"the archiver did not store it";
}

// Bytes of the file system of folder available to this process.
int64_t free_space(const std::wstring& folder) {
    struct statvfs st {};
    if (::statvfs(rkit::native_path(folder).c_str(), &st) != 0)
        throw std::runtime_error(format_string_narrow(ids::ERR_REMOVABLE_FREE_SPACE, {folder}));
    const unsigned long long bytes = static_cast<unsigned long long>(st.f_bavail) * st.f_frsize;
    constexpr auto most = static_cast<unsigned long long>(std::numeric_limits<int64_t>::max());
    return static_cast<int64_t>(bytes > most ? most : bytes);
}

}  // namespace

std::wstring format_size(int64_t size) {
    if (size < 0) return L"<error>";
    static constexpr int units[] = {ids::UNIT_BYTES, ids::UNIT_KB, ids::UNIT_MB, ids::UNIT_GB, ids::UNIT_TB};
    double value = static_cast<double>(size);
    size_t divisions = 0;
    while (value >= 1024) {
        value /= 1024;
        ++divisions;
    }
    // to_chars writes "%.3g" as the C locale does, whatever locale the host set.
    char number[32];
    const auto end = std::to_chars(number, number + sizeof number, value, std::chars_format::general, 3).ptr;
    const std::wstring unit = divisions < std::size(units) ? load_string(units[divisions]) : std::wstring();
    return rkit::char_to_wide(std::string_view(number, static_cast<size_t>(end - number))) + L" " + unit;
}

BackupTask::BackupTask(const BackupSettings& settings, const std::wstring& backup_folder,
                       const BasicFolders& folders, const FileLocations& locations, const HostIdentity& identity,
                       const AutoParams& run_params, const rkit::timestamp& created,
                       const std::wstring& archive_path, BackupOutcome* outcome)
    : BasicTask(ids::BACKUP_TITLE),
      settings_(settings),
      backup_folder_(backup_folder),
      folders_(folders),
      locations_(locations),
      identity_(identity),
      comment_(run_params.comment),
      keeptime_(run_params.keeptime),
      excluded_components_(run_params.excl_comp),
      created_(created),
      archive_path_(archive_path),
      outcome_(outcome) {}

void BackupTask::execute() {
    set_status_text(load_string(ids::STATUS_PREPARING_BACKUP));
    const rkit::TempFolder staging;

    UnreadFolders unread;
    const std::vector<FileRecord> files =
        gather_files(folders_, locations_, settings_, status(), excluded_components_, &unread);
    std::unordered_set<std::wstring> named;  // two groups may meet the same folder
    for (const UnreadFolder& folder : unread)
        if (named.insert(folder.path).second)
            add_task_warning(format_string_narrow(ids::ERR_FOLDER_NOT_READ,
                                                  {folder.path, rkit::char_to_wide(std::strerror(folder.error))}));

    NewArchive archive(backup_folder_, archive_path_);
    archive_path_ = archive.path();
    const BackupRecord record = make_backup_record(created_, keeptime_, comment_, identity_, archive_path_);
    write_filelist(rkit::concat_path(staging.path(), FILELIST_NAME), files);
    write_fileinfo(rkit::concat_path(staging.path(), FILEINFO_NAME), record);
    make_archive(staging.path(), files, archive);

    // The last moment a stop leaves nothing behind: from here on the backup
    // is made and recorded, or its archive goes again.
    set_status_text(load_string(ids::STATUS_UPDATING_CATALOGUE));
    archive.commit();
    Catalogue made_eternal;
    try {
        update_catalogue(settings_, backup_folder_, created_, record, &made_eternal, status());
    } catch (const catalogue_locked&) {
        archive.remove();
        throw;
    } catch (const task_canceled&) {
        archive.remove();
        throw;
    }
    if (outcome_) {
        outcome_->archive = archive_path_;
        outcome_->all_files_saved = !has_warnings();
    }
    if (has_warnings()) add_task_warning(format_string_narrow(ids::BACKUP_INCOMPLETE, {archive_path_}));

    if ((settings_.options & OPT_REMOVABLE) && !settings_.removable_path.empty()) copy_to_removable();

    upload_new_backup(settings_, status(), backup_folder_, archive_path_, record, made_eternal);
}

void BackupTask::make_archive(const std::wstring& staging, const std::vector<FileRecord>& files,
                              const NewArchive& archive) {
    // The manifests go first, at the archive's root, so that a restore finds
    // them without reading through the data.
    compress(settings_.archiver, staging, archive.building(), FILELIST_NAME);
    compress(settings_.archiver, staging, archive.building(), FILEINFO_NAME);
    const std::vector<std::wstring> paths = unique_paths(files);
    std::vector<std::wstring> listed;
    listed.reserve(paths.size());
    std::copy_if(paths.begin(), paths.end(), std::back_inserter(listed), [](const auto& p) { return !has_line_break(p); });
    compress_files(settings_.archiver, listed, archive.building(), status());
    if (!rkit::file_exists(archive.building()))
        throw std::runtime_error(format_string_narrow(ids::ERR_NO_ARCHIVE_MADE, {archive.path()}));
    name_files_not_saved(paths, archive.building());
}

// The archivers pass over a file they cannot read with a warning at most:
// the archive's own list is what tells which files it holds.
void BackupTask::name_files_not_saved(const std::vector<std::wstring>& paths, const std::wstring& archive) {
    const std::vector<std::wstring> entries = list_entries(settings_.archiver, archive);
    const std::unordered_set<std::wstring> stored(entries.begin(), entries.end());
    for (const std::wstring& path : paths)
        if (path.size() < 2 || !stored.count(path.substr(1)))
            add_task_warning(format_string_narrow(ids::ERR_FILE_NOT_SAVED, {path, reason_not_saved(path)}));
}

void BackupTask::copy_to_removable() const {
    set_status_text(load_string(ids::STATUS_COPYING_TO_REMOVABLE));
    const std::wstring destination =
        rkit::concat_path(settings_.removable_path, rkit::extract_name_ext(archive_path_));
    const bool may_ask = (settings_.options & OPT_ASK_REMOVABLE) != 0;

    // A medium that is missing, unwritable or full is skipped, not an error:
    // the backup itself is made and recorded.
    if (!removable_accessible(destination, may_ask)) return;
    if (!removable_has_room(rkit::file_size(archive_path_), may_ask)) return;

    if (!rkit::file_copy(archive_path_, destination, true))
        throw std::runtime_error(format_string_narrow(ids::ERR_COPY_TO_REMOVABLE, {settings_.removable_path}));
}

bool BackupTask::removable_accessible(const std::wstring& destination, bool may_ask) const {
    for (;;) {
        rkit::create_path(rkit::extract_dir(destination));
        if (can_write(destination)) return true;
        if (!may_ask || !status()) return false;
        const std::wstring question = format_string(ids::REMOVABLE_NO_ACCESS, {settings_.removable_path});
        if (status()->ask(question, removable_question) == IDCANCEL) return false;
        throw_if_canceled();
    }
}

bool BackupTask::removable_has_room(int64_t size, bool may_ask) const {
    const std::wstring& folder = settings_.removable_path;
    for (;;) {
        // An archive whose size cannot be read (-1) is let through: the copy
        // itself will tell.
        const int64_t available = free_space(folder);
        if (size <= available) return true;
        if (!may_ask || !status()) return false;
        const std::wstring question =
            format_string(ids::REMOVABLE_NO_SPACE, {folder, format_size(size), format_size(available)});
        if (status()->ask(question, removable_question) == IDCANCEL) return false;
        throw_if_canceled();
    }
}

}  // namespace bk
