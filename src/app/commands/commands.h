// The four commands of bkDispatch.
#pragma once
#include <cstdint>
#include "app/dispatch.h"

namespace bk {

uint32_t backup_command(void* parent, uint32_t flags, HostParamCallback params);
uint32_t restore_command(void* parent, uint32_t flags, HostParamCallback params);
uint32_t settings_command(void* parent, uint32_t flags, HostParamCallback params);
// The end-of-work command has no window of its own; parent is ignored.
uint32_t end_of_work_command(void* parent, uint32_t flags, HostParamCallback params);

// The table bkDispatch runs.
const CommandTable& module_commands();

}  // namespace bk
