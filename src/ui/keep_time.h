// The keep-time selector: a "Вечно" check box and a combo box of keep times
// with an edit field, used the same way by the backup dialog and the pages
// that set a keep time.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <cstdint>

namespace bk::ui {

class KeepTimeSelector {
public:
    KeepTimeSelector(QCheckBox* forever_box, QComboBox* combo) : forever_(forever_box), combo_(combo) {}

    // The four choices, each with its days as Qt::UserRole data.
    void fill();
    // -1 ticks "Вечно" and empties the combo; a number of days selects its
    // choice, or stands in the edit field when no choice has it.
    void show(int32_t keeptime);
    // -1, the days of the chosen item, or the typed whole number; 0 when
    // what is typed is no 32-bit number.
    int32_t read() const;
    // read(), emptying the combo for -1 and enabling it only for a keep time
    // in days while "Вечно" itself is enabled.
    int32_t update();

private:
    QCheckBox* forever_;
    QComboBox* combo_;
};

}  // namespace bk::ui
