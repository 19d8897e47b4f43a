// "Автоматическое сохранение": the backups made on entering the host
// program, on leaving it and daily by the clock, each with its own switches,
// components, keep time and comment.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <optional>

#include "ui/keep_time.h"
#include "ui/setup_sheet.h"

namespace bk::ui {

class CAutoPage final : public CSetupPropertyPage {
public:
    explicit CAutoPage(CSetupSheet* sheet);
    bool apply() override;

protected:
    void init() override;

private:
    // One kind of automatic backup. The clock has an hour instead of the
    // database switch and the confirmation.
    struct Section {
        AutoParams BackupSettings::*params;
        uint32_t run_bit, db_change_bit, confirm_bit;
        QWidget* box = nullptr;
        QCheckBox* run = nullptr;
        QCheckBox* db_change = nullptr;
        QCheckBox* confirm = nullptr;
        QSpinBox* hour = nullptr;
        QPushButton* components = nullptr;
        QCheckBox* once_a_day = nullptr;
        QCheckBox* exclusive = nullptr;
        QCheckBox* forever_box = nullptr;
        QComboBox* combo = nullptr;
        QLineEdit* comment = nullptr;
        std::optional<KeepTimeSelector> keep_time{};
    };
    struct Ids {
        int run, db_change, confirm, hour, components, once_a_day, exclusive, forever_box, combo, comment;
    };

    QWidget* build(Section& section, const QString& title, const QString& run_text, const Ids& id);
    void load(Section& section);
    void update_states();

    Section sections_[3];
};

}  // namespace bk::ui
