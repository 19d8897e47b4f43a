#include "ui/message_box.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <utility>
#include <vector>

#include "core/string_table.h"
#include "tasks/user_interface.h"
#include "ui/widgets.h"

namespace bk::ui {
namespace {

// Qt's own button texts are English unless a translation is loaded, and the
// host may load none: the texts a Russian Windows gives its boxes.
QString button_text(int id) {
    switch (id) {
        case IDOK: return QStringLiteral("ОК");
        case IDCANCEL: return QStringLiteral("Отмена");
        case IDABORT: return QStringLiteral("Прервать");
        case IDRETRY: return QStringLiteral("Повторить");
        case IDIGNORE: return QStringLiteral("Пропустить");
        case IDYES: return QStringLiteral("Да");
        default: return QStringLiteral("Нет");
    }
}

std::vector<std::pair<QMessageBox::StandardButton, int>> buttons_of(uint32_t type) {
    using B = QMessageBox;
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL: return {{B::Ok, IDOK}, {B::Cancel, IDCANCEL}};
        case MB_ABORTRETRYIGNORE: return {{B::Abort, IDABORT}, {B::Retry, IDRETRY}, {B::Ignore, IDIGNORE}};
        case MB_YESNOCANCEL: return {{B::Yes, IDYES}, {B::No, IDNO}, {B::Cancel, IDCANCEL}};
        case MB_YESNO: return {{B::Yes, IDYES}, {B::No, IDNO}};
        case MB_RETRYCANCEL: return {{B::Retry, IDRETRY}, {B::Cancel, IDCANCEL}};
        default: return {{B::Ok, IDOK}};
    }
}

QMessageBox::Icon icon_of(uint32_t type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR: return QMessageBox::Critical;
        case MB_ICONQUESTION: return QMessageBox::Question;
        case MB_ICONWARNING: return QMessageBox::Warning;
        case MB_ICONINFORMATION: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

}  // namespace

int show_message_box(QWidget* owner, const std::wstring& text, uint32_t type, const QString& caption) {
    QMessageBox box(icon_of(type), caption.isEmpty() ? str(ids::APP_CAPTION) : caption, qs(text),
                    QMessageBox::NoButton, owner);
    const auto buttons = buttons_of(type);
    const size_t default_index = (type & MB_DEFMASK) >> 8;
    QAbstractButton* escape = nullptr;
    for (size_t i = 0; i < buttons.size(); ++i) {
        QPushButton* button = box.addButton(buttons[i].first);
        button->setObjectName(QString::number(buttons[i].second));
        button->setText(button_text(buttons[i].second));
        if (i == default_index) box.setDefaultButton(button);
        // Esc and the close box mean Cancel where there is one; a lone OK is its own escape.
        if (buttons[i].second == IDCANCEL || buttons.size() == 1) escape = button;
    }
    if (escape) box.setEscapeButton(escape);
    box.exec();
    if (QAbstractButton* clicked = box.clickedButton()) return clicked->objectName().toInt();
    return escape ? escape->objectName().toInt() : IDCANCEL;
}

}  // namespace bk::ui
