#include "core/host_params.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "core/error_list.h"
#include "core/string_table.h"
#include "rkit/decimal.h"
#include "rkit/path.h"
#include "rkit/system.h"
#include "rkit/text.h"

namespace bk {
namespace {

// The first buffer offered to the host is one byte larger than the size it
// is told, so that a host that adds a terminator still writes inside it.
constexpr int32_t kFirstOfferedSize = 254;

constexpr BasicFolderKey kBasicFolderKeys[] = {
    {"root_path", ids::MACRO_ROOT_DIR},   {"common_path", ids::MACRO_COMMON_DIR},
    {"exe_path", ids::MACRO_EXE_DIR},     {"db_path", ids::MACRO_DB_DIR},
    {"dbf_path", ids::MACRO_DBF_DIR},     {"top_path", ids::MACRO_TOP_DIR},
    {"flt_path", ids::MACRO_FLT_DIR},     {"blw_path", ids::MACRO_BLW_DIR},
    {"bar_path", ids::MACRO_BAR_DIR},     {"vdl_path", ids::MACRO_VDL_DIR},
    {"src_path", ids::MACRO_SRC_DIR},     {"vdx_path", ids::MACRO_VDX_DIR},
    {"shp_dir_path", ids::MACRO_SHP_DIR}, {"rek_dir_path", ids::MACRO_REK_DIR},
    {"opr_dir_path", ids::MACRO_OPR_DIR},
};

constexpr FileLocationKey kFileLocationKeys[] = {
    {"shp_path", ids::MACRO_SHP_FILE, ids::MACRO_SHP_DIR},
    {"rek_path", ids::MACRO_REK_FILE, ids::MACRO_REK_DIR},
    {"opr_path", ids::MACRO_OPR_FILE, ids::MACRO_OPR_DIR},
};

std::wstring param_or_empty(HostParamCallback params, const char* key) {
    std::wstring value;
    read_param(params, key, value);
    return value;
}

bool bool_param_or(HostParamCallback params, const char* key, bool absent) {
    bool value = absent;
    read_bool_param(params, key, value);
    return value;
}

// The items of a comma-separated version list, blanks trimmed, upper-cased.
std::vector<std::wstring> version_items(const std::wstring& list) {
    std::vector<std::wstring> items;
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(L',', start);
        std::wstring_view item(list.data() + start,
                               (comma == std::wstring::npos ? list.size() : comma) - start);
        items.push_back(rkit::to_upper(rkit::trim_blanks(item)));
        if (comma == std::wstring::npos) break;
        start = comma + 1;
    }
    return items;
}

bool plain_name(const std::wstring& name) {
    return name != L"." && name != L".." && std::none_of(name.begin(), name.end(), rkit::is_separator);
}

// rkit::equal_path, without its trip through the current folder for the
// usual case of two different bare file names: the week and month rules
// compare every record of a catalogue with the next ones.
bool same_db_file(const std::wstring& a, const std::wstring& b) {
    if (a == b) return true;
    if (plain_name(a) && plain_name(b)) return false;
    return rkit::equal_path(a, b);
}

}  // namespace

std::span<const BasicFolderKey> basic_folder_keys() { return kBasicFolderKeys; }

std::span<const FileLocationKey> file_location_keys() { return kFileLocationKeys; }

bool read_param(HostParamCallback params, const char* key, std::wstring& out) {
    if (!params) return false;
    std::string buffer(kFirstOfferedSize + 1, '\0');
    int32_t length = params(key, buffer.data(), kFirstOfferedSize);
    // -1 is the host's "no such parameter"; any other negative length is a
    // broken host, and nothing it wrote can be trusted: absent as well.
    if (length < 0) return false;
    if (length > kFirstOfferedSize) {
        buffer.assign(static_cast<size_t>(length) + 1, '\0');
        // The length of the first answer stands. A host whose value grew
        // between the calls and now answers more than the size it was given
        // gets its value clamped to that buffer: the length is not reread.
        params(key, buffer.data(), length);
    }
    // The value is the first length bytes, NUL bytes included.
    out = rkit::char_to_wide(std::string_view(buffer.data(), static_cast<size_t>(length)),
                             rkit::text_encoding(0));
    return true;
}

std::wstring require_param(HostParamCallback params, const char* key) {
    std::wstring value;
    if (!read_param(params, key, value)) throw std::logic_error(std::string(key) + " parameter not found");
    return value;
}

bool read_bool_param(HostParamCallback params, const char* key, bool& out) {
    std::wstring value;
    if (!read_param(params, key, value)) return false;
    if (value == L"0") {
        out = false;
    } else if (value == L"1") {
        out = true;
    } else {
        return false;
    }
    return true;
}

bool read_int_param(HostParamCallback params, const char* key, int32_t& out) {
    std::wstring value;
    return read_param(params, key, value) && rkit::parse_int32(value, out);
}

bool is_batch(HostParamCallback params) { return bool_param_or(params, "batch", false); }

bool db_exclusive_access(HostParamCallback params) {
    return bool_param_or(params, "db_exclusive_acc", true);
}

std::wstring database_path(HostParamCallback params) {
    return param_or_empty(params, bool_param_or(params, "network", false) ? "db_path" : "shp_path");
}

std::wstring host_exe_path(HostParamCallback params) {
    return absolute_path(param_or_empty(params, "exe_path"), param_or_empty(params, "exe_fname"));
}

uint32_t load_basic_folders(HostParamCallback params, BasicFolders& out) {
    out.clear();
    for (const BasicFolderKey& row : kBasicFolderKeys) {
        BasicFolder folder{load_string(row.macro_id), {}};
        if (!read_param(params, row.key, folder.path)) {
            add_error_wide(format_string(ids::ERR_BASIC_FOLDER, {folder.name}));
            return BK_FAILED;
        }
        out.push_back(std::move(folder));
    }
    return BK_DONE;
}

uint32_t load_file_locations(HostParamCallback params, FileLocations& out) {
    out.clear();
    bool network = bool_param_or(params, "network", false);
    for (const FileLocationKey& row : kFileLocationKeys) {
        FileLocation location{load_string(row.file_macro_id), load_string(row.folder_macro_id), {}};
        // A network database has no local files of its own to name.
        if (!network && !read_param(params, row.key, location.path)) {
            add_error_wide(format_string(ids::ERR_FILE_LOCATION, {location.file_macro}));
            return BK_FAILED;
        }
        out.push_back(std::move(location));
    }
    return BK_DONE;
}

uint32_t read_host_identity(HostParamCallback params, HostIdentity& out) {
    out.ver_type = param_or_empty(params, "ver_type");
    out.ver_family = param_or_empty(params, "ver_family");
    out.username = param_or_empty(params, "username");
    out.workplace = 0;
    read_int_param(params, "workplace", out.workplace);
    out.dbname = rkit::extract_name_ext(database_path(params));
    out.computer = rkit::get_system_name();
    return BK_DONE;
}

std::wstring root_folder(const BasicFolders& folders) {
    const std::wstring root_name = load_string(ids::MACRO_ROOT_DIR);
    for (const BasicFolder& folder : folders)
        if (folder.name == root_name) return folder.path;
    throw std::logic_error("root path not defined in basic folders");
}

std::wstring resolve_folder(const std::wstring& name, const BasicFolders& folders) {
    for (const BasicFolder& folder : folders)
        if (folder.name == name) return folder.path;
    return absolute_path(root_folder(folders), name);
}

std::wstring resolve_file(const std::wstring& name, const BasicFolders& folders,
                          const FileLocations& locations) {
    for (const FileLocation& location : locations)
        if (location.file_macro == name) return location.path;
    return absolute_path(root_folder(folders), name);
}

std::wstring absolute_path(const std::wstring& base, const std::wstring& relative) {
    std::wstring full;
    if (!rkit::get_absolute_path(base, relative, full))
        throw std::runtime_error(format_string_narrow(ids::ERR_ABSOLUTE_PATH, {base, relative}));
    return full;
}

std::wstring relative_path(const std::wstring& base, const std::wstring& full) {
    std::wstring relative;
    if (!rkit::get_relative_path(base, full, relative))
        throw std::runtime_error(format_string_narrow(ids::ERR_RELATIVE_PATH, {base, full}));
    return relative;
}

std::wstring settings_file_path(HostParamCallback params) {
    const std::wstring root = require_param(params, "root_path");
    std::wstring config;
    std::wstring path;
    if (is_batch(params) && read_param(params, "batch_config", config) &&
        rkit::get_absolute_path(root, config, path))
        return path;
    return rkit::concat_path(root, L"backup_config.xml");
}

bool versions_match(const std::wstring& a, const std::wstring& b) {
    if (a.empty() || b.empty()) return true;
    const std::vector<std::wstring> left = version_items(a);
    const std::vector<std::wstring> right = version_items(b);
    for (const std::wstring& x : left)
        for (const std::wstring& y : right)
            if (x == y) return true;
    return false;
}

bool same_database(const HostIdentity& a, const HostIdentity& b) {
    return same_db_file(a.dbname, b.dbname) && versions_match(a.ver_type, b.ver_type) &&
           versions_match(a.ver_family, b.ver_family);
}

}  // namespace bk
