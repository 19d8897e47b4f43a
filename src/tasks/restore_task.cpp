#include "tasks/restore_task.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <unordered_map>

#include "core/string_table.h"
#include "archivers/archiver.h"
#include "catalogue/manifest.h"
#include "rkit/files.h"
#include "rkit/path.h"
#include "rkit/text.h"

namespace bk {

namespace {

const wchar_t* const kSetAsideExtension = L".~TempCopy";
// Why a record is refused; shown where a system error's text would be.
const wchar_t* const kOutsideFolders = L"the destination is outside the host's and the settings' folders";
const wchar_t* const kNotFromArchive = L"the archive's copy of the file is a link or lies outside the extraction folder";

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

// A record that is not followed: the file is not touched at all.
[[noreturn]] void refuse(const std::wstring& destination, const wchar_t* reason) {
    RestoreProblem problem = make_restore_problem(destination, ids::ERR_MOVE_FILE, destination, 0);
    problem.system_error_text = reason;
    throw restore_file_error(std::move(problem));
}

// True when path lies below folder (both normalised), not on it.
bool strictly_below(const std::wstring& path, const std::wstring& folder) {
    if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    return folder == L"/" || path[folder.size()] == L'/';
}

// A normal path with the symbolic links of the part that exists resolved;
// the part that does not exist yet is appended as written.
std::wstring real_path(const std::wstring& path) {
    std::wstring existing = path, rest;
    for (;;) {
        if (char* real = ::realpath(rkit::native_path(existing).c_str(), nullptr)) {
            std::wstring out = rkit::from_native_path(real);
            std::free(real);
            if (out == L"/" && !rest.empty()) return rest;
            return out + rest;
        }
        const size_t slash = existing.rfind(L'/');
        if (slash == std::wstring::npos || existing == L"/") return path;
        rest = existing.substr(slash) + rest;
        existing = slash == 0 ? L"/" : existing.substr(0, slash);
    }
}

// The folders a restore may write into, resolved: the host's basic folders,
// and the folders of the file groups and single files of the settings (which
// may lie anywhere the user chose, "/srv/shared/docs").
std::vector<std::wstring> permitted_folders(const BackupSettings& settings, const BasicFolders& folders) {
    std::vector<std::wstring> out;
    std::wstring root;
    for (const BasicFolder& folder : folders)
        if (folder.name == load_string(ids::MACRO_ROOT_DIR)) root = folder.path;
    auto add = [&](const std::wstring& base, const std::wstring& relative, bool folder_of_file) {
        std::wstring full;
        if (base.empty() && !rkit::is_absolute_path(relative)) return;
        if (!rkit::get_absolute_path(base, relative, full)) return;
        out.push_back(real_path(folder_of_file ? rkit::extract_dir(full) : full));
    };
    for (const BasicFolder& folder : folders) add(root, folder.path, false);
    for (const FileGroup& group : settings.file_groups) {
        try {
            add(resolve_folder(group.basic_folder, folders), group.relative_path, false);
        } catch (const std::exception&) {
            // A group whose basic folder the host lacks names no folder.
        }
    }
    // A single file named by a file macro goes into a basic folder, above.
    for (const SingleFile& file : settings.single_files) add(root, file.path, true);
    return out;
}

// What is known of one destination folder: where it really is, whether a
// restore may write there, and (once it exists) its file system.
struct DestinationFolder {
    std::wstring real;
    bool permitted = false;
    bool created = false;
    dev_t device = 0;
};

// The file that stands at the destination is set aside under a temporary
// name until the new one is in place, and gets its name back when that fails.
class replacement_guard_ {
public:
    explicit replacement_guard_(const std::wstring& destination) : destination_(destination) {
        struct stat st {};
        if (::lstat(rkit::native_path(destination_).c_str(), &st) != 0) {
            if (errno == ENOENT) return;
            fail(destination_, ids::ERR_MOVE_FILE, destination_);
        }
        // Setting a folder aside and deleting it on commit would be a folder
        // lost; a file cannot take a folder's place.
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            fail(destination_, ids::ERR_MOVE_FILE, destination_);
        }
        temporary_ = set_aside_name();
        if (!rkit::file_rename(destination_, temporary_)) fail(destination_, ids::ERR_MOVE_FILE, destination_);
        set_aside_ = true;
    }

    ~replacement_guard_() {
        if (set_aside_ && !committed_) rkit::file_rename(temporary_, destination_);
    }

    replacement_guard_(const replacement_guard_&) = delete;
    replacement_guard_& operator=(const replacement_guard_&) = delete;

    void commit() {
        committed_ = true;
        if (set_aside_ && !rkit::file_delete(temporary_)) fail(destination_, ids::ERR_MOVE_FILE, destination_);
    }

private:
    // NAME.~TempCopy, replacing what an earlier, interrupted restore left
    // there; a name that would pass the 255 bytes of a name gets a shorter,
    // unique one.
    std::wstring set_aside_name() const {
        std::wstring name = rkit::force_extension(destination_, kSetAsideExtension);
        if (name == destination_) name += kSetAsideExtension;
        if (rkit::native_path(rkit::extract_name_ext(name)).size() <= 255) {
            struct stat st {};
            if (::lstat(rkit::native_path(name).c_str(), &st) == 0 && !rkit::file_delete(name))
                fail(destination_, ids::ERR_MOVE_FILE, destination_);
            return name;
        }
        if (!rkit::create_file_beside(destination_, std::wstring(kSetAsideExtension) + L".", name))
            fail(destination_, ids::ERR_MOVE_FILE, destination_);
        return name;
    }

    std::wstring destination_;
    std::wstring temporary_;
    bool set_aside_ = false;
    bool committed_ = false;
};

// A copy made beside its destination, removed unless it was put in place.
class incoming_copy_ {
public:
    ~incoming_copy_() {
        if (!path.empty()) rkit::file_delete(path);
    }
    std::wstring path;
};

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

// Puts the extracted files in place: every destination checked where it
// really leads, and every file moved so that its name is missing only
// between two renames, whatever stops the restore.
class FilePlacer {
public:
    FilePlacer(const std::wstring& staging, const BackupSettings& settings, const BasicFolders& folders)
        : staging_(rkit::normalize_path(staging)),
          real_staging_(real_path(staging_)),
          permitted_(permitted_folders(settings, folders)) {
        struct stat st {};
        if (::stat(rkit::native_path(staging_).c_str(), &st) == 0) staging_device_ = st.st_dev;
    }

    // Throws restore_file_error.
    void put_back(const FileRecord& record, const std::wstring& destination) {
        DestinationFolder& folder = destination_folder(rkit::extract_dir(destination));
        const std::wstring name = rkit::extract_name_ext(destination);
        if (!folder.permitted || name.empty()) refuse(destination, kOutsideFolders);
        const bool copy = record.ref_count > 1;
        check_source(record.path, destination, copy ? ids::ERR_COPY_FILE : ids::ERR_MOVE_FILE);
        make_folder(folder, destination);

        if (copy) {
            // Other records need the same extracted copy.
            if (!rkit::file_copy(record.path, destination, true))
                fail(destination, ids::ERR_COPY_FILE, destination);
            return;
        }
        incoming_copy_ incoming;
        std::wstring source = record.path;
        if (folder.device != staging_device_) {
            // From another file system the new content is copied beside its
            // destination first, so that it goes in place by a rename.
            if (!rkit::file_copy_beside(record.path, destination, incoming.path))
                fail(destination, ids::ERR_MOVE_FILE, destination);
            source = incoming.path;
        }
        replacement_guard_ guard(destination);
        if (!rkit::file_rename(source, destination)) fail(destination, ids::ERR_MOVE_FILE, destination);
        incoming.path.clear();
        guard.commit();
        if (source != record.path) rkit::file_delete(record.path);
    }

private:
    DestinationFolder& destination_folder(const std::wstring& path) {
        auto [it, added] = folders_.try_emplace(path);
        if (added) {
            DestinationFolder& folder = it->second;
            folder.real = real_path(path);
            const std::wstring probe = folder.real == L"/" ? L"/x" : folder.real + L"/x";
            folder.permitted = std::any_of(permitted_.begin(), permitted_.end(),
                                           [&](const std::wstring& p) { return strictly_below(probe, p); });
        }
        return it->second;
    }

    // The extracted copy must be a file the archiver made inside the staging
    // folder: a link planted by a hostile archive could otherwise carry a
    // file of the system into the host's folders.
    void check_source(const std::wstring& source, const std::wstring& destination, int message_id) {
        const std::wstring normal = rkit::normalize_path(source);
        if (!strictly_below(normal, staging_)) refuse(destination, kNotFromArchive);
        const std::wstring dir = rkit::extract_dir(normal);
        auto [it, added] = source_folders_.try_emplace(dir, false);
        if (added) {
            const std::wstring real = real_path(dir);
            it->second = real == real_staging_ || strictly_below(real, real_staging_);
        }
        if (!it->second) refuse(destination, kNotFromArchive);
        struct stat st {};
        if (::lstat(rkit::native_path(normal).c_str(), &st) != 0) fail(destination, message_id, destination);
        if (!S_ISREG(st.st_mode)) refuse(destination, kNotFromArchive);
    }

    static void make_folder(DestinationFolder& folder, const std::wstring& destination) {
        if (folder.created) return;
        const std::wstring path = rkit::extract_dir(destination);
        if (!rkit::create_path(path)) fail(destination, ids::ERR_CREATE_FOLDER, path);
        struct stat st {};
        if (::stat(rkit::native_path(path).c_str(), &st) != 0) fail(destination, ids::ERR_CREATE_FOLDER, path);
        folder.device = st.st_dev;
        folder.created = true;
    }

    std::wstring staging_;
    std::wstring real_staging_;
    dev_t staging_device_ = 0;
    std::vector<std::wstring> permitted_;
    std::unordered_map<std::wstring, DestinationFolder> folders_;
    std::unordered_map<std::wstring, bool> source_folders_;  // inside the staging folder, really
};

RestoreTask::RestoreTask(const BackupSettings& settings, const BasicFolders& folders, const std::wstring& archive,
                         std::vector<RestoreProblem>* problems)
    : BasicTask(ids::RESTORE_TITLE), settings_(settings), folders_(folders), archive_(archive), problems_(problems) {}

void RestoreTask::execute() {
    set_status_text(load_string(ids::STATUS_PREPARING_EXTRACT));
    const rkit::TempFolder staging;
    extract_with_settings(settings_.archiver, staging.path(), archive_, L"", status());

    set_status_text(load_string(ids::STATUS_COPYING_FILES));
    std::vector<FileRecord> records;
    read_filelist(rkit::concat_path(staging.path(), FILELIST_NAME), staging.path(), records);
    if (!records.empty() && holds_only_manifests(staging.path()))
        throw std::runtime_error(format_string_narrow(ids::ERR_ARCHIVE_INCOMPLETE, {archive_}));
    restore_files(staging.path(), records);
}

// An archive whose making was cut short after its manifests: every file of
// the list would be missing, and one message says why.
bool RestoreTask::holds_only_manifests(const std::wstring& staging) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(rkit::native_path(staging), error)) {
        const std::wstring name = rkit::from_native_path(entry.path().filename().string());
        if (name != FILELIST_NAME && name != FILEINFO_NAME) return false;
    }
    return !error;
}

void RestoreTask::restore_files(const std::wstring& staging, const std::vector<FileRecord>& records) {
    FilePlacer placer(staging, settings_, folders_);
    std::unordered_map<std::wstring, std::wstring> bases;
    for (size_t i = 0; i < records.size(); ++i) {
        const FileRecord& record = records[i];
        auto base = bases.find(record.base_symbolic_name);
        if (base == bases.end())
            base = bases.emplace(record.base_symbolic_name, restore_base_folder(record.base_symbolic_name, folders_))
                       .first;
        std::wstring destination;
        // A path that cannot be made absolute is shown as it was written; it
        // cannot end the restore either.
        const bool formed = !record.rel_path.empty() && rkit::get_absolute_path(base->second, record.rel_path, destination);
        if (!formed) destination = rkit::concat_path(base->second, record.rel_path);
        show_progress(destination, i, records.size());
        try {
            if (!formed) refuse(destination, kOutsideFolders);
            placer.put_back(record, destination);
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
