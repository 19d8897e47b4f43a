#include "catalogue/catalogue.h"

#include <algorithm>

#include "core/error_list.h"
#include "core/string_table.h"
#include "catalogue/record_attrs.h"
#include "rkit/clock.h"
#include "rkit/files.h"
#include "rkit/path.h"
#include "xml/xml.h"

namespace bk {

BackupRecord make_backup_record(const rkit::timestamp& time, int32_t keeptime,
                                const std::wstring& comment, const HostIdentity& identity,
                                const std::wstring& archive_path) {
    BackupRecord r;
    r.time = time;
    r.keeptime = keeptime;
    r.filename = rkit::extract_name_ext(archive_path);
    r.comment = comment;
    r.identity = identity;
    return r;
}

std::wstring catalogue_path(const std::wstring& folder) {
    return rkit::concat_path(folder, L"backup_list.xml");
}

void read_catalogue(const std::wstring& path, Catalogue& out) {
    const XmlDocument doc = load_document(path);
    Catalogue records;
    const XmlNode items = child_element(document_element(doc), L"items");
    if (items) {
        const std::vector<XmlNode> children = child_elements(items);
        records.reserve(children.size());
        for (const XmlNode& child : children) {
            BackupRecord r;
            read_record_attrs(child, r);
            records.push_back(std::move(r));
        }
    }
    out = std::move(records);
}

void write_catalogue(const std::wstring& path, const Catalogue& records) {
    const XmlDocument doc = create_document();
    const XmlNode items = add_element(create_root(doc), L"items");
    for (const BackupRecord& r : records) write_record_attrs(add_element(items, L"backup"), r);
    save_document(doc, path);
}

uint32_t load_catalogue(const std::wstring& folder, Catalogue& out) {
    out.clear();
    const std::wstring path = catalogue_path(folder);
    try {
        if (rkit::file_exists(path)) read_catalogue(path, out);
        return BK_DONE;
    } catch (...) {
        add_exception_message(std::current_exception());
        add_error_wide(format_string(ids::ERR_LOAD_CATALOGUE, {path}));
        return BK_FAILED;
    }
}

void sort_by_time(Catalogue& records) {
    std::stable_sort(records.begin(), records.end(),
                     [](const BackupRecord& a, const BackupRecord& b) { return a.time.get() < b.time.get(); });
}

bool keeps_forever(int32_t keeptime) { return keeptime == KEEP_FOREVER; }

bool is_expired(const BackupRecord& record, const rkit::date& today) {
    return !keeps_forever(record.keeptime) && today - record.time.get_date() > record.keeptime;
}

std::wstring keep_time_text(const BackupRecord& record) {
    if (keeps_forever(record.keeptime)) return load_string(ids::KEEP_FOREVER_TEXT);
    std::wstring text = format_string(ids::KEEP_DAYS_TEXT, {record.keeptime});
    if (is_expired(record, rkit::clock::now().get_date()))
        text += L" (" + load_string(ids::KEEP_EXPIRED_TEXT) + L")";
    return text;
}

std::wstring creation_time_text(const BackupRecord& record) {
    return rkit::to_str(record.time, L"dd.mm.yyyy", L'.', L"hh:mm", L':');
}

namespace {

rkit::date monday_of(const rkit::date& d) {
    // day_of_week counts from Sunday (0); a week here starts on Monday.
    return d.add_days(-((d.day_of_week() + 6) % 7));
}

// The first later record of the same database, or null.
const BackupRecord* next_of_database(const BackupRecord& record, std::span<const BackupRecord> later) {
    for (const BackupRecord& s : later)
        if (same_database(record.identity, s.identity)) return &s;
    return nullptr;
}

// Whether the keep time K would lengthen r's keep time.
bool can_extend(const BackupRecord& r, int32_t k) {
    if (keeps_forever(r.keeptime)) return false;
    return keeps_forever(k) || r.keeptime < k;
}

}  // namespace

bool same_week(const rkit::date& a, const rkit::date& b) { return monday_of(a) == monday_of(b); }

bool same_month(const rkit::date& a, const rkit::date& b) {
    return a.year() == b.year() && a.month() == b.month();
}

bool last_of_week(const BackupRecord& record, std::span<const BackupRecord> later) {
    const BackupRecord* next = next_of_database(record, later);
    return !next || !same_week(record.time.get_date(), next->time.get_date());
}

bool last_of_month(const BackupRecord& record, std::span<const BackupRecord> later) {
    const BackupRecord* next = next_of_database(record, later);
    return !next || !same_month(record.time.get_date(), next->time.get_date());
}

void extend_keep_times(const BackupSettings& settings, const rkit::timestamp& now, Catalogue& records,
                       Catalogue* eternal) {
    const bool by_week = (settings.options & OPT_KEEP_LAST_OF_WEEK) != 0;
    const bool by_month = (settings.options & OPT_KEEP_LAST_OF_MONTH) != 0;
    if (!by_week && !by_month) return;

    Catalogue sorted = records;
    sort_by_time(sorted);
    const rkit::date today = now.get_date();
    bool changed = false;

    auto extend = [&](BackupRecord& r, int32_t k) {
        r.keeptime = k;
        changed = true;
        if (keeps_forever(k) && eternal) eternal->push_back(r);
    };

    for (size_t i = 0; i < sorted.size(); ++i) {
        BackupRecord& r = sorted[i];
        const rkit::date day = r.time.get_date();
        const std::span<const BackupRecord> later(sorted.data() + i + 1, sorted.size() - i - 1);
        if (by_week) {
            const int32_t k = settings.last_at_week_keeptime;
            if (can_extend(r, k) && !same_week(day, today) && last_of_week(r, later)) extend(r, k);
        }
        if (by_month) {
            const int32_t k = settings.last_at_month_keeptime;
            if (can_extend(r, k) && !same_month(day, today) && last_of_month(r, later)) extend(r, k);
        }
    }
    if (changed) records = std::move(sorted);
}

void split_expired(const BackupSettings& settings, const Catalogue& records, const rkit::timestamp& now,
                   Catalogue& kept, Catalogue& to_delete) {
    kept.clear();
    to_delete.clear();
    const rkit::date today = now.get_date();
    Catalogue expired;
    for (const BackupRecord& r : records) (is_expired(r, today) ? expired : kept).push_back(r);

    const size_t limit = static_cast<size_t>(std::max<int32_t>(settings.expired_limit, 0));
    if (expired.size() > limit) {
        sort_by_time(expired);
        const auto first_kept = expired.end() - static_cast<std::ptrdiff_t>(limit);
        to_delete.assign(expired.begin(), first_kept);
        kept.insert(kept.end(), first_kept, expired.end());
        sort_by_time(kept);
    } else {
        kept = records;
        sort_by_time(kept);
    }
}

}  // namespace bk
