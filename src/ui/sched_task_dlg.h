// "Задание планировщика": one scheduled backup: the database it saves, when
// it runs, and the keep time, components and comment of its backups.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <vector>

#include "sched/task_manager.h"
#include "ui/keep_time.h"
#include "ui/widgets.h"

namespace bk::ui {

// What the dialog edits; the caller takes it back on OK.
struct SchedTaskValues {
    std::wstring database_path;
    AutoParams run;  // keep time, excluded components, comment
    int32_t kind = sched::TASK_DAILY;
    rkit::time time{0, 0, 0};
    bool enabled = true;
};

class CSchedTaskDlg final : public CBasicDlg {
public:
    // other_text: what "Другое:" shows, the schedule of a task that is not
    // daily; choose_database: the database may be changed (a task added from
    // the list).
    CSchedTaskDlg(QWidget* parent, bool choose_database, const std::wstring& other_text,
                  const std::vector<Component>& components, const SchedTaskValues& values);
    const SchedTaskValues& values() const { return values_; }

    void accept() override;

private:
    void update_states();
    void choose_database();

    QLineEdit* database_;
    QRadioButton* daily_;
    QRadioButton* other_;
    QSpinBox* hour_;
    QSpinBox* minute_;
    QLineEdit* other_text_;
    QCheckBox* forever_;
    QComboBox* combo_;
    QPushButton* components_button_;
    QLineEdit* comment_;
    KeepTimeSelector keep_time_;
    std::vector<Component> components_;
    SchedTaskValues values_;
};

}  // namespace bk::ui
