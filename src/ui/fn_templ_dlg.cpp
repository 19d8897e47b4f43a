#include "ui/fn_templ_dlg.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <span>

#include "settings/filename_template.h"

namespace bk::ui {
namespace {

struct MacroButton {
    int id;
    const char* name;
    const char* explanation;
};

const MacroButton date_macros[] = {
    {11055, "DATE", "- дата в формате YYYY_MM_DD "},
    {11056, "TIME", "- время в формате HH_MM_SS"},
    {11057, "SHORT_TIME", "- время в формате HH_MM"},
    {11058, "YEAR", "- год четырьмя цифрами"},
    {11059, "SHORT_YEAR", "- год двумя цифрами"},
    {11060, "MONTH", "- месяц цифрами"},
    {11061, "MONTH_STR", "- месяц трехбуквенным обозначением"},
    {11062, "DAY", "- число месяца"},
    {11063, "WEEKDAY", "- день недели трехбукв. обозначением"},
    {11064, "HOUR", "- часы"},
    {11065, "MIN", "- минуты"},
    {11066, "SEC", "- секунды"},
};
const MacroButton version_macros[] = {
    {11067, "VERTYPE", "- тип версии программы"},
    {11068, "VERFAMILY", "- семейство версии программы"},
};
const MacroButton other_macros[] = {
    {11069, "WORKPLACE", "- номер рабочего места"},
    {11070, "WORKSTATION", "- имя компьютера"},
    {11071, "USER", "- имя пользователя"},
    {11072, "DB", "- имя базы данных"},
    {11073, "SHORT_DB", "- имя базы данных без расширения"},
};

}  // namespace

CFnTemplDlg::CFnTemplDlg(QWidget* parent, const std::wstring& templ, const HostIdentity& identity)
    : CBasicDlg(10019, QStringLiteral("Шаблон имени файла архива"), parent),
      example_(new QLineEdit(this)),
      template_(new QLineEdit(this)),
      identity_(identity),
      templ_(templ) {
    example_->setObjectName(QStringLiteral("11053"));
    example_->setReadOnly(true);
    template_->setObjectName(QStringLiteral("11054"));

    const auto group = [this](const QString& title, std::span<const MacroButton> macros) {
        auto* box = new QGroupBox(title, this);
        auto* grid = new QGridLayout(box);
        int row = 0;
        for (const MacroButton& macro : macros) {
            const QString name = QString::fromLatin1(macro.name);
            QPushButton* button = make_button(box, macro.id, name);
            connect(button, &QPushButton::clicked, this, [this, name] { insert_macro(name); });
            grid->addWidget(button, row, 0);
            grid->addWidget(new QLabel(QString::fromUtf8(macro.explanation), box), row++, 1);
        }
        grid->setColumnStretch(1, 1);
        grid->setRowStretch(row, 1);
        return box;
    };
    auto* right = new QVBoxLayout;
    right->addWidget(group(QStringLiteral("Версия"), version_macros));
    right->addWidget(group(QStringLiteral("Прочее"), other_macros), 1);
    auto* groups = new QHBoxLayout;
    groups->addWidget(group(QStringLiteral("Дата и время"), date_macros), 1);
    groups->addLayout(right, 1);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Пример:"), this), 0, 0);
    fields->addWidget(example_, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("Шаблон:"), this), 1, 0);
    fields->addWidget(template_, 1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(groups);
    layout->addLayout(ok_cancel_row(this));

    template_->setText(qs(templ_));
    connect(template_, &QLineEdit::textChanged, this, &CFnTemplDlg::refresh_example);
    refresh_example();
}

void CFnTemplDlg::refresh_example() {
    example_->setText(qs(expand_filename_template(ws(template_->text()), identity_)));
}

void CFnTemplDlg::insert_macro(const QString& name) {
    const QString macro = QLatin1Char('%') + name + QLatin1Char('%');
    QString text = template_->text();
    int at = text.indexOf(macro);
    if (at < 0) {
        // Before the selection, which stays: the user may have marked text to keep, not to replace.
        at = template_->hasSelectedText() ? template_->selectionStart() : template_->cursorPosition();
        text.insert(at, macro);
        template_->setText(text);
    }
    template_->setFocus();
    template_->setSelection(at, int(macro.size()));
}

void CFnTemplDlg::accept() {
    templ_ = ws(template_->text());
    CBasicDlg::accept();
}

}  // namespace bk::ui
