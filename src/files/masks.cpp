#include "files/masks.h"

#include <stdexcept>

#include "rkit/path.h"
#include "rkit/file_enumerator.h"
#include "rkit/text.h"

namespace bk {

std::vector<MaskEntry> parse_mask_list(const std::wstring& text) {
    std::vector<MaskEntry> entries;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(L";,", start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring piece = rkit::trim_blanks(std::wstring_view(text).substr(start, end - start));
        if (!piece.empty()) entries.push_back({rkit::extract_dir(piece), rkit::extract_name_ext(piece)});
        start = end + 1;
    }
    return entries;
}

std::wstring mask_text(const MaskEntry& entry) { return rkit::concat_path(entry.dir, entry.name); }

namespace {

bool is_valid(const MaskEntry& entry) {
    return entry.dir.find_first_of(L"*?") == std::wstring::npos && !entry.name.empty() &&
           entry.name.find_first_of(L"\\/") == std::wstring::npos;
}

}  // namespace

void validate_mask(const MaskEntry& entry) {
    if (!is_valid(entry)) throw std::runtime_error("invalid mask: " + rkit::wide_to_char(mask_text(entry)));
}

std::optional<MaskEntry> find_invalid_mask(const std::vector<MaskEntry>& entries) {
    for (const auto& entry : entries)
        if (!is_valid(entry)) return entry;
    return std::nullopt;
}

bool match_pattern(const std::wstring& pattern, const std::wstring& name) {
    return rkit::match_wildcards(pattern, name, false);
}

}  // namespace bk
