#include "ui/keep_time_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "core/string_table.h"

namespace bk::ui {
namespace {

QCheckBox* forever_box(QWidget* parent, int id) {
    auto* box = new QCheckBox(QStringLiteral("вечно"), parent);
    box->setObjectName(QString::number(id));
    return box;
}

QComboBox* keep_time_combo(QWidget* parent, int id) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::number(id));
    combo->setEditable(true);
    combo->setMinimumWidth(120);
    return combo;
}

}  // namespace

CKeepTimePage::CKeepTimePage(CSetupSheet* sheet) : CSetupPropertyPage(sheet, 10033, QStringLiteral("Срок хранения")) {}

void CKeepTimePage::init() {
    const BackupSettings& settings = context().settings;

    auto* common = new QGroupBox(QStringLiteral("Общие"), this);
    auto* common_grid = new QGridLayout(common);
    QCheckBox* default_forever = forever_box(common, 11002);
    QComboBox* default_combo = keep_time_combo(common, 11001);
    common_grid->addWidget(new QLabel(QStringLiteral("Хранить по умолчанию"), common), 0, 0);
    common_grid->addWidget(default_forever, 0, 1);
    common_grid->addWidget(default_combo, 0, 2);
    expired_limit_ = new QSpinBox(common);
    expired_limit_->setObjectName(QStringLiteral("11009"));
    // 0 is allowed although nobody needs to spin down to it: no expired copy survives.
    expired_limit_->setRange(0, 100);
    common_grid->addWidget(new QLabel(QStringLiteral("Хранить не более"), common), 1, 0);
    auto* limit_row = new QHBoxLayout;
    limit_row->addWidget(expired_limit_);
    limit_row->addWidget(new QLabel(QStringLiteral("копий, срок хранения которых истек."), common));
    limit_row->addStretch(1);
    common_grid->addLayout(limit_row, 1, 1, 1, 3);
    common_grid->setColumnStretch(3, 1);

    auto* longer = new QGroupBox(QStringLiteral("Продление хранения"), this);
    auto* longer_grid = new QGridLayout(longer);
    week_ = new QCheckBox(QStringLiteral("Последнюю копию за неделю хранить"), longer);
    week_->setObjectName(QStringLiteral("11090"));
    month_ = new QCheckBox(QStringLiteral("Последнюю копию за месяц хранить"), longer);
    month_->setObjectName(QStringLiteral("11091"));
    QCheckBox* week_forever = week_forever_ = forever_box(longer, 11003);
    QComboBox* week_combo = keep_time_combo(longer, 11004);
    QCheckBox* month_forever = month_forever_ = forever_box(longer, 11005);
    QComboBox* month_combo = keep_time_combo(longer, 11006);
    longer_grid->addWidget(week_, 0, 0);
    longer_grid->addWidget(week_forever, 0, 1);
    longer_grid->addWidget(week_combo, 0, 2);
    longer_grid->addWidget(month_, 1, 0);
    longer_grid->addWidget(month_forever, 1, 1);
    longer_grid->addWidget(month_combo, 1, 2);
    longer_grid->setColumnStretch(3, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(common);
    layout->addWidget(longer);
    layout->addStretch(1);

    keep_times_ = {{default_forever, default_combo}, {week_forever, week_combo}, {month_forever, month_combo}};
    for (KeepTimeSelector& keep_time : keep_times_) keep_time.fill();
    expired_limit_->setValue(settings.expired_limit);
    keep_times_[0].show(settings.default_keeptime);
    week_->setChecked(settings.options & OPT_KEEP_LAST_OF_WEEK);
    month_->setChecked(settings.options & OPT_KEEP_LAST_OF_MONTH);
    keep_times_[1].show(settings.last_at_week_keeptime);
    keep_times_[2].show(settings.last_at_month_keeptime);
    update_states();

    for (QCheckBox* box : {default_forever, week_forever, month_forever, week_, month_})
        connect(box, &QCheckBox::toggled, this, [this] { update_states(); });
}

void CKeepTimePage::update_states() {
    week_forever_->setEnabled(week_->isChecked());
    month_forever_->setEnabled(month_->isChecked());
    keep_times_[0].update();
    keep_times_[1].update();
    keep_times_[2].update();
}

bool CKeepTimePage::apply() {
    std::vector<int32_t> days;
    // An unticked extension keeps its time for when it is ticked again, so
    // that time has to be valid too.
    for (const KeepTimeSelector& keep_time : keep_times_) {
        days.push_back(keep_time.read());
        if (days.back() == 0) return refuse(load_string(ids::NO_KEEP_TIME));
    }
    BackupSettings& settings = context().settings;
    settings.expired_limit = expired_limit_->value();
    settings.default_keeptime = days[0];
    settings.options &= ~(OPT_KEEP_LAST_OF_WEEK | OPT_KEEP_LAST_OF_MONTH);
    if (week_->isChecked()) settings.options |= OPT_KEEP_LAST_OF_WEEK;
    if (month_->isChecked()) settings.options |= OPT_KEEP_LAST_OF_MONTH;
    settings.last_at_week_keeptime = days[1];
    settings.last_at_month_keeptime = days[2];
    return true;
}

}  // namespace bk::ui
