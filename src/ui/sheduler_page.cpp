#include "ui/sheduler_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "core/string_table.h"
#include "rkit/path.h"
#include "sched/command_line.h"
#include "settings/host_profile.h"
#include "ui/message_box.h"
#include "ui/sched_task_dlg.h"
#include "ui/task_prop_dlg.h"

namespace bk::ui {

CShedulerPage::CShedulerPage(CSetupSheet* sheet)
    : CSetupPropertyPage(sheet, 10024, QStringLiteral("Планировщик")),
      report_([this](const std::wstring& text) { report(text); }) {}

void CShedulerPage::report(const std::wstring& text) { show_message_box(&sheet(), text, MB_OK | MB_ICONERROR); }

HostProfile CShedulerPage::host_profile() const {
    return context().params ? read_host_profile_from(context().params) : HostProfile{};
}

void CShedulerPage::init() {
    auto* database = named(new QLineEdit(qs(context().database_path), this), 11069);
    database->setReadOnly(true);
    status_ = named(new QLineEdit(this), 11070);
    status_->setReadOnly(true);
    task_button_ = make_button(this, 11071, str(ids::CMD_CREATE_TASK));
    all_databases_ = named(new QCheckBox(QStringLiteral("Показать задания для всех баз данных"), this), 11066);
    list_ = named(new QTreeWidget(this), 11067);
    report_list(list_, {ids::COL_TASK_DATABASE, ids::COL_COMMENT});
    commands_ = new ListCommands(list_, {CMD_LIST_ADD, CMD_LIST_EDIT, CMD_LIST_DELETE, MENU_SEPARATOR,
                                         CMD_LIST_PROPERTIES},
                                 [this](int command) { on_command(command); });
    QToolBar* toolbar =
        commands_->make_toolbar(this, 11026, {CMD_LIST_ADD, CMD_LIST_EDIT, CMD_LIST_DELETE, CMD_LIST_PROPERTIES});

    auto* current = new QGroupBox(QStringLiteral("Сохранение текущей базы данных"), this);
    auto* grid = new QGridLayout(current);
    grid->addWidget(new QLabel(QStringLiteral("Текущая база данных:"), current), 0, 0);
    grid->addWidget(database, 0, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Статус:"), current), 1, 0);
    grid->addWidget(status_, 1, 1);
    grid->addWidget(task_button_, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* existing = new QGroupBox(QStringLiteral("Существующие задания на создание резервных копий"), this);
    auto* lines = new QVBoxLayout(existing);
    auto* bar = new QHBoxLayout;
    bar->addWidget(all_databases_, 1);
    bar->addWidget(toolbar);
    lines->addLayout(bar);
    lines->addWidget(list_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(current);
    layout->addWidget(existing, 1);

    connect(task_button_, &QPushButton::clicked, this, [this] {
        if (current_tasks_.size() == 1) edit_task(current_tasks_.front());
        else create_task(false);
    });
    connect(all_databases_, &QCheckBox::toggled, this, &CShedulerPage::refresh);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &CShedulerPage::update_toolbar);
    connect(list_, &QTreeWidget::itemActivated, this, [this] { on_command(CMD_LIST_EDIT); });
    refresh();
    if (list_->topLevelItemCount() > 0) {
        list_->setCurrentItem(list_->topLevelItem(0));
        list_->setFocus();
    }
}

void CShedulerPage::refresh() {
    const int selected = selected_index();
    const SetupContext& c = context();
    // One reading of the scheduler serves the list and the status alike.
    load_scheduled_tasks(c.exe_path, c.database_path, TASKS_OF_PROGRAM, tasks_, report_);
    current_tasks_.clear();
    for (const ScheduledBackupTask& task : tasks_)
        if (is_task_of_database(task, c.database_path)) current_tasks_.push_back(task);
    if (!all_databases_->isChecked()) tasks_ = current_tasks_;
    list_->clear();
    for (const ScheduledBackupTask& task : tasks_) {
        auto* row = new QTreeWidgetItem(list_, {qs(task.database_path), qs(task.run.comment)});
        row->setIcon(0, module_icon(task.definition.enabled ? 10026 : 10027));
    }
    fit_columns(list_);
    if (selected >= 0 && list_->topLevelItemCount() > 0) {
        QTreeWidgetItem* row = list_->topLevelItem(std::min(selected, list_->topLevelItemCount() - 1));
        list_->setCurrentItem(row);
        list_->scrollToItem(row);
    }
    update_status();
    update_toolbar();
}

void CShedulerPage::update_status() {
    const size_t count = current_tasks_.size();
    if (count == 0) status_->setText(str(ids::NO_TASKS_FOR_DATABASE));
    else if (count == 1) status_->setText(str(ids::ONE_TASK_FOR_DATABASE));
    else status_->setText(qs(format_string(ids::TASKS_FOR_DATABASE, {int64_t(count)})));
    task_button_->setText(str(count == 1 ? ids::CMD_EDIT_TASK : ids::CMD_CREATE_TASK));
}

int CShedulerPage::selected_index() const {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? -1 : list_->indexOfTopLevelItem(selected.front());
}

void CShedulerPage::update_toolbar() {
    const bool selected = selected_index() >= 0;
    for (const int command : {CMD_LIST_EDIT, CMD_LIST_DELETE, CMD_LIST_PROPERTIES}) commands_->set_enabled(command, selected);
}

void CShedulerPage::on_command(int command) {
    if (command == CMD_LIST_ADD) return create_task(true);
    const int index = selected_index();
    if (index < 0 || size_t(index) >= tasks_.size()) return;
    const ScheduledBackupTask task = tasks_[size_t(index)];
    if (command == CMD_LIST_EDIT) return edit_task(task);
    if (command == CMD_LIST_DELETE) delete_scheduled_task(task.name, report_);
    if (command == CMD_LIST_PROPERTIES) edit_scheduled_task(task.name, task_property_editor(&sheet()), report_);
    refresh();
}

sched::TaskDefinition CShedulerPage::definition_of(const SchedTaskValues& values) const {
    const SetupContext& c = context();
    sched::TaskDefinition definition;
    definition.kind = values.kind;
    definition.time = values.time;
    definition.enabled = values.enabled;
    definition.application = scheduled_backup_executable(rkit::extract_dir(c.exe_path));
    definition.parameters = backup_command_line(c.identity, values.run, true, false, c.exe_path, values.database_path);
    definition.working_directory = c.root_path;
    definition.comment = values.run.comment;
    return definition;
}

void CShedulerPage::create_task(bool choose_database) {
    SchedTaskValues values;
    values.database_path = context().database_path;
    values.run.keeptime = KEEP_FOREVER;
    values.run.comment.clear();
    CSchedTaskDlg dialog(this, choose_database, at_logon_schedule_text(report_), context().settings.components,
                         values);
    if (dialog.exec() != QDialog::Accepted) return;
    std::wstring name;
    create_scheduled_task(definition_of(dialog.values()), name, host_profile(), report_);
    refresh();
}

void CShedulerPage::edit_task(const ScheduledBackupTask& task) {
    SchedTaskValues values{task.database_path, task.run, task.definition.kind, task.definition.time,
                           task.definition.enabled};
    values.run.comment = task.definition.comment;
    const std::wstring other = task.definition.kind == sched::TASK_DAILY ? at_logon_schedule_text(report_)
                                                                         : scheduled_task_text(task.name, report_);
    CSchedTaskDlg dialog(this, false, other, context().settings.components, values);
    if (dialog.exec() != QDialog::Accepted) return;
    update_scheduled_task(task.name, definition_of(dialog.values()), host_profile(), report_);
    refresh();
}

}  // namespace bk::ui
