// Work handed over to the backup executable instead of being done in the
// host's process.
#pragma once
#include <cstdint>
#include <string>

#include "vardobk/vardobk.h"

namespace bk {

// Refreshes the host profile in root_path from the host's parameters, so
// that vdbackup answers the module as this host would, then starts
// command_line there without waiting for it. BK_DONE when it runs,
// BK_FAILED (no message) when it cannot be started; a profile that cannot be
// written throws before anything starts ("can't write <profile path>: ...").
uint32_t start_external(HostParamCallback params, const std::wstring& command_line);

}  // namespace bk
