// The editors of the files page's list: which kind to add ("Добавление"),
// a file group and a single file. Both editors show where the item lies in
// the host's current configuration and take no item that is not there.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <string>
#include <vector>

#include "core/host_params.h"
#include "settings/settings.h"
#include "ui/widgets.h"

namespace bk::ui {

class CFileGroupOrFileDlg final : public CBasicDlg {
public:
    explicit CFileGroupOrFileDlg(QWidget* parent);
    // 0 for a file group (the default), 1 for a single file.
    int choice() const { return single_->isChecked() ? 1 : 0; }

private:
    QRadioButton* single_;
};

class MembersRow;

class CFileGroupDlg final : public CBasicDlg {
public:
    CFileGroupDlg(QWidget* parent, bool is_new, const BasicFolders& folders, const std::vector<Component>& components,
                  const FileGroup& group);
    // Valid after OK.
    const FileGroup& group() const { return group_; }

    void accept() override;

private:
    void update_full_path();
    // The folder the relative path starts from; empty when it cannot be told.
    std::wstring base_folder() const;
    void choose_relative_path();
    // False, after telling the user, when list holds a mask that cannot be used.
    bool masks_valid(const QLineEdit* list);

    BasicFolders folders_;
    std::vector<Component> components_;
    FileGroup group_;
    QComboBox* basic_;
    QLineEdit* relative_;
    QPushButton* browse_;
    QCheckBox* recursive_;
    QLineEdit* extract_;
    QLineEdit* full_path_;
    MembersRow* members_;
    QLineEdit* include_;
    QLineEdit* exclude_;
    QLineEdit* comment_;
    QPushButton* ok_ = nullptr;
};

class CSingleFileDlg final : public CBasicDlg {
public:
    CSingleFileDlg(QWidget* parent, bool is_new, const BasicFolders& folders, const FileLocations& locations,
                   const std::vector<Component>& components, const SingleFile& file);
    // Valid after OK.
    const SingleFile& file() const { return file_; }

    void accept() override;

private:
    // The full path of the file the combo names, whether it exists or not;
    // empty when none can be made.
    std::wstring named_file() const;
    void update_full_path();
    void choose_file();

    BasicFolders folders_;
    FileLocations locations_;
    std::vector<Component> components_;
    SingleFile file_;
    QComboBox* path_;
    QLineEdit* extract_;
    QLineEdit* full_path_;
    MembersRow* members_;
    QLineEdit* comment_;
    QPushButton* ok_ = nullptr;
};

}  // namespace bk::ui
