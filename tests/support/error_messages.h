// The module's error list as the host would read it.
#pragma once
#include <string>
#include <vector>

#include "core/error_list.h"

namespace bktest {

inline std::vector<std::string> error_messages() {
    std::vector<std::string> out;
    for (int32_t i = 0; i < bk::error_count(); ++i) {
        std::string text(static_cast<size_t>(bk::copy_error(i, nullptr, 0)), '\0');
        bk::copy_error(i, text.data(), static_cast<int32_t>(text.size()));
        out.push_back(text);
    }
    return out;
}

}  // namespace bktest
