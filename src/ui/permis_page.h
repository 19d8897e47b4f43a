// "Разрешения": who may make backups, by workplace number, by the user name
// of the network version and by computer name; each as an allowed and a
// forbidden list typed with commas.
#pragma once
#include <QLabel>
#include <QLineEdit>

#include "ui/setup_sheet.h"

namespace bk::ui {

class CPermisPage final : public CSetupPropertyPage {
public:
    explicit CPermisPage(CSetupSheet* sheet);
    bool apply() override;

protected:
    void init() override;

private:
    void update_status();

    // Workplaces, logins and workstations; the allowed edit before the forbidden one.
    QLineEdit* edits_[6] = {};
    QLabel* status_[6] = {};
};

}  // namespace bk::ui
