// What one start of vdbackup does, worked out from its command line and the
// host profile before anything runs.
#pragma once
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/host_profile.h"
#include "vardobk/command_line.h"

namespace vdbackup {

// Exit codes: the module's result (BK_DONE 0, BK_NOT_DONE 1, BK_FAILED 2), or
// this one for a command line that asks for nothing it knows (EX_USAGE of
// sysexits.h).
inline constexpr int EXIT_USAGE = 64;

struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

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

// Throws usage_error for a command line that asks for nothing known; the
// profile is not needed to tell.
void check_usage(const bk::IBkCommandLineInfo& info);

// Throws usage_error as check_usage does.
RunPlan plan_run(const bk::IBkCommandLineInfo& info, const bk::HostProfile& profile);

// The usage text, in Russian and English.
std::string usage_text();

}  // namespace vdbackup
