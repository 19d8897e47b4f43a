#include "ui/keep_time.h"

#include <QLineEdit>
#include <QSignalBlocker>

#include "core/string_table.h"
#include "rkit/decimal.h"
#include "catalogue/catalogue.h"
#include "ui/widgets.h"

namespace bk::ui {

void KeepTimeSelector::fill() {
    const QSignalBlocker quiet(combo_);
    combo_->setInsertPolicy(QComboBox::NoInsert);  // Enter must not add what was typed as a choice
    combo_->addItem(str(ids::KEEP_WEEK), 7);
    combo_->addItem(str(ids::KEEP_MONTH), 30);
    combo_->addItem(str(ids::KEEP_3_MONTHS), 90);
    combo_->addItem(str(ids::KEEP_YEAR), 365);
}

void KeepTimeSelector::show(int32_t keeptime) {
    const QSignalBlocker quiet_box(forever_), quiet_combo(combo_);
    if (keeps_forever(keeptime)) {
        forever_->setChecked(true);
        combo_->setCurrentIndex(-1);
        combo_->clearEditText();
        return;
    }
    forever_->setChecked(false);
    const int index = combo_->findData(keeptime);
    combo_->setCurrentIndex(index);
    if (index < 0) combo_->setEditText(QString::number(keeptime));
}

int32_t KeepTimeSelector::read() const {
    if (forever_->isChecked()) return KEEP_FOREVER;
    const int index = combo_->currentIndex();
    // A choice counts only while the edit field still shows it: typing over
    // it makes the typed number the keep time.
    if (index >= 0 && combo_->itemText(index) == combo_->currentText()) return combo_->itemData(index).toInt();
    int32_t days = 0;
    if (!rkit::parse_int32(ws(combo_->currentText()), days)) return 0;
    return days;
}

int32_t KeepTimeSelector::update() {
    const int32_t keeptime = read();
    if (keeptime == KEEP_FOREVER) {
        const QSignalBlocker quiet(combo_);
        combo_->setCurrentIndex(-1);
        combo_->clearEditText();
    }
    combo_->setEnabled(forever_->isEnabled() && keeptime != KEEP_FOREVER);
    return keeptime;
}

}  // namespace bk::ui
