// The host profile: the host's parameters written to a file, so that the
// backup executable, started by the module or by a scheduled task long after
// the host has gone, can answer the module's questions as the host did.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "vardobk/vardobk.h"

namespace bk {

// The name of the profile in the host's current folder.
inline constexpr const wchar_t* HOST_PROFILE_NAME = L"vdbackup_host.xml";

using HostProfile = std::map<std::string, std::wstring>;

// Every host parameter key that describes the host itself. The batch keys
// describe one run and never go into a profile.
const std::vector<const char*>& host_profile_keys();

// The values the host gives now for host_profile_keys(); absent keys are left out.
HostProfile read_host_profile_from(HostParamCallback params);

// <root><param name="KEY" node_value="VALUE"/>...</root>, saved atomically.
// A failed save throws com_error "can't write <path>: <system text>".
void write_host_profile(const std::wstring& path, const HostProfile& profile);
// Throws the XML layer's errors for a missing or broken file.
HostProfile read_host_profile(const std::wstring& path);

}  // namespace bk
