// Loading and saving the settings file of the running host, with the user's
// messages when that fails.
#pragma once
#include <cstdint>

#include "settings/settings.h"
#include "vardobk/vardobk.h"

namespace bk {

// BK_DONE when the file was read or does not exist (settings keep their
// defaults). BK_FAILED when it cannot be read: the cause and message 20111
// naming the file are in the error list, and settings may be partly filled
// and must not be used. A missing root_path throws.
uint32_t load_settings(HostParamCallback params, BackupSettings& settings);

// BK_DONE, or BK_FAILED with the cause and message 20112 naming the file; a
// failed save leaves the previous file as it was.
uint32_t save_settings(HostParamCallback params, const BackupSettings& settings);

}  // namespace bk
