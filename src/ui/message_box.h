// MessageBoxW on Qt: the buttons, icon and default button of the MB_ type,
// and the answer as the ID value.
#pragma once
#include <QWidget>
#include <cstdint>
#include <string>

namespace bk::ui {

// Shown modally over owner with the caption "Резервное копирование" unless
// another is given. Each button's objectName is its answer ("1" for OK, "2"
// for Cancel, ...).
int show_message_box(QWidget* owner, const std::wstring& text, uint32_t type, const QString& caption = {});

}  // namespace bk::ui
