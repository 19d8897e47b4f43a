// A host for the tests: answers the module's parameter questions from a map.
#pragma once
#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "vardobk/vardobk.h"

namespace schedtest {

inline std::map<std::string, std::string> g_host_params;

inline int32_t BK_CALL host_params(const char* key, char* buffer, int32_t size) {
    const auto it = g_host_params.find(key);
    if (it == g_host_params.end()) return -1;
    std::memcpy(buffer, it->second.data(), std::min<size_t>(static_cast<size_t>(size), it->second.size()));
    return static_cast<int32_t>(it->second.size());
}

}  // namespace schedtest
