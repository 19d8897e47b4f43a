// "Файлы": where archives go, the removable medium, the cloud upload, the
// archive name, the command after a backup, and the file groups and single
// files a backup saves.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "settings/settings.h"
#include "ui/list_commands.h"
#include "ui/setup_sheet.h"

namespace bk::ui {

class CFilesPage final : public CSetupPropertyPage {
public:
    explicit CFilesPage(CSetupSheet* sheet);
    bool apply() override;

protected:
    void init() override;

private:
    // A row of the list: a group, a single file, or the last "<добавить...>".
    enum class RowKind { group, file, add };
    struct Row {
        RowKind kind = RowKind::add;
        size_t index = 0;  // in file_groups or single_files
    };

    void build();
    void load();
    void update_enabled();
    void update_folder_tip();
    void fill_list(int select = -1);
    Row selected_row() const;
    void update_toolbar();
    void on_command(int command);
    void on_activated(QTreeWidgetItem* item);
    void add_item();
    void edit_item(Row row);
    void delete_item(Row row);
    void move_item(Row row, int step);
    int list_row(RowKind kind, size_t index) const;
    void choose_backup_folder();
    void choose_removable_folder();
    void edit_template();
    void edit_components();
    void edit_cloud();
    bool check_cloud();

    QLineEdit* backup_folder_ = nullptr;
    QCheckBox* removable_ = nullptr;
    QComboBox* removable_path_ = nullptr;
    QPushButton* removable_browse_ = nullptr;
    QCheckBox* ask_removable_ = nullptr;
    QCheckBox* cloud_box_ = nullptr;
    QPushButton* cloud_button_ = nullptr;
    QLineEdit* template_ = nullptr;
    QCheckBox* show_in_explorer_ = nullptr;
    QLineEdit* cmdline_ = nullptr;
    QTreeWidget* list_ = nullptr;
    ListCommands* commands_ = nullptr;
    CloudSettings cloud_;
    bool password_warned_ = false;
};

}  // namespace bk::ui
