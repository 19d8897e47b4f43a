// The dialog before a backup made on the user's request: a comment, the keep
// time, and the components this backup leaves out.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>
#include <vector>

#include "settings/settings.h"
#include "ui/keep_time.h"
#include "ui/widgets.h"

namespace bk::ui {

class CBackupDlg final : public CBasicDlg {
public:
    // params is a copy; the caller takes params() back only on OK.
    CBackupDlg(QWidget* parent, const std::vector<Component>& components, const AutoParams& params);
    const AutoParams& params() const { return params_; }

    void accept() override;

private:
    void on_keep_time_changed();

    QTreeWidget* list_;
    QComboBox* combo_;
    QCheckBox* forever_;
    QLineEdit* comment_;
    QPushButton* ok_ = nullptr;
    KeepTimeSelector keep_time_;
    std::vector<Component> components_;
    AutoParams params_;
};

}  // namespace bk::ui
