// Scheduled backups as tasks of this machine's scheduler: time schedules in
// the user's crontab, "at logon" as an XDG autostart entry. The module sees
// a task through TaskDefinition; the raw form is what the task property
// dialog edits.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rkit/datetime.h"
#include "settings/host_profile.h"
#include "settings/settings.h"

namespace sched {

enum TaskTriggerKind : int32_t {
    TASK_DAILY = 0,     // one line "M H * * *"
    TASK_AT_LOGON = 1,  // one autostart entry
    TASK_OTHER = 2,     // anything else; its schedule is left as it is
};

struct TaskDefinition {
    int32_t kind = TASK_DAILY;
    rkit::time time{0, 0, 0};  // of a daily task
    bool enabled = true;
    std::wstring comment;
    std::wstring application;  // full path of the program started
    std::wstring parameters;   // its command line without the program name (Windows quoting)
    std::wstring working_directory;
    friend bool operator==(const TaskDefinition&, const TaskDefinition&) = default;
};

// A task as stored, for the task property dialog: its schedule lines (the
// five time fields of each crontab line) or "at logon", whether it is
// enabled, and its command: the application and parameters as one line
// with the Windows quoting rules.
struct RawTask {
    bool at_logon = false;
    std::vector<std::wstring> schedules;
    bool enabled = true;
    std::wstring command;
    friend bool operator==(const RawTask&, const RawTask&) = default;
};

// Shows the module's task property dialog over raw; true when the user
// confirmed (raw then holds what is to be saved).
using TaskEditor = std::function<bool(RawTask& raw)>;

class ITaskNamePolicy {
public:
    virtual std::wstring make_name() = 0;
    virtual bool matches(const std::wstring& name) const = 0;
    virtual ~ITaskNamePolicy() = default;
};

// The prefix followed by a freshly generated UUID; a name matches when it
// starts with the prefix, compared without regard to case.
class PrefixGuidNamePolicy final : public ITaskNamePolicy {
public:
    explicit PrefixGuidNamePolicy(std::wstring prefix) : prefix_(std::move(prefix)) {}
    std::wstring make_name() override;
    bool matches(const std::wstring& name) const override;

private:
    std::wstring prefix_;
};

// Every operation reads the stores afresh and writes back only what changed;
// a failing store (no crontab program, a write refused) throws
// std::runtime_error with the program's message.
class ITaskManager {
public:
    // An empty name is chosen by the policy and handed back.
    virtual bool create_task(const TaskDefinition& definition, std::wstring& name) = 0;
    virtual bool task_exists(const std::wstring& name) = 0;
    // Kinds 0 and 1 leave exactly one schedule; kind 2 leaves it as it is.
    virtual bool update_task(const std::wstring& name, const TaskDefinition& definition) = 0;
    virtual bool read_task(const std::wstring& name, TaskDefinition& definition) = 0;
    // The names the policy matches, in the stores' order (crontab, then autostart).
    virtual void list_tasks(std::vector<std::wstring>& names) = 0;
    // The raw task through the editor given to the manager, saved when confirmed.
    virtual bool edit_task(const std::wstring& name) = 0;
    virtual bool delete_task(const std::wstring& name) = 0;
    virtual bool get_trigger_count(const std::wstring& name, int32_t& count) = 0;
    // "Ежедневно в HH:MM", "При входе в систему"; false for kind 2.
    virtual bool describe_definition(const TaskDefinition& definition, std::wstring& text) = 0;
    // "Ежедневно в HH:MM", "При входе в систему", or the line's time fields as written.
    virtual bool get_trigger_text(const std::wstring& name, int32_t index, std::wstring& text) = 0;
    virtual ~ITaskManager() = default;
};

// The prefix of every task of the module.
inline constexpr const wchar_t* TASK_PREFIX = L"vd8_backup_";

// A manager over the user's crontab and $XDG_CONFIG_HOME/autostart (default
// ~/.config/autostart) with a PrefixGuidNamePolicy of prefix; editor serves
// edit_task (without one, edit_task fails).
std::unique_ptr<ITaskManager> create_task_manager(const std::wstring& prefix, TaskEditor editor = {});

}  // namespace sched

namespace bk {

// One row of the scheduler page: a task of the module and what its backup does.
struct ScheduledBackupTask {
    sched::TaskDefinition definition;
    std::wstring name;
    AutoParams run;  // comment, keep time (/T=), excluded components (/E=); flags 0
    std::wstring database_path;  // /D=
};

// Filters of load_scheduled_tasks.
inline constexpr uint32_t TASKS_OF_PROGRAM = 2;   // the program path names the host's executable
inline constexpr uint32_t TASKS_OF_DATABASE = 4;  // /D= names the database

// The guarded entry points: each makes a manager, runs one operation and
// hands every failure to report as one text, "Sheduler error:\n" and the
// cause, then gives its failure result.
using SchedulerErrorReport = std::function<void(const std::wstring& text)>;

// Writes profile into the definition's working directory first, so that the
// task can run while the host is closed.
bool create_scheduled_task(const sched::TaskDefinition& definition, std::wstring& name, const HostProfile& profile,
                           const SchedulerErrorReport& report);
bool update_scheduled_task(const std::wstring& name, const sched::TaskDefinition& definition,
                           const HostProfile& profile, const SchedulerErrorReport& report);
bool delete_scheduled_task(const std::wstring& name, const SchedulerErrorReport& report);
bool edit_scheduled_task(const std::wstring& name, const sched::TaskEditor& editor,
                         const SchedulerErrorReport& report);
// The text of the at-logon schedule ("?" when there is none).
std::wstring at_logon_schedule_text(const SchedulerErrorReport& report);
// The texts of a stored task's schedules joined with "; " ("?" for one that cannot be had).
std::wstring scheduled_task_text(const std::wstring& name, const SchedulerErrorReport& report);
// /D= of the task names database_path: the rule of TASKS_OF_DATABASE.
bool is_task_of_database(const ScheduledBackupTask& task, const std::wstring& database_path);
// The module's tasks that pass filter (TASKS_OF_PROGRAM, TASKS_OF_DATABASE)
// for the host's executable and database, in list order.
bool load_scheduled_tasks(const std::wstring& host_exe_path, const std::wstring& database_path, uint32_t filter,
                          std::vector<ScheduledBackupTask>& tasks, const SchedulerErrorReport& report);

}  // namespace bk
