#include "ui/task_prop_dlg.h"

#include <QLabel>
#include <QVBoxLayout>

#include "rkit/command_line_split.h"

namespace bk::ui {
namespace {

// Minute, hour, day of month, month, day of week.
constexpr int kTimeFields = 5;

}  // namespace

CTaskPropDlg::CTaskPropDlg(QWidget* parent, const sched::RawTask& raw)
    : QDialog(parent),
      at_logon_(new QCheckBox(QStringLiteral("При входе в систему"), this)),
      schedules_(new QPlainTextEdit(this)),
      enabled_(new QCheckBox(QStringLiteral("Включено"), this)),
      command_(new QLineEdit(qs(raw.command), this)),
      raw_(raw) {
    setObjectName(QStringLiteral("task_properties"));
    setWindowTitle(QStringLiteral("Свойства задания"));
    at_logon_->setObjectName(QStringLiteral("at_logon"));
    schedules_->setObjectName(QStringLiteral("schedules"));
    enabled_->setObjectName(QStringLiteral("enabled"));
    command_->setObjectName(QStringLiteral("command"));
    at_logon_->setChecked(raw.at_logon);
    enabled_->setChecked(raw.enabled);
    QStringList lines;
    for (const std::wstring& line : raw.schedules) lines << qs(line);
    schedules_->setPlainText(lines.join(QLatin1Char('\n')));
    schedules_->setFixedHeight(schedules_->fontMetrics().lineSpacing() * 5 + 12);

    command_->setCursorPosition(0);  // the program first
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Команда:"), this));
    layout->addWidget(command_);
    layout->addWidget(at_logon_);
    layout->addWidget(new QLabel(QStringLiteral("Расписание, по строке на каждое: минуты, часы, дни месяца, "
                                                "месяцы, дни недели"),
                                 this));
    layout->addWidget(schedules_);
    layout->addWidget(enabled_);
    layout->addLayout(ok_cancel_row(this, &ok_));
    setMinimumWidth(560);

    connect(at_logon_, &QCheckBox::toggled, this, &CTaskPropDlg::update_states);
    connect(schedules_, &QPlainTextEdit::textChanged, this, &CTaskPropDlg::update_states);
    connect(command_, &QLineEdit::textChanged, this, &CTaskPropDlg::update_states);
    update_states();
}

std::vector<std::wstring> CTaskPropDlg::schedule_lines() const {
    std::vector<std::wstring> lines;
    for (const QString& line : schedules_->toPlainText().split(QLatin1Char('\n'))) {
        const QString fields = line.simplified();
        if (!fields.isEmpty()) lines.push_back(ws(fields));
    }
    return lines;
}

void CTaskPropDlg::update_states() {
    const bool at_logon = at_logon_->isChecked();
    schedules_->setEnabled(!at_logon);
    // cron refuses a whole table for one line it cannot read: a line needs its five time fields.
    const std::vector<std::wstring> lines = schedule_lines();
    bool readable = at_logon || !lines.empty();
    if (!at_logon)
        for (const std::wstring& line : lines)
            if (qs(line).split(QLatin1Char(' ')).size() != kTimeFields) readable = false;
    ok_->setEnabled(readable && !rkit::split_command_line(ws(command_->text())).empty());
}

void CTaskPropDlg::accept() {
    if (!ok_->isEnabled()) return;
    raw_.at_logon = at_logon_->isChecked();
    if (!raw_.at_logon) raw_.schedules = schedule_lines();
    raw_.enabled = enabled_->isChecked();
    raw_.command = ws(command_->text());
    QDialog::accept();
}

sched::TaskEditor task_property_editor(QWidget* parent) {
    return [parent](sched::RawTask& raw) {
        CTaskPropDlg dialog(parent, raw);
        if (dialog.exec() != QDialog::Accepted) return false;
        raw = dialog.raw();
        return true;
    };
}

}  // namespace bk::ui
