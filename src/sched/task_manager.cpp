#include "sched/task_manager.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <stdexcept>

#include "rkit/command_line_split.h"
#include "rkit/text.h"
#include "sched/autostart.h"
#include "sched/crontab.h"

namespace sched {

namespace {

const wchar_t* const AT_LOGON_TEXT = L"При входе в систему";

std::wstring new_uuid() {
    std::ifstream kernel("/proc/sys/kernel/random/uuid");
    std::string text;
    if (std::getline(kernel, text) && text.size() == 36) return rkit::char_to_wide(text);
    std::random_device random;
    char buffer[37];
    const auto word = [&] { return static_cast<unsigned>(random()); };
    std::snprintf(buffer, sizeof buffer, "%08x-%04x-4%03x-%04x-%04x%08x", word(), word() & 0xffff,
                  word() & 0xfff, (word() & 0x3fff) | 0x8000, word() & 0xffff, word());
    return rkit::char_to_wide(buffer);
}

std::wstring daily_text(int hour, int minute) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%02d:%02d", hour, minute);
    return L"Ежедневно в " + std::wstring(text);
}

std::wstring timing_text(const std::wstring& timing) {
    int hour = 0, minute = 0;
    if (parse_daily(timing, hour, minute)) return daily_text(hour, minute);
    std::wstring text;
    for (const std::wstring& field : timing_fields(timing).value_or(std::vector<std::wstring>{timing}))
        text += (text.empty() ? L"" : L" ") + field;
    return text;
}

TaskCommand command_of(const TaskDefinition& definition) {
    return {definition.working_directory, definition.application, split_parameters(definition.parameters)};
}

// A task as one of the two stores holds it.
struct StoredTask {
    std::optional<CronTask> cron;
    std::optional<AutostartEntry> logon;

    const TaskCommand& command() const { return cron ? cron->command : logon->command; }
    const std::wstring& comment() const { return cron ? cron->comment : logon->comment; }
};

class TaskManagerImpl final : public ITaskManager {
public:
    TaskManagerImpl(std::unique_ptr<ITaskNamePolicy> policy, TaskEditor editor)
        : policy_(std::move(policy)), editor_(std::move(editor)) {}

    bool create_task(const TaskDefinition& definition, std::wstring& name) override {
        if (name.empty() && policy_) name = policy_->make_name();
        if (name.empty() || !owns(name) ||
            std::any_of(name.begin(), name.end(), [](wchar_t c) { return c <= L' ' || c == L'/'; }))
            throw std::runtime_error("not a name for a scheduled task: \"" + rkit::wide_to_char(name) + "\"");
        CronTable table(read_crontab());
        if (find(table, name))
            throw std::runtime_error("a scheduled task named " + rkit::wide_to_char(name) + " exists already");
        const TaskCommand command = command_of(definition);
        if (definition.kind == TASK_AT_LOGON) {
            write_autostart(name, {definition.comment, definition.enabled, command});
        } else {
            const int hour = definition.kind == TASK_DAILY ? definition.time.hour() : 0;
            const int minute = definition.kind == TASK_DAILY ? definition.time.minute() : 0;
            table.put({name, definition.comment, {{daily_timing(hour, minute), definition.enabled}}, command});
            write_crontab(table.text());
        }
        return true;
    }

    bool task_exists(const std::wstring& name) override {
        CronTable table(read_crontab());
        return find(table, name).has_value();
    }

    bool update_task(const std::wstring& name, const TaskDefinition& definition) override {
        CronTable table(read_crontab());
        const std::optional<StoredTask> task = find(table, name);
        if (!task) return false;
        const TaskCommand command = command_of(definition);
        if (definition.kind == TASK_AT_LOGON || (definition.kind == TASK_OTHER && task->logon)) {
            save_logon(table, name, *task, {definition.comment, definition.enabled, command});
            return true;
        }
        CronTask cron = task->cron.value_or(CronTask{name, {}, {}, {}});
        cron.comment = definition.comment;
        cron.command = command;
        if (definition.kind == TASK_DAILY)
            cron.schedules = {{daily_timing(definition.time.hour(), definition.time.minute())}};
        for (CronSchedule& schedule : cron.schedules) schedule.enabled = definition.enabled;
        save_cron(table, cron, *task);
        return true;
    }

    bool read_task(const std::wstring& name, TaskDefinition& definition) override {
        CronTable table(read_crontab());
        const std::optional<StoredTask> task = find(table, name);
        if (!task) return false;
        definition = TaskDefinition{};
        if (task->cron) {
            const std::vector<CronSchedule>& schedules = task->cron->schedules;
            int hour = 0, minute = 0;
            const bool daily = schedules.size() == 1 && parse_daily(schedules[0].timing, hour, minute);
            definition.kind = daily ? TASK_DAILY : TASK_OTHER;
            if (daily) definition.time = rkit::time(hour, minute, 0);
            definition.enabled = std::any_of(schedules.begin(), schedules.end(),
                                             [](const CronSchedule& s) { return s.enabled; });
        } else {
            definition.kind = TASK_AT_LOGON;
            definition.enabled = task->logon->enabled;
        }
        definition.comment = task->comment();
        definition.application = task->command().application;
        definition.parameters = join_parameters(task->command().arguments);
        definition.working_directory = task->command().directory;
        return true;
    }

    void list_tasks(std::vector<std::wstring>& names) override {
        names.clear();
        const auto keep = [&](const std::wstring& name) {
            if (owns(name) && std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(name);
        };
        for (const std::wstring& name : CronTable(read_crontab()).task_names()) keep(name);
        for (const std::wstring& name : autostart_names()) keep(name);
    }

    bool edit_task(const std::wstring& name) override {
        if (!editor_) return false;
        CronTable table(read_crontab());
        const std::optional<StoredTask> task = find(table, name);
        if (!task) return false;
        RawTask raw;
        raw.at_logon = task->logon.has_value();
        if (task->cron) {
            raw.enabled = false;
            for (const CronSchedule& schedule : task->cron->schedules) {
                raw.schedules.push_back(schedule.timing);
                raw.enabled = raw.enabled || schedule.enabled;
            }
        } else {
            raw.enabled = task->logon->enabled;
        }
        raw.command = join_command(task->command().application, task->command().arguments);
        if (!editor_(raw)) return true;

        const std::vector<std::wstring> words = rkit::split_command_line(raw.command);
        if (words.empty() || words[0].empty()) throw std::runtime_error("the task's command names no program");
        const TaskCommand command{task->command().directory, words[0], {words.begin() + 1, words.end()}};
        if (raw.at_logon) {
            save_logon(table, name, *task, {task->comment(), raw.enabled, command});
            return true;
        }
        CronTask cron{name, task->comment(), {}, command};
        for (const std::wstring& timing : raw.schedules) cron.schedules.push_back({timing, raw.enabled});
        save_cron(table, cron, *task);
        return true;
    }

    bool delete_task(const std::wstring& name) override {
        if (!owns(name)) return false;
        CronTable table(read_crontab());
        if (table.remove(name)) {
            write_crontab(table.text());
            remove_autostart(name);  // a half-done move between the stores leaves one
            return true;
        }
        return remove_autostart(name);
    }

    bool get_trigger_count(const std::wstring& name, int32_t& count) override {
        CronTable table(read_crontab());
        const std::optional<StoredTask> task = find(table, name);
        if (!task) return false;
        count = task->cron ? static_cast<int32_t>(task->cron->schedules.size()) : 1;
        return true;
    }

    bool describe_definition(const TaskDefinition& definition, std::wstring& text) override {
        if (definition.kind == TASK_DAILY) text = daily_text(definition.time.hour(), definition.time.minute());
        else if (definition.kind == TASK_AT_LOGON) text = AT_LOGON_TEXT;
        else return false;
        return true;
    }

    bool get_trigger_text(const std::wstring& name, int32_t index, std::wstring& text) override {
        CronTable table(read_crontab());
        const std::optional<StoredTask> task = find(table, name);
        if (!task || index < 0) return false;
        if (task->logon) {
            if (index != 0) return false;
            text = AT_LOGON_TEXT;
            return true;
        }
        if (static_cast<size_t>(index) >= task->cron->schedules.size()) return false;
        text = timing_text(task->cron->schedules[index].timing);
        return true;
    }

private:
    // Only the module's own tasks are read, changed or deleted: an autostart
    // entry or a crontab block of another program is never touched, whatever
    // name a caller passes.
    bool owns(const std::wstring& name) const { return !policy_ || policy_->matches(name); }

    // The crontab first: a task half moved from there to autostart is still there.
    std::optional<StoredTask> find(const CronTable& table, const std::wstring& name) const {
        if (!owns(name)) return std::nullopt;
        if (const CronTask* cron = table.find(name)) return StoredTask{*cron, std::nullopt};
        if (auto logon = read_autostart(name)) return StoredTask{std::nullopt, std::move(logon)};
        return std::nullopt;
    }

    // The entry first, then the crontab without the task: a crontab that
    // refuses the change takes the new entry away again.
    static void save_logon(CronTable& table, const std::wstring& name, const StoredTask& task,
                           const AutostartEntry& entry) {
        write_autostart(name, entry);
        if (!task.cron) return;
        table.remove(name);
        try {
            write_crontab(table.text());
        } catch (...) {
            remove_autostart(name);
            throw;
        }
    }

    static void save_cron(CronTable& table, const CronTask& cron, const StoredTask& task) {
        table.put(cron);
        write_crontab(table.text());
        if (task.logon) remove_autostart(cron.name);
    }

    std::unique_ptr<ITaskNamePolicy> policy_;
    TaskEditor editor_;
};

}  // namespace

std::wstring PrefixGuidNamePolicy::make_name() { return prefix_ + new_uuid(); }

bool PrefixGuidNamePolicy::matches(const std::wstring& name) const {
    return name.size() >= prefix_.size() &&
           rkit::equal_no_case(std::wstring_view(name).substr(0, prefix_.size()), prefix_);
}

std::unique_ptr<ITaskManager> create_task_manager(const std::wstring& prefix, TaskEditor editor) {
    return std::make_unique<TaskManagerImpl>(std::make_unique<PrefixGuidNamePolicy>(prefix), std::move(editor));
}

}  // namespace sched
