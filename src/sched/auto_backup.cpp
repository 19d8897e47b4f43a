#include "sched/auto_backup.h"

#include <algorithm>

#include "catalogue/catalogue.h"
#include "rkit/clock.h"
#include "rkit/files.h"
#include "rkit/path.h"
#include "rkit/text.h"

namespace bk {

namespace {

// An empty include list allows everybody, an empty exclude list forbids
// nobody; a value in both lists is forbidden.
template <typename T, typename Equal>
bool allowed_by_lists(const std::vector<T>& include, const std::vector<T>& exclude, const T& value,
                      Equal equal) {
    const auto listed = [&](const std::vector<T>& list) {
        return std::any_of(list.begin(), list.end(), [&](const T& item) { return equal(item, value); });
    };
    return (include.empty() || listed(include)) && (exclude.empty() || !listed(exclude));
}

// What the last clock check found; lives as long as the module. Only the
// host's calling thread touches it, as it runs one command at a time.
struct ClockCache {
    bool valid = false;
    rkit::time threshold;
    rkit::timestamp last;
};
ClockCache g_clock_cache;

// save_hour comes from a file a user may edit: an hour outside the day is
// taken as the nearest hour of the day rather than as midnight.
rkit::time save_hour_threshold(int32_t save_hour) {
    return rkit::time(std::clamp<int32_t>(save_hour, 0, 23), 0, 0, 0);
}

// An automatic event on entering or leaving.
uint32_t decide_program_event(uint32_t flags, uint32_t options, uint32_t on, uint32_t on_db_change,
                              uint32_t confirm, const AutoParams& params, AutoParams& run, bool& ask_first) {
    if (!(options & on)) return BK_NOT_DONE;
    if ((flags & BKF_DB_CHANGE) && !(options & on_db_change)) return BK_NOT_DONE;
    ask_first = (options & confirm) != 0;
    run = params;
    return BK_DONE;
}

}  // namespace

bool is_permitted(const BackupSettings& settings, const HostIdentity& identity) {
    const PermissionLists& allow = settings.include_permission;
    const PermissionLists& deny = settings.exclude_permission;
    const auto exact = [](const auto& a, const auto& b) { return a == b; };
    const auto no_case = [](const std::wstring& a, const std::wstring& b) { return rkit::equal_no_case(a, b); };

    if (identity.workplace >= 1 &&
        !allowed_by_lists(allow.workplaces, deny.workplaces, identity.workplace, exact))
        return false;
    if (!identity.username.empty() && !allowed_by_lists(allow.logins, deny.logins, identity.username, exact))
        return false;
    if (!identity.computer.empty() &&
        !allowed_by_lists(allow.workstations, deny.workstations, identity.computer, no_case))
        return false;
    return true;
}

uint32_t decide_backup(uint32_t flags, HostParamCallback params, const BackupSettings& settings,
                       const HostIdentity& identity, AutoParams& run, bool& ask_first) {
    if (!is_permitted(settings, identity)) return BK_NOT_DONE;
    const uint32_t options = settings.options;
    if (flags & BKF_AUTOMATIC) {
        switch (BKF_EVENT_KIND(flags)) {
        case BK_EVENT_CLOCK: {
            if (!(options & OPT_BY_CLOCK)) return BK_NOT_DONE;
            const uint32_t due = clock_check(params, settings);
            if (due != BK_DONE) return due;
            ask_first = false;
            run = settings.timer_param;
            return BK_DONE;
        }
        case BK_EVENT_ENTERING:
            return decide_program_event(flags, options, OPT_ON_ENTER, OPT_ENTER_ON_DB_CHANGE, OPT_ENTER_CONFIRM,
                                        settings.enter_param, run, ask_first);
        case BK_EVENT_LEAVING:
            return decide_program_event(flags, options, OPT_ON_EXIT, OPT_EXIT_ON_DB_CHANGE, OPT_EXIT_CONFIRM,
                                        settings.exit_param, run, ask_first);
        default:
            break;  // an event this module does not know is taken as a call by the user
        }
    }
    run.keeptime = settings.default_keeptime;
    ask_first = true;
    return BK_DONE;
}

bool clock_backup_due(const rkit::time& threshold, const rkit::timestamp& last, const rkit::timestamp& now) {
    if (now.get_time() < threshold) return false;
    return now.get_date() != last.get_date() || last.get_time() < threshold;
}

uint32_t clock_check(HostParamCallback params, const BackupSettings& settings) {
    std::wstring folder;
    if (!rkit::get_absolute_path(require_param(params, "root_path"), settings.backup_folder, folder))
        return BK_FAILED;
    Catalogue records;
    if (const uint32_t result = load_catalogue(folder, records); result != BK_DONE) return result;

    rkit::timestamp last = BackupRecord().time;
    if (!records.empty()) {
        sort_by_time(records);
        last = records.back().time;
    }
    g_clock_cache = {true, save_hour_threshold(settings.save_hour), last};
    return clock_backup_due(g_clock_cache.threshold, last, rkit::clock::now()) ? BK_DONE : BK_NOT_DONE;
}

bool clock_precheck() {
    if (!g_clock_cache.valid) return true;
    return clock_backup_due(g_clock_cache.threshold, g_clock_cache.last, rkit::clock::now());
}

void clear_clock_cache() { g_clock_cache.valid = false; }

bool lacks_exclusive_access(const AutoParams& run, HostParamCallback params) {
    return (run.flags & AUTO_DB_EXCLUSIVE) && !db_exclusive_access(params);
}

bool backup_made_today(const std::wstring& backup_folder, const HostIdentity& identity,
                       const rkit::timestamp& now) {
    const std::wstring path = catalogue_path(backup_folder);
    if (!rkit::file_exists(path)) return false;
    Catalogue records;
    read_catalogue(path, records);
    const rkit::date today = now.get_date();
    return std::any_of(records.begin(), records.end(), [&](const BackupRecord& record) {
        return record.time.get_date() == today && same_database(record.identity, identity);
    });
}

}  // namespace bk
