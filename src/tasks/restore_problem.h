// A file that a restore could not put back, as the restore warnings list
// shows it.
#pragma once
#include <cstdint>
#include <string>

namespace bk {

// One file that failed to be restored.
struct RestoreProblem {
    std::wstring file;      // where the file should have gone
    std::wstring message;   // string-table message filled with one path
    uint32_t system_error = 0;       // errno at the failure, 0 when none
    std::wstring system_error_text;  // strerror text on one line; empty for 0
    friend bool operator==(const RestoreProblem&, const RestoreProblem&) = default;
};

}  // namespace bk
