// The choice of the archive to restore from, and the list of the files a
// restore could not put back.
#pragma once
#include <QLabel>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "tasks/restore_problem.h"
#include "ui/widgets.h"

namespace bk::ui {

class CRestoreDlg final : public CBasicDlg {
public:
    CRestoreDlg(QWidget* parent, const std::wstring& backup_folder, const Catalogue& catalogue, int32_t archiver);
    // The archive's full path after OK.
    const std::wstring& archive() const { return archive_; }

    void accept() override;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void fill();
    std::wstring extension() const;

    QTreeWidget* list_;
    std::wstring backup_folder_;
    Catalogue catalogue_;
    int32_t archiver_;
    std::wstring archive_;
    QPushButton* ok_ = nullptr;
};

class CRestoreWrnDlg final : public CBasicDlg {
public:
    CRestoreWrnDlg(QWidget* parent, const std::wstring& archive, const std::vector<RestoreProblem>& problems);
};

}  // namespace bk::ui
