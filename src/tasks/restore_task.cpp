#include "tasks/restore_task.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "app/string_table.h"
#include "archivers/archiver.h"
#include "catalogue/manifest.h"
#include "rkit/files.h"
#include "rkit/path.h"
#include "rkit/text.h"

namespace bk {

namespace {

const wchar_t* const kFileList = L"filelist.xml";
const wchar_t* const kSetAsideExtension = L".~TempCopy";

struct MacroPair {
    int file_macro_id;
    int folder_macro_id;
};

constexpr MacroPair kFileLocationMacros[] = {
    {ids::MACRO_SHP_FILE, ids::MACRO_SHP_DIR},
    {ids::MACRO_REK_FILE, ids::MACRO_REK_DIR},
    {ids::MACRO_OPR_FILE, ids::MACRO_OPR_DIR},
};

// Records a failure of one file. Takes errno first: everything after it may
// change errno.
[[noreturn]] void fail(const std::wstring& destination, int message_id, const std::wstring& what) {
    const int error = errno;
    throw restore_file_error(make_restore_problem(destination, message_id, what, error));
}

[[noreturn]] void fail_with(const std::wstring& destination, int message_id, const std::wstring& what,
                            int error) {
    errno = error;
    fail(destination, message_id, what);
}

// Whether something, of whatever kind, stands at path; false with errno set otherwise.
bool lstat_path(const std::wstring& path, struct stat& st) {
    return ::lstat(rkit::native_path(path).c_str(), &st) == 0;
}

// True when path lies below folder (both normalised), not on it.
bool strictly_below(const std::wstring& path, const std::wstring& folder) {
    if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    return folder == L"/" || path[folder.size()] == L'/';
}

// A path taken from an archive that must stay below its base: relative, not
// empty, and without a ".." component ("\" counts as a separator).
bool stays_below(const std::wstring& rel) {
    if (rel.empty() || rkit::is_absolute_path(rel)) return false;
    size_t start = 0;
    while (start <= rel.size()) {
        size_t end = start;
        while (end < rel.size() && !rkit::is_separator(rel[end])) ++end;
        if (rel.compare(start, end - start, L"..") == 0) return false;
        start = end + 1;
    }
    return true;
}

std::filesystem::path resolved(const std::wstring& path) {
    std::error_code ec;
    auto out = std::filesystem::weakly_canonical(rkit::native_path(path), ec);
    return ec ? std::filesystem::path() : out;
}

// The extracted copy must be a file the archiver made inside the staging
// folder: a link planted by a hostile archive could otherwise carry a file of
// the system into the host's folders.
bool inside_staging(const std::wstring& source, const std::wstring& staging,
                    const std::filesystem::path& real_staging) {
    if (!strictly_below(rkit::normalize_path(source), rkit::normalize_path(staging))) return false;
    struct stat st {};
    if (lstat_path(source, st) && S_ISLNK(st.st_mode)) return false;
    const std::wstring real_source = rkit::from_native_path(resolved(source).string());
    return strictly_below(real_source, rkit::from_native_path(real_staging.string()));
}

// The file that stands at the destination is set aside under a temporary
// name until the new one is in place, and gets its name back when that fails.
class replacement_guard_ {
public:
    explicit replacement_guard_(const std::wstring& destination) : destination_(destination) {
        struct stat st {};
        if (!lstat_path(destination_, st)) {
            if (errno == ENOENT) return;
            fail(destination_, ids::ERR_MOVE_FILE, destination_);
        }
        // Setting a folder aside and deleting it on commit would be a folder
        // lost; a file cannot take a folder's place.
        if (S_ISDIR(st.st_mode)) fail_with(destination_, ids::ERR_MOVE_FILE, destination_, EISDIR);
        temporary_ = rkit::force_extension(destination_, kSetAsideExtension);
        if (temporary_ == destination_) temporary_ += kSetAsideExtension;
        if (lstat_path(temporary_, st) && !rkit::file_delete(temporary_))
            fail(destination_, ids::ERR_MOVE_FILE, destination_);
        if (!rkit::file_rename(destination_, temporary_)) fail(destination_, ids::ERR_MOVE_FILE, destination_);
        set_aside_ = true;
    }

    ~replacement_guard_() {
        if (set_aside_ && !committed_) rkit::file_rename(temporary_, destination_);
    }

    replacement_guard_(const replacement_guard_&) = delete;
    replacement_guard_& operator=(const replacement_guard_&) = delete;

    void commit() {
        if (set_aside_ && !rkit::file_delete(temporary_)) fail(destination_, ids::ERR_MOVE_FILE, destination_);
        committed_ = true;
    }

private:
    std::wstring destination_;
    std::wstring temporary_;
    bool set_aside_ = false;
    bool committed_ = false;
};

// Puts one extracted file at its destination; throws restore_file_error.
void put_back(const FileRecord& record, const std::wstring& destination) {
    const std::wstring folder = rkit::extract_dir(destination);
    if (!rkit::dir_exists(folder) && !rkit::create_path(folder))
        fail(destination, ids::ERR_CREATE_FOLDER, folder);

    if (record.ref_count > 1) {
        // Other records need the same extracted copy.
        if (!rkit::file_copy(record.path, destination, true)) fail(destination, ids::ERR_COPY_FILE, destination);
        return;
    }
    replacement_guard_ guard(destination);
    if (!rkit::file_move(record.path, destination)) fail(destination, ids::ERR_MOVE_FILE, destination);
    guard.commit();
}

}  // namespace

RestoreProblem make_restore_problem(const std::wstring& file, int message_id, const std::wstring& what,
                                    int error) {
    RestoreProblem problem;
    problem.file = file;
    problem.message = format_string(message_id, {what});
    if (error > 0) {
        problem.system_error = static_cast<uint32_t>(error);
        problem.system_error_text = rkit::char_to_wide(std::generic_category().message(error));
        for (wchar_t& c : problem.system_error_text)
            if (c == L'\n' || c == L'\r') c = L' ';
    }
    return problem;
}

std::wstring restore_base_folder(const std::wstring& base_symbolic_name, const BasicFolders& folders) {
    for (const MacroPair& macros : kFileLocationMacros)
        if (base_symbolic_name == load_string(macros.file_macro_id))
            return resolve_folder(load_string(macros.folder_macro_id), folders);
    return resolve_folder(base_symbolic_name, folders);
}

// A base named by a path rather than a macro is a host folder when it is a
// basic folder or lies below one, or when the settings name it (a group's or
// a single file's folder). Anything else ("/etc") is a folder of somebody
// else's, and an archive naming it is not followed there.
bool is_host_folder(const std::wstring& base_name, const std::wstring& base, const BackupSettings& settings,
                    const BasicFolders& folders) {
    for (const BasicFolder& folder : folders)
        if (folder.name == base_name) return true;
    for (const MacroPair& macros : kFileLocationMacros)
        if (base_name == load_string(macros.file_macro_id)) return true;
    const std::wstring normal = rkit::normalize_path(base);
    const std::wstring root = root_folder(folders);
    auto is = [&](const std::wstring& named) {
        std::wstring full;
        return !named.empty() && rkit::get_absolute_path(root, named, full) && rkit::normalize_path(full) == normal;
    };
    for (const BasicFolder& folder : folders) {
        std::wstring full;
        if (folder.path.empty() || !rkit::get_absolute_path(root, folder.path, full)) continue;
        full = rkit::normalize_path(full);
        if (normal == full || strictly_below(normal, full)) return true;
    }
    for (const FileGroup& group : settings.file_groups) {
        std::wstring folder;
        if (rkit::get_absolute_path(resolve_folder(group.basic_folder, folders), group.relative_path, folder) &&
            is(folder))
            return true;
    }
    for (const SingleFile& file : settings.single_files)
        if (is(rkit::extract_dir(file.path))) return true;
    return false;
}

RestoreTask::RestoreTask(const BackupSettings& settings, const BasicFolders& folders, const std::wstring& archive,
                         std::vector<RestoreProblem>* problems)
    : BasicTask(ids::RESTORE_TITLE), settings_(settings), folders_(folders), archive_(archive), problems_(problems) {}

void RestoreTask::execute() {
    set_status_text(load_string(ids::STATUS_PREPARING_EXTRACT));
    const TempFolder staging;
    extract_with_settings(settings_.archiver, staging.path(), archive_, L"", status());

    set_status_text(load_string(ids::STATUS_COPYING_FILES));
    std::vector<FileRecord> records;
    read_filelist(rkit::concat_path(staging.path(), kFileList), staging.path(), records);
    restore_files(staging.path(), records);
}

void RestoreTask::restore_files(const std::wstring& staging, const std::vector<FileRecord>& records) {
    const std::filesystem::path real_staging = resolved(staging);
    for (size_t i = 0; i < records.size(); ++i) {
        const FileRecord& record = records[i];
        const std::wstring base = restore_base_folder(record.base_symbolic_name, folders_);
        const bool safe = stays_below(record.rel_path) && inside_staging(record.path, staging, real_staging) &&
                          is_host_folder(record.base_symbolic_name, base, settings_, folders_);
        // A path that climbs out is shown as it was written; it is never made
        // absolute, so it cannot end the restore either.
        const std::wstring destination =
            safe ? absolute_path(base, record.rel_path) : rkit::concat_path(base, record.rel_path);
        show_progress(destination, i, records.size());
        try {
            if (!safe || !strictly_below(destination, rkit::normalize_path(base)))
                fail_with(destination, ids::ERR_MOVE_FILE, destination, 0);
            put_back(record, destination);
        } catch (const restore_file_error& e) {
            if (problems_) problems_->push_back(e.problem());
        }
    }
}

void RestoreTask::show_progress(const std::wstring& destination, size_t index, size_t count) const {
    IWorkerStatus* sink = status();
    if (!sink) return;
    throw_if_canceled();
    const int percent = static_cast<int>((index + 1) * 100 / count);
    TaskStatus shown = sink->get_status();
    shown.text = load_string(ids::STATUS_COPYING_FILES) + L"\n" + destination + L"\n" + std::to_wstring(percent) + L"%";
    shown.progress = percent;
    sink->set_status(shown);
}

}  // namespace bk
