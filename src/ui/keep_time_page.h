// "Срок хранения": how long a backup stays in the catalogue by default, how
// many expired ones survive, and the longer keep time of the last backup of
// each week and month.
#pragma once
#include <QCheckBox>
#include <QSpinBox>
#include <vector>

#include "ui/keep_time.h"
#include "ui/setup_sheet.h"

namespace bk::ui {

class CKeepTimePage final : public CSetupPropertyPage {
public:
    explicit CKeepTimePage(CSetupSheet* sheet);
    bool apply() override;

protected:
    void init() override;

private:
    void update_states();

    QSpinBox* expired_limit_ = nullptr;
    QCheckBox* week_ = nullptr;
    QCheckBox* month_ = nullptr;
    QCheckBox* week_forever_ = nullptr;
    QCheckBox* month_forever_ = nullptr;
    // The default, the week's and the month's keep time, in this order.
    std::vector<KeepTimeSelector> keep_times_;
};

}  // namespace bk::ui
