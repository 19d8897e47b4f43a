// "Параметры облачного хранилища": the cloud service archives are uploaded
// to, its address, the account, and whether only backups kept forever go.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "settings/settings.h"
#include "ui/widgets.h"

namespace bk::ui {

class CCloudDlg final : public CBasicDlg {
public:
    // A copy of cloud is edited.
    CCloudDlg(QWidget* parent, const CloudSettings& cloud);
    // Valid after OK.
    const CloudSettings& cloud() const { return cloud_; }

    void accept() override;

private:
    // The values as the controls give them now.
    CloudSettings shown() const;
    void apply_selection();
    void update_ok();

    CloudSettings cloud_;
    QComboBox* service_;
    QLabel* link_;
    QLineEdit* url_;
    QLineEdit* login_;
    QLineEdit* password_;
    QCheckBox* eternal_only_;
    QPushButton* ok_ = nullptr;
};

}  // namespace bk::ui
