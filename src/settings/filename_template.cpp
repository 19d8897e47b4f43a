#include "settings/filename_template.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "rkit/path.h"
#include "rkit/text.h"

namespace bk {
namespace {

const wchar_t* const month_names[] = {L"Jan", L"Feb", L"Mar", L"Apr", L"May", L"Jun",
                                      L"Jul", L"Aug", L"Sep", L"Oct", L"Nov", L"Dec"};
const wchar_t* const weekday_names[] = {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"};

std::wstring month_name(int month) { return month >= 1 && month <= 12 ? month_names[month - 1] : L""; }
std::wstring weekday_name(int day) { return day >= 0 && day <= 6 ? weekday_names[day] : L""; }

}  // namespace

std::wstring expand_macros(const std::wstring& text, const MacroList& macros) {
    std::wstring result = text;
    for (const auto& [name, value] : macros) {
        const std::wstring key = L"%" + name + L"%";
        size_t pos = result.find(key);
        if (pos != std::wstring::npos) result.replace(pos, key.size(), value);
    }
    return result;
}

MacroList template_macros(const rkit::timestamp& moment, const HostIdentity& identity) {
    const rkit::date d = moment.get_date();
    const rkit::time t = moment.get_time();
    return {
        {L"DATE", rkit::to_wstring(d, L"yyyy.mm.dd", L'_')},
        {L"TIME", rkit::to_wstring(t, L"hh:mm:ss", L'_')},
        {L"SHORT_TIME", rkit::to_wstring(t, L"hh:mm", L'_')},
        {L"YEAR", std::to_wstring(d.year())},
        {L"SHORT_YEAR", rkit::to_wstring(d, L"yy", L'_')},
        {L"MONTH", std::to_wstring(d.month())},
        {L"MONTH_STR", month_name(d.month())},
        {L"DAY", std::to_wstring(d.day())},
        {L"WEEKDAY", weekday_name(d.day_of_week())},
        {L"HOUR", std::to_wstring(t.hour())},
        {L"MIN", std::to_wstring(t.minute())},
        {L"SEC", std::to_wstring(t.second())},
        {L"VERTYPE", identity.ver_type},
        {L"VERFAMILY", identity.ver_family},
        {L"WORKPLACE", std::to_wstring(identity.workplace)},
        {L"WORKSTATION", identity.computer},
        {L"USER", identity.username},
        {L"DB", identity.dbname},
        {L"SHORT_DB", rkit::extract_name(identity.dbname)},
    };
}

std::wstring expand_filename_template(const std::wstring& templ, const rkit::timestamp& moment,
                                      const HostIdentity& identity) {
    std::wstring name = expand_macros(templ, template_macros(moment, identity));
    // The archiver would take a dot for the start of the extension, and the
    // wildcards for a mask. A separator, from a domain user name or a
    // database given with its folder, would put the archive outside the
    // backup folder while the catalogue names only its last part.
    std::replace_if(
        name.begin(), name.end(),
        [](wchar_t c) { return c == L'.' || c == L'?' || c == L'*' || c == L'/' || c == L'\\'; }, L'_');
    return name;
}

std::wstring expand_filename_template(const std::wstring& templ, const HostIdentity& identity) {
    rkit::timestamp now;
    now.put_system_clock();
    return expand_filename_template(templ, now, identity);
}

namespace {

// "x.7z" -> "x(1).7z" -> "x(1)(2).7z": each candidate from the one before.
std::wstring next_candidate(const std::wstring& candidate, int counter) {
    return rkit::concat_path(rkit::extract_dir(candidate), rkit::extract_name(candidate) + L"(" +
                                                               std::to_wstring(counter) + L")" +
                                                               rkit::extract_ext(candidate));
}

}  // namespace

std::wstring reserve_unique_path(const std::wstring& path, unsigned mode) {
    std::wstring candidate = path;
    for (int counter = 1;; ++counter) {
        const int fd = ::open(rkit::native_path(candidate).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        if (errno != EEXIST)
            throw std::runtime_error("can't create " + rkit::wide_to_char(candidate) + ": " + std::strerror(errno));
        candidate = next_candidate(candidate, counter);
    }
}

std::wstring expand_backup_cmdline(const std::wstring& cmdline, const std::wstring& archive_path) {
    return expand_macros(cmdline, {{L"PATH", archive_path}});
}

}  // namespace bk
