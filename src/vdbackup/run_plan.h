// What one start of vdbackup does, worked out from its command line and the
// host profile before anything runs.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "settings/host_profile.h"
#include "vardobk/command_line.h"

namespace vdbackup {

struct RunPlan {
    bool show_help = false;
    int32_t command = 0;  // bkDispatch command; 0 when there is nothing to run
    uint32_t flags = 0;
    // The host parameters the module will be answered with (UTF-8 values).
    std::map<std::string, std::string> params;
    // A process that must have ended first (it holds the host's files).
    uint32_t wait_for_pid = 0;
    // The host program started again after a restore, with its arguments.
    std::vector<std::wstring> restart;
};

// The profile named by /F=, or vdbackup_host.xml in the working folder.
std::wstring profile_path(const bk::IBkCommandLineInfo& info);

// Throws std::runtime_error for a command line that asks for nothing known.
RunPlan plan_run(const bk::IBkCommandLineInfo& info, const bk::HostProfile& profile);

// The usage text, in Russian and English.
std::string usage_text();

}  // namespace vdbackup
