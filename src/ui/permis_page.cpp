#include "ui/permis_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "core/string_table.h"
#include "rkit/decimal.h"

namespace bk::ui {
namespace {

// The pieces between commas, trimmed, without the empty ones.
std::vector<std::wstring> names_of(const QString& text) {
    std::vector<std::wstring> names;
    for (const QString& piece : text.split(QLatin1Char(',')))
        if (const QString name = piece.trimmed(); !name.isEmpty()) names.push_back(ws(name));
    return names;
}

// Only the pieces that are whole 32-bit numbers: anything else could never
// match a workplace and is dropped.
std::vector<int32_t> numbers_of(const QString& text) {
    std::vector<int32_t> numbers;
    for (const std::wstring& name : names_of(text))
        if (int32_t number = 0; rkit::parse_int32(name, number)) numbers.push_back(number);
    return numbers;
}

QString joined(const std::vector<std::wstring>& names) {
    QStringList texts;
    for (const std::wstring& name : names) texts << qs(name);
    return texts.join(QStringLiteral(", "));
}

QString joined(const std::vector<int32_t>& numbers) {
    QStringList texts;
    for (const int32_t number : numbers) texts << QString::number(number);
    return texts.join(QStringLiteral(", "));
}

// Whether the list typed in edit i (0, 1: workplaces) holds anything.
bool has_entries(int i, const QLineEdit* edit) {
    return i < 2 ? !numbers_of(edit->text()).empty() : !names_of(edit->text()).empty();
}

}  // namespace

CPermisPage::CPermisPage(CSetupSheet* sheet) : CSetupPropertyPage(sheet, 10005, QStringLiteral("Разрешения")) {}

void CPermisPage::init() {
    struct Group {
        const char* title;
        const char* explanation;
        const char* example;
        int ids[4];  // allowed edit, forbidden edit, allowed status, forbidden status
    };
    static const Group groups[] = {
        {"Номер рабочего места", "Здесь можно указать список номеров рабочих мест через запятую.",
         "Например: 1, 2, 99.", {11020, 11021, 11037, 11038}},
        {"Имя пользователя сетевой версии", "Здесь можно указать список имен пользователей через запятую.",
         "Например: Администратор, Василий, Касса.", {11026, 11027, 11039, 11040}},
        {"Рабочая станция", "Здесь можно указать список имен компьютеров через запятую.",
         "Например: BUH-1, KASSA.", {11028, 11029, 11041, 11042}},
    };
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("Здесь можно указать списки тех, кому разрешено или запрещено создавать резервные копии."), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    int edit = 0;
    for (const Group& group : groups) {
        auto* box = new QGroupBox(QString::fromUtf8(group.title), this);
        auto* grid = new QGridLayout(box);
        auto* explanation = new QLabel(QString::fromUtf8(group.explanation) + QLatin1Char('\n') +
                                           QString::fromUtf8(group.example), box);
        grid->addWidget(explanation, 0, 0, 1, 3);
        for (int row = 0; row < 2; ++row, ++edit) {
            edits_[edit] = new QLineEdit(box);
            edits_[edit]->setObjectName(QString::number(group.ids[row]));
            status_[edit] = new QLabel(box);
            status_[edit]->setObjectName(QString::number(group.ids[row + 2]));
            status_[edit]->setMinimumWidth(status_[edit]->fontMetrics().horizontalAdvance(str(ids::PERMIT_NOBODY)) + 8);
            grid->addWidget(new QLabel(row == 0 ? QStringLiteral("Разрешено:") : QStringLiteral("Запрещено:"), box),
                            row + 1, 0);
            grid->addWidget(status_[edit], row + 1, 1);
            grid->addWidget(edits_[edit], row + 1, 2);
        }
        grid->setColumnStretch(2, 1);
        layout->addWidget(box);
    }
    layout->addStretch(1);

    const BackupSettings& settings = context().settings;
    edits_[0]->setText(joined(settings.include_permission.workplaces));
    edits_[1]->setText(joined(settings.exclude_permission.workplaces));
    edits_[2]->setText(joined(settings.include_permission.logins));
    edits_[3]->setText(joined(settings.exclude_permission.logins));
    edits_[4]->setText(joined(settings.include_permission.workstations));
    edits_[5]->setText(joined(settings.exclude_permission.workstations));
    update_status();
    for (QLineEdit* edit : edits_) connect(edit, &QLineEdit::textChanged, this, [this] { update_status(); });
}

void CPermisPage::update_status() {
    for (int i = 0; i < 6; ++i) {
        const bool any = has_entries(i, edits_[i]);
        if (i % 2 == 0) status_[i]->setText(str(any ? ids::PERMIT_ONLY : ids::PERMIT_ALL));
        else status_[i]->setText(any ? QString() : str(ids::PERMIT_NOBODY));
    }
}

bool CPermisPage::apply() {
    BackupSettings& settings = context().settings;
    settings.include_permission.workplaces = numbers_of(edits_[0]->text());
    settings.exclude_permission.workplaces = numbers_of(edits_[1]->text());
    settings.include_permission.logins = names_of(edits_[2]->text());
    settings.exclude_permission.logins = names_of(edits_[3]->text());
    settings.include_permission.workstations = names_of(edits_[4]->text());
    settings.exclude_permission.workstations = names_of(edits_[5]->text());
    return true;
}

}  // namespace bk::ui
