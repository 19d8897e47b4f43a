// "Планировщик": the scheduled backups of this program, written to the
// scheduler at once; the page changes nothing in the settings.
#pragma once
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <vector>

#include "sched/task_manager.h"
#include "ui/list_commands.h"
#include "ui/setup_sheet.h"

namespace bk::ui {

struct SchedTaskValues;

class CShedulerPage final : public CSetupPropertyPage {
public:
    explicit CShedulerPage(CSetupSheet* sheet);

protected:
    void init() override;

private:
    void refresh();
    void update_status();
    void update_toolbar();
    int selected_index() const;
    void on_command(int command);
    void create_task(bool choose_database);
    void edit_task(const ScheduledBackupTask& task);
    sched::TaskDefinition definition_of(const SchedTaskValues& values) const;
    void report(const std::wstring& text);
    // What a task's vdbackup answers in place of the host.
    HostProfile host_profile() const;

    QLineEdit* status_ = nullptr;
    QPushButton* task_button_ = nullptr;
    QCheckBox* all_databases_ = nullptr;
    QTreeWidget* list_ = nullptr;
    ListCommands* commands_ = nullptr;
    std::vector<ScheduledBackupTask> tasks_;
    std::vector<ScheduledBackupTask> current_tasks_;  // those of the current database
    SchedulerErrorReport report_;
};

}  // namespace bk::ui
