#include "ui/sched_task_dlg.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "core/string_table.h"
#include "rkit/path.h"
#include "tasks/user_interface.h"
#include "ui/message_box.h"
#include "ui/sel_comp_dlg.h"

namespace bk::ui {
namespace {

QSpinBox* number(QWidget* parent, int id, int most, int value) {
    auto* spin = named(new QSpinBox(parent), id);
    spin->setRange(0, most);
    spin->setValue(value);
    return spin;
}

}  // namespace

CSchedTaskDlg::CSchedTaskDlg(QWidget* parent, bool choose_database, const std::wstring& other_text,
                             const std::vector<Component>& components, const SchedTaskValues& values)
    : CBasicDlg(10026, QStringLiteral("Задание планировщика"), parent),
      database_(named(new QLineEdit(qs(values.database_path), this), 11069)),
      daily_(named(new QRadioButton(QStringLiteral("Ежедневно в"), this), 11074)),
      other_(named(new QRadioButton(QStringLiteral("Другое:"), this), 11075)),
      hour_(number(this, 11076, 23, values.time.hour())),
      minute_(number(this, 11012, 59, values.time.minute())),
      other_text_(named(new QLineEdit(qs(other_text), this), 11080)),
      forever_(named(new QCheckBox(QStringLiteral("вечно"), this), 11002)),
      combo_(named(new QComboBox(this), 11001)),
      components_button_(make_button(this, 11078, QStringLiteral("Компоненты..."))),
      comment_(named(new QLineEdit(qs(values.run.comment), this), 11000)),
      keep_time_(forever_, combo_),
      components_(components),
      values_(values) {
    QPushButton* browse = make_browse_button(this, 11073);
    if (!choose_database) {
        database_->setReadOnly(true);
        database_->setFocusPolicy(Qt::NoFocus);
        browse->hide();
    }
    other_text_->setReadOnly(true);
    combo_->setEditable(true);
    (values.kind == sched::TASK_DAILY ? daily_ : other_)->setChecked(true);
    keep_time_.fill();
    keep_time_.show(values.run.keeptime);

    auto* database_box = new QGroupBox(QStringLiteral("База данных"), this);
    auto* database_row = new QHBoxLayout(database_box);
    database_row->addWidget(database_, 1);
    database_row->addWidget(browse);

    auto* time_box = new QGroupBox(QStringLiteral("Время выполнения"), this);
    auto* time_grid = new QGridLayout(time_box);
    auto* clock = new QHBoxLayout;
    clock->addWidget(hour_);
    clock->addWidget(new QLabel(QStringLiteral("часов"), time_box));
    clock->addWidget(minute_);
    clock->addWidget(new QLabel(QStringLiteral("минут"), time_box));
    clock->addStretch(1);
    time_grid->addWidget(daily_, 0, 0);
    time_grid->addLayout(clock, 0, 1);
    time_grid->addWidget(other_, 1, 0);
    time_grid->addWidget(other_text_, 1, 1);
    time_grid->setColumnStretch(1, 1);

    auto* backup_box = new QGroupBox(QStringLiteral("Параметры резервной копии"), this);
    auto* backup_grid = new QGridLayout(backup_box);
    auto* keep_row = new QHBoxLayout;
    keep_row->addWidget(forever_);
    keep_row->addWidget(combo_, 1);
    keep_row->addWidget(components_button_);
    backup_grid->addWidget(new QLabel(QStringLiteral("Срок хранения:"), backup_box), 0, 0);
    backup_grid->addLayout(keep_row, 0, 1);
    backup_grid->addWidget(new QLabel(QStringLiteral("Комментарий:"), backup_box), 1, 0);
    backup_grid->addWidget(comment_, 1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(database_box);
    layout->addWidget(time_box);
    layout->addWidget(backup_box);
    layout->addLayout(ok_cancel_row(this));
    setMinimumWidth(480);

    connect(browse, &QPushButton::clicked, this, &CSchedTaskDlg::choose_database);
    connect(daily_, &QRadioButton::clicked, this, &CSchedTaskDlg::update_states);
    connect(other_, &QRadioButton::clicked, this, &CSchedTaskDlg::update_states);
    connect(forever_, &QCheckBox::clicked, this, &CSchedTaskDlg::update_states);
    connect(components_button_, &QPushButton::clicked, this,
            [this] { choose_excluded(this, components_, values_.run.excl_comp); });
    update_states();
}

void CSchedTaskDlg::update_states() {
    hour_->setEnabled(daily_->isChecked());
    minute_->setEnabled(daily_->isChecked());
    other_text_->setEnabled(other_->isChecked());
    components_button_->setEnabled(!components_.empty());
    keep_time_.update();
}

void CSchedTaskDlg::choose_database() {
    const QString chosen = QFileDialog::getOpenFileName(this, QString(), database_->text(),
                                                        qt_filter(ids::DATABASE_FILE_FILTER), nullptr,
                                                        QFileDialog::DontUseNativeDialog);
    if (!chosen.isEmpty()) database_->setText(chosen);
}

void CSchedTaskDlg::accept() {
    const int32_t keeptime = keep_time_.read();
    if (keeptime == 0) {
        show_message_box(this, load_string(ids::NO_KEEP_TIME), MB_OK | MB_ICONWARNING, str(ids::SETTINGS_CAPTION));
        return;
    }
    if (daily_->isChecked()) {
        values_.kind = sched::TASK_DAILY;
        values_.time = rkit::time(hour_->value(), minute_->value(), 0);
    } else if (values_.kind == sched::TASK_DAILY) {
        values_.kind = sched::TASK_AT_LOGON;  // a schedule of another kind is kept as it stands
    }
    values_.database_path = ws(database_->text());
    values_.run.keeptime = keeptime;
    values_.run.comment = ws(comment_->text());
    CBasicDlg::accept();
}

}  // namespace bk::ui
