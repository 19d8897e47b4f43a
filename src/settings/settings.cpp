#include "settings/settings.h"

#include <iterator>

#include "core/string_table.h"

namespace bk {
namespace {

// The letters of the option bits, lowest bit first; the order is the order of
// the stored text.
constexpr wchar_t option_letters[] = L"RPEHLGTCBWMNX";

AutoParams auto_params(int comment_id) {
    AutoParams params;
    params.comment = load_string(comment_id);
    return params;
}

}  // namespace

BackupSettings::BackupSettings()
    : enter_param(auto_params(ids::COMMENT_ON_ENTER)),
      exit_param(auto_params(ids::COMMENT_ON_EXIT)),
      timer_param(auto_params(ids::COMMENT_BY_CLOCK)) {}

bool cloud_account_complete(const CloudSettings& cloud) {
    return !cloud.service.empty() && !(cloud.service == CLOUD_SERVICE_CUSTOM && cloud.url.empty()) &&
           !cloud.login.empty();
}

bool cloud_upload_enabled(const BackupSettings& settings) {
    return (settings.options & OPT_CLOUD) && cloud_account_complete(settings.cloud);
}

bool is_usable(const BackupSettings& settings) {
    if ((settings.options & OPT_CLOUD) && !cloud_upload_enabled(settings)) return false;
    if (settings.file_groups.empty() && settings.single_files.empty()) return false;
    return settings.archiver.archiver != ARCHIVER_NONE;
}

std::wstring options_to_letters(uint32_t bits) {
    std::wstring text;
    for (size_t i = 0; i < std::size(option_letters) - 1; ++i) {
        if (bits & (1u << i)) text += option_letters[i];
    }
    return text;
}

uint32_t options_from_letters(const std::wstring& text) {
    uint32_t bits = 0;
    for (size_t i = 0; i < std::size(option_letters) - 1; ++i) {
        if (text.find(option_letters[i]) != std::wstring::npos) bits |= 1u << i;
    }
    return bits;
}

std::wstring group_flags_to_letters(uint32_t flags) { return (flags & GROUP_RECURSIVE) ? L"R" : L""; }

uint32_t group_flags_from_letters(const std::wstring& text) {
    return text.find(L'R') != std::wstring::npos ? GROUP_RECURSIVE : 0;
}

}  // namespace bk
