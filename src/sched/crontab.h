// The user's crontab. A task of the module is a marker comment "# NAME" or
// "# NAME COMMENT" directly above its schedule lines; each line runs
// "cd 'DIR' && exec 'APP' 'ARG' ...", and a disabled line is commented out
// with a leading "#". Every other line belongs to someone else and is
// written back byte for byte.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sched/task_command.h"

namespace sched {

struct CronSchedule {
    std::wstring timing;  // the time fields as written: "30 7 * * *", "*/30  *  * * *", "@daily"
    bool enabled = true;
    friend bool operator==(const CronSchedule&, const CronSchedule&) = default;
};

struct CronTask {
    std::wstring name;
    std::wstring comment;
    std::vector<CronSchedule> schedules;
    TaskCommand command;  // of its first line; every line is written with it
};

// The command of a schedule line, quoted for /bin/sh and with every "%"
// escaped for cron. Throws std::runtime_error for a word with a line break,
// which no crontab line can hold.
std::string cron_command(const TaskCommand& command);
// The command back from such a text; nullopt when it is not of that form
// (an unescaped "%", shell syntax beyond quoting, no program).
std::optional<TaskCommand> parse_cron_command(std::string_view text);

// The time fields of a line: five fields, or one "@" word; nullopt when
// timing is neither.
std::optional<std::vector<std::wstring>> timing_fields(std::wstring_view timing);
// "M H * * *" with plain decimal minute and hour in range.
bool parse_daily(std::wstring_view timing, int& hour, int& minute);
std::wstring daily_timing(int hour, int minute);

class CronTable {
public:
    explicit CronTable(std::string_view text);
    // Every line ends with a line break, as crontab demands.
    std::string text() const;

    const CronTask* find(const std::wstring& name) const;
    std::vector<std::wstring> task_names() const;
    // Replaces the task of that name where it stands, or adds it at the end.
    // Throws std::runtime_error for a task that cannot be written.
    void put(const CronTask& task);
    bool remove(const std::wstring& name);

private:
    struct Entry {
        std::vector<std::string> lines;
        std::optional<CronTask> task;
    };
    Entry* entry(const std::wstring& name);
    std::vector<Entry> entries_;
};

// The text of `crontab -l`: empty when the user has none. Throws
// std::runtime_error with the program's message when it cannot be had.
std::string read_crontab();
// Installs text with `crontab -`; on failure the old crontab stays and
// std::runtime_error carries the program's message.
void write_crontab(const std::string& text);

}  // namespace sched
