// File mask lists of a file group: "*.txt;*.ini", "data\*.dbf, temp".
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace bk {

// One mask of a list. dir is relative to the group's folder (or absolute) and
// may not hold wildcards; name is a file-name pattern with "*" and "?".
struct MaskEntry {
    std::wstring dir;
    std::wstring name;
    friend bool operator==(const MaskEntry&, const MaskEntry&) = default;
};

// Split at ";" and ",", blanks and tabs trimmed, empty pieces dropped.
// Nothing is validated here.
std::vector<MaskEntry> parse_mask_list(const std::wstring& text);

// dir joined to name, as the user sees the mask in messages.
std::wstring mask_text(const MaskEntry& entry);

// std::runtime_error "invalid mask: <mask>" for a wildcard in dir, an empty
// name, or a separator in name.
void validate_mask(const MaskEntry& entry);

// The first entry validate_mask would reject.
std::optional<MaskEntry> find_invalid_mask(const std::vector<MaskEntry>& entries);

// "*" any run (also none), "?" exactly one character, every other character
// compared exactly, with case: "Temp*" does not match "TEMP1".
bool match_pattern(const std::wstring& pattern, const std::wstring& name);

}  // namespace bk
