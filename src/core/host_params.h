// The host's named parameters, read one at a time through its callback, and
// what the commands build from them: the basic folders, the locations of the
// current database files and the identity of the running host.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vardobk/vardobk.h"

namespace bk {

// A folder of the host known to the user by a macro name such as "ТЕК_ДИР".
// The path is kept exactly as the host gave it.
struct BasicFolder {
    std::wstring name;
    std::wstring path;
};

// A file of the current database, known by its own macro name and by the
// macro name of its folder.
struct FileLocation {
    std::wstring file_macro;
    std::wstring folder_macro;
    std::wstring path;
};

using BasicFolders = std::vector<BasicFolder>;
using FileLocations = std::vector<FileLocation>;

// The host's parameter key of a basic folder and the string id of its macro name.
struct BasicFolderKey {
    const char* key;
    int macro_id;
};

// The host's parameter key of a database file and the string ids of the
// macro names of the file and of its folder.
struct FileLocationKey {
    const char* key;
    int file_macro_id;
    int folder_macro_id;
};

// The 15 basic folders in their fixed order, "root_path" first.
std::span<const BasicFolderKey> basic_folder_keys();
// The 3 database files: "shp_path", "rek_path", "opr_path".
std::span<const FileLocationKey> file_location_keys();

// What the running host is; backups are stamped with it and checked against it.
struct HostIdentity {
    std::wstring ver_type;
    std::wstring ver_family;
    int32_t workplace = 0;
    std::wstring dbname;  // file name with extension of the current database
    std::wstring username;
    std::wstring computer;
    friend bool operator==(const HostIdentity&, const HostIdentity&) = default;
};

// False when the host has no parameter key; otherwise the value as wide text.
bool read_param(HostParamCallback params, const char* key, std::wstring& out);
// The value of key; std::logic_error "<key> parameter not found" when absent.
std::wstring require_param(HostParamCallback params, const char* key);
// "0" or "1"; any other value counts as absent and leaves out untouched.
bool read_bool_param(HostParamCallback params, const char* key, bool& out);
// A decimal 32-bit number taking the whole value; otherwise absent, out untouched.
bool read_int_param(HostParamCallback params, const char* key, int32_t& out);

bool is_batch(HostParamCallback params);
// True unless db_exclusive_acc reads "0".
bool db_exclusive_access(HostParamCallback params);
// db_path with a network database, shp_path otherwise; empty when absent.
std::wstring database_path(HostParamCallback params);
// exe_path joined with exe_fname; throws as absolute_path does.
std::wstring host_exe_path(HostParamCallback params);

// The 15 basic folders in their fixed order. BK_DONE, or BK_FAILED with a
// message when a key is missing (the folders read so far stay in out).
uint32_t load_basic_folders(HostParamCallback params, BasicFolders& out);
// The 3 database file locations. BK_DONE, or BK_FAILED with a message.
uint32_t load_file_locations(HostParamCallback params, FileLocations& out);
// Always BK_DONE.
uint32_t read_host_identity(HostParamCallback params, HostIdentity& out);

// The path of "ТЕК_ДИР"; std::logic_error when the list has none.
std::wstring root_folder(const BasicFolders& folders);
// A basic folder's macro name gives its path; anything else is a path
// relative to the root folder. Macro names are compared exactly.
std::wstring resolve_folder(const std::wstring& name, const BasicFolders& folders);
// A file macro name gives its location's path; anything else is a path
// relative to the root folder.
std::wstring resolve_file(const std::wstring& name, const BasicFolders& folders,
                          const FileLocations& locations);

// rkit::get_absolute_path / get_relative_path, throwing std::runtime_error with
// the user's message when the path cannot be made.
std::wstring absolute_path(const std::wstring& base, const std::wstring& relative);
std::wstring relative_path(const std::wstring& base, const std::wstring& full);

// Where the settings file lies: batch_config in batch mode, otherwise
// backup_config.xml in the root folder. Throws when root_path is missing.
std::wstring settings_file_path(HostParamCallback params);

// Two version values (each a comma-separated list) match when either is
// empty or they share an item, blanks trimmed and letter case ignored.
bool versions_match(const std::wstring& a, const std::wstring& b);
// Same version type, same version family and the same database file: the
// rule that ties a backup to the database it was made of.
bool same_database(const HostIdentity& a, const HostIdentity& b);

}  // namespace bk
