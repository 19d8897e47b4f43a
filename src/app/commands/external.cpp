#include "app/commands/external.h"

#include "core/host_params.h"
#include "rkit/path.h"
#include "sched/command_line.h"
#include "settings/host_profile.h"

namespace bk {

uint32_t start_external(HostParamCallback params, const std::wstring& command_line) {
    const std::wstring root = require_param(params, "root_path");
    write_host_profile(rkit::concat_path(root, HOST_PROFILE_NAME), read_host_profile_from(params));
    return start_backup_executable(command_line, root);
}

}  // namespace bk
