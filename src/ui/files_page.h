// "Файлы": where archives go, the removable medium, the cloud upload, the
// archive name, the command after a backup, and the file groups and single
// files a backup saves.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>

#include "ui/list_commands.h"
#include "ui/setup_sheet.h"

namespace bk::ui {

class CFilesPage final : public CSetupPropertyPage {
public:
    explicit CFilesPage(CSetupSheet* sheet);
    bool apply() override;

protected:
    void init() override;
};

}  // namespace bk::ui
