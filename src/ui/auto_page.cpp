#include "ui/auto_page.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "core/string_table.h"
#include "ui/sel_comp_dlg.h"

namespace bk::ui {

CAutoPage::CAutoPage(CSetupSheet* sheet)
    : CSetupPropertyPage(sheet, 10004, QStringLiteral("Автоматическое сохранение")),
      sections_{{&BackupSettings::enter_param, OPT_ON_ENTER, OPT_ENTER_ON_DB_CHANGE, OPT_ENTER_CONFIRM},
                {&BackupSettings::exit_param, OPT_ON_EXIT, OPT_EXIT_ON_DB_CHANGE, OPT_EXIT_CONFIRM},
                {&BackupSettings::timer_param, OPT_BY_CLOCK, 0, 0}} {}

QWidget* CAutoPage::build(Section& s, const QString& title, const QString& run_text, const Ids& id) {
    auto* box = new QGroupBox(title, this);
    s.box = box;
    s.run = named(new QCheckBox(run_text, box), id.run);
    auto* top = new QHBoxLayout;
    top->addWidget(s.run);
    if (id.hour) {
        s.hour = named(new QSpinBox(box), id.hour);
        s.hour->setRange(0, 23);
        top->addWidget(s.hour);
        top->addWidget(new QLabel(QStringLiteral("часов"), box));
    } else {
        s.db_change = named(new QCheckBox(QStringLiteral("При смене базы"), box), id.db_change);
        s.confirm = named(new QCheckBox(QStringLiteral("требовать подтверждение"), box), id.confirm);
        top->addSpacing(16);
        top->addWidget(s.db_change);
        top->addSpacing(16);
        top->addWidget(s.confirm);
    }
    top->addStretch(1);
    s.components = make_button(box, id.components, QStringLiteral("Компоненты..."));
    top->addWidget(s.components);

    s.once_a_day =
        named(new QCheckBox(QStringLiteral("не сохранять при наличии копии за этот день"), box), id.once_a_day);
    s.exclusive =
        named(new QCheckBox(QStringLiteral("только при эксклюзивном доступе к базе данных"), box), id.exclusive);
    auto* flags = new QHBoxLayout;
    flags->addWidget(s.once_a_day);
    flags->addSpacing(16);
    flags->addWidget(s.exclusive);
    flags->addStretch(1);

    s.forever_box = named(new QCheckBox(QStringLiteral("вечно"), box), id.forever_box);
    s.combo = named(new QComboBox(box), id.combo);
    s.combo->setEditable(true);
    s.combo->setMinimumWidth(120);
    s.comment = named(new QLineEdit(box), id.comment);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(QStringLiteral("Срок хранения:"), box));
    bottom->addWidget(s.forever_box);
    bottom->addWidget(s.combo);
    bottom->addSpacing(16);
    bottom->addWidget(new QLabel(QStringLiteral("Комментарий:"), box));
    bottom->addWidget(s.comment, 1);

    auto* layout = new QVBoxLayout(box);
    layout->addLayout(top);
    layout->addLayout(flags);
    layout->addLayout(bottom);

    s.keep_time.emplace(s.forever_box, s.combo);
    s.keep_time->fill();
    connect(s.run, &QCheckBox::toggled, this, [this] { update_states(); });
    connect(s.forever_box, &QCheckBox::toggled, this, [this] { update_states(); });
    connect(s.components, &QPushButton::clicked, this, [this, params = s.params] {
        // The choice goes into the settings at once; a cancelled sheet drops them all.
        BackupSettings& settings = context().settings;
        choose_excluded(this, settings.components, (settings.*params).excl_comp);
    });
    return box;
}

void CAutoPage::init() {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(build(sections_[0], QStringLiteral("При входе в программу"), QStringLiteral("Выполнять"),
                            {11013, 11092, 11016, 0, 11056, 11043, 11046, 11035, 11036, 11034}));
    layout->addWidget(build(sections_[1], QStringLiteral("При выходе из программы"), QStringLiteral("Выполнять"),
                            {11014, 11093, 11017, 0, 11057, 11044, 11047, 11037, 11038, 11039}));
    layout->addWidget(build(sections_[2], QStringLiteral("По часам из программы"), QStringLiteral("Ежедневно после"),
                            {11015, 0, 0, 11011, 11058, 11045, 11048, 11040, 11041, 11042}));
    layout->addStretch(1);
    for (Section& section : sections_) load(section);
    sections_[2].hour->setValue(context().settings.save_hour);
    update_states();
}

void CAutoPage::load(Section& s) {
    const BackupSettings& settings = context().settings;
    const AutoParams& params = settings.*s.params;
    s.run->setChecked(settings.options & s.run_bit);
    if (s.db_change) s.db_change->setChecked(settings.options & s.db_change_bit);
    if (s.confirm) s.confirm->setChecked(settings.options & s.confirm_bit);
    s.once_a_day->setChecked(params.flags & AUTO_ONCE_A_DAY);
    s.exclusive->setChecked(params.flags & AUTO_DB_EXCLUSIVE);
    s.keep_time->show(params.keeptime);
    s.comment->setText(qs(params.comment));
    s.comment->setCursorPosition(0);  // a long comment shows its start
}

void CAutoPage::update_states() {
    const bool has_components = !context().settings.components.empty();
    for (Section& s : sections_) {
        const bool on = s.run->isChecked();
        // Every control and caption of the section, but for those with rules of their own.
        for (QWidget* control : s.box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (control != s.run && control != s.components && control != s.combo) control->setEnabled(on);
        s.components->setEnabled(on && has_components);
        s.keep_time->update();
    }
}

bool CAutoPage::apply() {
    int32_t days[3];
    for (int i = 0; i < 3; ++i) {
        days[i] = sections_[i].keep_time->read();
        if (days[i] == 0) return refuse(load_string(ids::NO_KEEP_TIME));
    }
    BackupSettings& settings = context().settings;
    for (int i = 0; i < 3; ++i) {
        const Section& s = sections_[i];
        const uint32_t bits = s.run_bit | s.db_change_bit | s.confirm_bit;
        settings.options &= ~bits;
        if (s.run->isChecked()) settings.options |= s.run_bit;
        if (s.db_change && s.db_change->isChecked()) settings.options |= s.db_change_bit;
        if (s.confirm && s.confirm->isChecked()) settings.options |= s.confirm_bit;
        AutoParams& params = settings.*s.params;
        params.keeptime = days[i];
        params.flags &= ~(AUTO_ONCE_A_DAY | AUTO_DB_EXCLUSIVE);
        if (s.once_a_day->isChecked()) params.flags |= AUTO_ONCE_A_DAY;
        if (s.exclusive->isChecked()) params.flags |= AUTO_DB_EXCLUSIVE;
        params.comment = ws(s.comment->text());
    }
    settings.save_hour = sections_[2].hour->value();
    return true;
}

}  // namespace bk::ui
