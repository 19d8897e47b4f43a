// The scheduler page's calls: one manager and one operation each, every
// failure turned into one message for the page to show.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>

#include "core/com_error.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "sched/command_line.h"
#include "sched/task_manager.h"
#include "vardobk/command_line.h"

namespace bk {

namespace {

std::wstring failure_message() {
    try {
        throw;
    } catch (const std::exception& e) {
        return rkit::char_to_wide(e.what());
    } catch (const com_error& e) {
        if (!e.error_message().empty()) return e.error_message();
        wchar_t text[32];
        std::swprintf(text, 32, L"COM result = 0x%x", static_cast<unsigned>(e.hresult()));
        return text;
    } catch (...) {
        return L"unknown sheduler error...";
    }
}

// Runs operation on a manager of the module's tasks; a failure goes to report
// and gives failed.
template <class Result, class Operation>
Result guarded(const SchedulerErrorReport& report, Result failed, Operation operation,
               const sched::TaskEditor& editor = {}) {
    try {
        return operation(*sched::create_task_manager(sched::TASK_PREFIX, editor));
    } catch (...) {
        const std::wstring text = L"Sheduler error:\n" + failure_message();
        try {
            if (report) report(text);
        } catch (...) {
        }
        return failed;
    }
}

void write_profile(const sched::TaskDefinition& definition, const HostProfile& profile) {
    if (definition.working_directory.empty()) return;  // nowhere the task would find it
    write_host_profile((std::filesystem::path(definition.working_directory) / HOST_PROFILE_NAME).wstring(), profile);
}

}  // namespace

bool create_scheduled_task(const sched::TaskDefinition& definition, std::wstring& name, const HostProfile& profile,
                           const SchedulerErrorReport& report) {
    return guarded(report, false, [&](sched::ITaskManager& manager) {
        write_profile(definition, profile);
        return manager.create_task(definition, name);
    });
}

bool update_scheduled_task(const std::wstring& name, const sched::TaskDefinition& definition,
                           const HostProfile& profile, const SchedulerErrorReport& report) {
    return guarded(report, false, [&](sched::ITaskManager& manager) {
        write_profile(definition, profile);
        return manager.update_task(name, definition);
    });
}

bool delete_scheduled_task(const std::wstring& name, const SchedulerErrorReport& report) {
    return guarded(report, false, [&](sched::ITaskManager& manager) { return manager.delete_task(name); });
}

bool edit_scheduled_task(const std::wstring& name, const sched::TaskEditor& editor,
                         const SchedulerErrorReport& report) {
    return guarded(report, false, [&](sched::ITaskManager& manager) { return manager.edit_task(name); }, editor);
}

std::wstring at_logon_schedule_text(const SchedulerErrorReport& report) {
    std::wstring text;
    guarded(report, false, [&](sched::ITaskManager& manager) {
        sched::TaskDefinition at_logon;
        at_logon.kind = sched::TASK_AT_LOGON;
        if (!manager.describe_definition(at_logon, text)) text = L"?";
        return true;
    });
    return text;
}

std::wstring scheduled_task_text(const std::wstring& name, const SchedulerErrorReport& report) {
    std::wstring text;
    guarded(report, false, [&](sched::ITaskManager& manager) {
        int32_t count = 0;
        if (!manager.get_trigger_count(name, count)) return false;
        for (int32_t i = 0; i < count; ++i) {
            std::wstring trigger;
            if (!manager.get_trigger_text(name, i, trigger)) trigger = L"?";
            text += (i > 0 ? L"; " : L"") + trigger;
        }
        return true;
    });
    return text;
}

bool is_task_of_database(const ScheduledBackupTask& task, const std::wstring& database_path) {
    return task.database_path == database_path;
}

bool load_scheduled_tasks(const std::wstring& host_exe_path, const std::wstring& database_path, uint32_t filter,
                          std::vector<ScheduledBackupTask>& tasks, const SchedulerErrorReport& report) {
    return guarded(report, false, [&](sched::ITaskManager& manager) {
        tasks.clear();
        std::vector<std::wstring> names;
        manager.list_tasks(names);
        for (const std::wstring& name : names) {
            ScheduledBackupTask task;
            if (!manager.read_task(name, task.definition)) continue;
            const std::unique_ptr<IBkCommandLineInfo> info(factoryBkCommandLineInfo());
            info->set_keep_time(-1);  // a command line without /T= keeps its backups for ever
            WinappParseCommandLine(L"dummy.exe " + task.definition.parameters, *info);
            if ((filter & TASKS_OF_PROGRAM) && !rkit::equal_path(info->program(), host_exe_path)) continue;
            task.database_path = info->database();
            if ((filter & TASKS_OF_DATABASE) && !is_task_of_database(task, database_path)) continue;
            task.name = name;
            task.run.comment = task.definition.comment;
            task.run.keeptime = info->keep_time();
            task.run.flags = 0;
            task.run.excl_comp = split_component_list(info->excluded_components());
            tasks.push_back(std::move(task));
        }
        return true;
    });
}

}  // namespace bk
