#include "rkit/datetime.h"

#include <chrono>

#include "rkit/clock.h"

namespace rkit {

namespace {

namespace chr = std::chrono;

constexpr int64_t millis_per_day = 86'400'000;
// Timestamps count from the day before 1600-01-01, which is what makes the
// catalogue's "long past" value 6311520000000 fall on 1800-01-01 00:00.
constexpr int64_t timestamp_day_offset = 1;
constexpr chr::sys_days epoch{chr::year{1600} / chr::January / 1};

chr::year_month_day to_ymd(int day, int month, int year) {
    return chr::year{year} / chr::month{static_cast<unsigned>(month)} / chr::day{static_cast<unsigned>(day)};
}

int64_t floor_div(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

std::wstring padded(int value, size_t width) {
    std::wstring digits = std::to_wstring(value < 0 ? -value : value);
    if (digits.size() < width) digits.insert(0, width - digits.size(), L'0');
    return digits;
}

bool field_at(const std::wstring& pattern, size_t pos, const wchar_t* field) {
    for (size_t i = 0; field[i]; ++i) {
        if (pos + i >= pattern.size()) return false;
        wchar_t c = pattern[pos + i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');  // "DD.MM.YYYY" too
        if (c != field[i]) return false;
    }
    return true;
}

struct field {
    const wchar_t* name;
    size_t width;
    int value;
};

// Fields are tried in order, so a longer field must come before its prefix.
template <size_t N>
std::wstring format(const std::wstring& pattern, wchar_t sep, const field (&fields)[N]) {
    std::wstring out;
    size_t pos = 0;
    while (pos < pattern.size()) {
        bool matched = false;
        for (const auto& f : fields) {
            if (field_at(pattern, pos, f.name)) {
                out += padded(f.value, f.width);
                pos += std::char_traits<wchar_t>::length(f.name);
                matched = true;
                break;
            }
        }
        if (!matched) {
            out += sep;
            ++pos;
        }
    }
    return out;
}

// Reads a run of min..max digits at pos.
bool read_number(const std::wstring& text, size_t& pos, size_t min_digits, size_t max_digits, int& value) {
    size_t n = 0;
    int v = 0;
    while (pos + n < text.size() && n < max_digits && text[pos + n] >= L'0' && text[pos + n] <= L'9') {
        v = v * 10 + (text[pos + n] - L'0');
        ++n;
    }
    if (n < min_digits) return false;
    pos += n;
    value = v;
    return true;
}

bool read_char(const std::wstring& text, size_t& pos, wchar_t c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

// ---- date ----

void date::get(int& day, int& month, int& year) const {
    day = day_;
    month = month_;
    year = year_;
}

bool date::put(int day, int month, int year) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) return false;
    if (!to_ymd(day, month, year).ok()) return false;
    day_ = day;
    month_ = month;
    year_ = year;
    return true;
}

int date::day_of_week() const {
    return static_cast<int>(chr::weekday{chr::sys_days{to_ymd(day_, month_, year_)}}.c_encoding());
}

int64_t date::day_number() const { return (chr::sys_days{to_ymd(day_, month_, year_)} - epoch).count(); }

date date::from_day_number(int64_t days) {
    const chr::year_month_day ymd{epoch + chr::days{days}};
    date d;
    d.put(static_cast<int>(static_cast<unsigned>(ymd.day())), static_cast<int>(static_cast<unsigned>(ymd.month())),
          static_cast<int>(ymd.year()));
    return d;
}

date date::add_days(int64_t days) const { return from_day_number(day_number() + days); }

// ---- time ----

void time::get(int& hour, int& minute, int& second) const {
    hour = hour_;
    minute = minute_;
    second = second_;
}

bool time::put(int hour, int minute, int second, int hundredths) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || hundredths < 0 ||
        hundredths > 99)
        return false;
    hour_ = hour;
    minute_ = minute;
    second_ = second;
    hundredths_ = hundredths;
    return true;
}

int64_t time::millis() const { return ((hour_ * 60 + minute_) * 60 + second_) * int64_t{1000} + hundredths_ * 10; }

int64_t time_period::millis() const {
    return ((int64_t{days} * 24 + hours) * 60 + minutes) * int64_t{60'000};
}

// ---- timestamp ----

void timestamp::put_system_clock() { *this = clock::now(); }

void timestamp::put(const date& d, const time& t) {
    value_ = (d.day_number() + timestamp_day_offset) * millis_per_day + t.millis();
}

date timestamp::get_date() const {
    return date::from_day_number(floor_div(value_, millis_per_day) - timestamp_day_offset);
}

time timestamp::get_time() const {
    int64_t ms = value_ - floor_div(value_, millis_per_day) * millis_per_day;
    const int hundredths = static_cast<int>(ms % 1000 / 10);
    ms /= 1000;
    return time(static_cast<int>(ms / 3600), static_cast<int>(ms / 60 % 60), static_cast<int>(ms % 60), hundredths);
}

timestamp& timestamp::operator+=(const time_period& p) {
    value_ += p.millis();
    return *this;
}

timestamp& timestamp::operator-=(const time_period& p) {
    value_ -= p.millis();
    return *this;
}

// ---- text forms ----

std::wstring to_wstring(const date& d) { return to_wstring(d, L"dd.mm.yyyy", L'.'); }

std::wstring to_wstring(const time& t) { return to_wstring(t, L"hh:mm:ss", L':'); }

std::wstring to_wstring(const date& d, const std::wstring& pattern, wchar_t sep) {
    const field fields[] = {{L"yyyy", 4, d.year()}, {L"yy", 2, d.year() % 100}, {L"dd", 2, d.day()},
                            {L"mm", 2, d.month()}};
    return format(pattern, sep, fields);
}

std::wstring to_wstring(const time& t, const std::wstring& pattern, wchar_t sep) {
    const field fields[] = {{L"hh", 2, t.hour()}, {L"mm", 2, t.minute()}, {L"ss", 2, t.second()}};
    return format(pattern, sep, fields);
}

bool from_str(const std::wstring& text, date& out) {
    size_t pos = 0;
    int day = 0, month = 0, year = 0;
    if (!read_number(text, pos, 1, 2, day) || !read_char(text, pos, L'.') || !read_number(text, pos, 1, 2, month) ||
        !read_char(text, pos, L'.') || !read_number(text, pos, 4, 4, year) || pos != text.size())
        return false;
    date d;
    if (!d.put(day, month, year)) return false;
    out = d;
    return true;
}

bool from_str(const std::wstring& text, time& out) {
    size_t pos = 0;
    int hour = 0, minute = 0, second = 0;
    if (!read_number(text, pos, 1, 2, hour) || !read_char(text, pos, L':') || !read_number(text, pos, 2, 2, minute) ||
        !read_char(text, pos, L':') || !read_number(text, pos, 2, 2, second) || pos != text.size())
        return false;
    time t;
    if (!t.put(hour, minute, second)) return false;
    out = t;
    return true;
}

std::wstring to_str(const timestamp& ts, const std::wstring& date_pattern, wchar_t date_sep,
                    const std::wstring& time_pattern, wchar_t time_sep) {
    return to_wstring(ts.get_date(), date_pattern, date_sep) + L" " +
           to_wstring(ts.get_time(), time_pattern, time_sep);
}

}  // namespace rkit
