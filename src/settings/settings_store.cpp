#include "settings/settings_store.h"

#include "core/error_list.h"
#include "core/host_params.h"
#include "core/string_table.h"
#include "rkit/files.h"
#include "settings/settings_file.h"

namespace bk {

uint32_t load_settings(HostParamCallback params, BackupSettings& settings) {
    const std::wstring path = settings_file_path(params);
    if (!rkit::file_exists(path)) return BK_DONE;
    try {
        read_settings_file(path, settings);
        return BK_DONE;
    } catch (...) {
        add_exception_message();
        add_error_wide(format_string(ids::ERR_LOAD_SETTINGS, {path}));
        return BK_FAILED;
    }
}

uint32_t save_settings(HostParamCallback params, const BackupSettings& settings) {
    const std::wstring path = settings_file_path(params);
    try {
        write_settings_file(path, settings);
        return BK_DONE;
    } catch (...) {
        add_exception_message();
        add_error_wide(format_string(ids::ERR_SAVE_SETTINGS, {path}));
        return BK_FAILED;
    }
}

}  // namespace bk
