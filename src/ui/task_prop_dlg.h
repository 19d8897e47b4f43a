// The properties of a stored scheduled task as its scheduler holds them:
// its schedule lines (or "at logon"), whether it is enabled, and its
// command. A user who wants a schedule the task dialog cannot express
// (every 30 minutes, weekdays only) writes it here.
#pragma once
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "sched/task_manager.h"
#include "ui/widgets.h"

namespace bk::ui {

class CTaskPropDlg final : public QDialog {
public:
    CTaskPropDlg(QWidget* parent, const sched::RawTask& raw);
    const sched::RawTask& raw() const { return raw_; }

    void accept() override;

private:
    void update_states();
    std::vector<std::wstring> schedule_lines() const;

    QCheckBox* at_logon_;
    QPlainTextEdit* schedules_;
    QCheckBox* enabled_;
    QLineEdit* command_;
    QPushButton* ok_ = nullptr;
    sched::RawTask raw_;
};

// The dialog as the editor of a task manager, owned by parent.
sched::TaskEditor task_property_editor(QWidget* parent);

}  // namespace bk::ui
