// Dates, times of day and timestamps in the machine's local time.
//
// Text forms: a date is "dd.mm.yyyy", a time "hh:mm:ss"; from_str reads back
// what to_wstring writes. A timestamp is a count of milliseconds since
// 1599-12-31 00:00 local time (the civil date and time encoded, no time zone
// arithmetic), so timestamps order as time does; the value 6311520000000 is
// 1800-01-01 00:00 and the default value 0 is 31.12.1599 00:00.
#pragma once
#include <cstdint>
#include <string>

namespace rkit {

class date {
public:
    date() = default;  // 01.01.1600
    date(int day, int month, int year) { put(day, month, year); }
    void get(int& day, int& month, int& year) const;
    // False (and the date unchanged) when the three do not make a real date.
    bool put(int day, int month, int year);
    int day() const { return day_; }
    int month() const { return month_; }
    int year() const { return year_; }
    // 0 for Sunday, 1 for Monday ... 6 for Saturday.
    int day_of_week() const;
    // Days since 1600-01-01.
    int64_t day_number() const;
    static date from_day_number(int64_t days);
    date add_days(int64_t days) const;
    friend int64_t operator-(const date& a, const date& b) { return a.day_number() - b.day_number(); }
    friend bool operator==(const date&, const date&) = default;
    friend auto operator<=>(const date& a, const date& b) { return a.day_number() <=> b.day_number(); }

private:
    int day_ = 1, month_ = 1, year_ = 1600;
};

class time {
public:
    time() = default;
    time(int hour, int minute, int second, int hundredths = 0) { put(hour, minute, second, hundredths); }
    void get(int& hour, int& minute, int& second) const;
    bool put(int hour, int minute, int second, int hundredths = 0);
    int hour() const { return hour_; }
    int minute() const { return minute_; }
    int second() const { return second_; }
    int hundredths() const { return hundredths_; }
    // Milliseconds since midnight.
    int64_t millis() const;
    friend bool operator==(const time&, const time&) = default;
    friend auto operator<=>(const time& a, const time& b) { return a.millis() <=> b.millis(); }

private:
    int hour_ = 0, minute_ = 0, second_ = 0, hundredths_ = 0;
};

// A span of days, hours and minutes added to a timestamp.
struct time_period {
    time_period(int days, int hours, int minutes) : days(days), hours(hours), minutes(minutes) {}
    int days, hours, minutes;
    int64_t millis() const;
};

class timestamp {
public:
    timestamp() = default;
    explicit timestamp(int64_t value) : value_(value) {}
    // The current local time from the module's clock (see clock.h).
    void put_system_clock();
    void put(const date& d, const time& t);
    date get_date() const;
    time get_time() const;
    int64_t get() const { return value_; }
    timestamp& operator+=(const time_period& p);
    timestamp& operator-=(const time_period& p);
    friend bool operator==(const timestamp&, const timestamp&) = default;
    friend auto operator<=>(const timestamp&, const timestamp&) = default;

private:
    int64_t value_ = 0;
};

std::wstring to_wstring(const date& d);  // "dd.mm.yyyy"
std::wstring to_wstring(const time& t);  // "hh:mm:ss"
// With a pattern of "dd", "mm", "yyyy", "yy" (date) or "hh", "mm", "ss" (time)
// fields; every other pattern character is a separator replaced by sep.
std::wstring to_wstring(const date& d, const std::wstring& pattern, wchar_t sep);
std::wstring to_wstring(const time& t, const std::wstring& pattern, wchar_t sep);
// False (out unchanged) for text that is not a valid date or time.
bool from_str(const std::wstring& text, date& out);
bool from_str(const std::wstring& text, time& out);
// Date and time of a timestamp with their patterns, a blank between them.
std::wstring to_str(const timestamp& ts, const std::wstring& date_pattern, wchar_t date_sep,
                    const std::wstring& time_pattern, wchar_t time_sep);

}  // namespace rkit
