#include "tasks/new_archive.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <stdexcept>

#include "core/string_table.h"
#include "rkit/files.h"
#include "rkit/path.h"
#include "rkit/temp_files.h"
#include "rkit/text.h"
#include "settings/filename_template.h"

namespace bk {

namespace {

// The catalogue's temporary files, written beside it before they replace it,
// are ".backup_list.xml." and six random characters.
constexpr std::string_view catalogue_temp_prefix = ".backup_list.xml.";
constexpr size_t random_part = 6;
constexpr time_t leftover_age = 24 * 60 * 60;

bool named_like(std::string_view name, std::string_view prefix) {
    return name.size() == prefix.size() + random_part && name.starts_with(prefix);
}

[[noreturn]] void fail(const char* what, const std::string& path) {
    throw std::runtime_error(std::string(what) + path + ": " + std::strerror(errno));
}

// What a backup killed in its work left in the folder, a day later: by then
// no backup that is still running can own it.
void remove_leftovers(const std::string& folder) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return;
    const time_t now = ::time(nullptr);
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string_view name = e->d_name;
        const bool private_folder = rkit::is_private_folder_name(name);
        if (!private_folder && !named_like(name, catalogue_temp_prefix)) continue;
        const std::string path = folder + "/" + std::string(name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || now - st.st_mtime < leftover_age) continue;
        if (private_folder && S_ISDIR(st.st_mode)) rkit::dir_deep_delete(rkit::from_native_path(path));
        if (!private_folder && S_ISREG(st.st_mode)) ::unlink(path.c_str());
    }
}

}  // namespace

NewArchive::NewArchive(const std::wstring& backup_folder, const std::wstring& wanted_path) {
    // The first backup into a new folder: 7-Zip would make the folder, RAR
    // would not.
    if (!rkit::create_path(backup_folder))
        throw std::runtime_error(format_string_narrow(ids::ERR_CREATE_FOLDER, {backup_folder}));
    const std::string folder = rkit::native_path(backup_folder);
    remove_leftovers(folder);

    // Archives hold the books: their owner's alone, or the group's too where
    // the folder is shared by a group (its set-group-ID bit is set).
    struct stat st {};
    mode_ = ::stat(folder.c_str(), &st) == 0 && (st.st_mode & S_ISGID) ? 0640 : 0600;

    path_ = reserve_unique_path(wanted_path, mode_);
    if (!rkit::make_private_folder(backup_folder, private_folder_)) {
        const int error = errno;
        rkit::file_delete(path_);
        errno = error;
        fail("can't create ", rkit::native_path(private_folder_));
    }
    building_ = rkit::concat_path(private_folder_, rkit::extract_name_ext(path_));
}

NewArchive::~NewArchive() {
    if (committed_) return;
    rkit::dir_deep_delete(private_folder_);
    rkit::file_delete(path_);
}

void NewArchive::commit() {
    const std::string building = rkit::native_path(building_);
    if (::chmod(building.c_str(), mode_) != 0 || ::rename(building.c_str(), rkit::native_path(path_).c_str()) != 0)
        fail("can't move the new archive into place: ", rkit::native_path(path_));
    committed_ = true;
    rkit::dir_deep_delete(private_folder_);
}

void NewArchive::remove() {
    if (committed_) rkit::file_delete(path_);
}

}  // namespace bk
