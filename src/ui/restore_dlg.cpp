#include "ui/restore_dlg.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMimeData>
#include <QUrl>
#include <QVBoxLayout>

#include "archivers/archiver.h"
#include "core/string_table.h"
#include "rkit/clock.h"
#include "rkit/path.h"
#include "rkit/text.h"

namespace bk::ui {
namespace {

// Icons of the rows of the restore list.
constexpr int kOtherFileIcon = 10007, kBackupIcon = 10008, kExpiredIcon = 10009, kForeverIcon = 10010;
constexpr int kWarningIcon = 10016;

}  // namespace

CRestoreDlg::CRestoreDlg(QWidget* parent, const std::wstring& backup_folder, const Catalogue& catalogue,
                         int32_t archiver)
    : CBasicDlg(10003, QStringLiteral("Восстановление из резервной копии"), parent),
      list_(new QTreeWidget(this)),
      backup_folder_(backup_folder),
      catalogue_(catalogue),
      archiver_(archiver == ARCHIVER_DEFAULT ? ARCHIVER_7ZIP : archiver) {
    list_->setObjectName(QStringLiteral("11003"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(ok_cancel_row(this, &ok_));
    resize(900, 420);
    setAcceptDrops(true);

    report_list(list_, {ids::COL_BACKUP_FILE, ids::COL_CREATED, ids::COL_KEEP_TIME, ids::COL_WORKPLACE,
                         ids::COL_DATABASE, ids::COL_USER, ids::COL_COMPUTER, ids::COL_COMMENT});
    fill();
    widen_to_columns(this, list_);
    connect(list_, &QTreeWidget::itemSelectionChanged, this,
            [this] { ok_->setEnabled(!list_->selectedItems().isEmpty()); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { accept(); });
    ok_->setEnabled(!list_->selectedItems().isEmpty());
}

void CRestoreDlg::fill() {
    const rkit::date today = rkit::clock::now().get_date();
    QTreeWidgetItem* last = nullptr;
    for (const BackupRecord& record : catalogue_) {
        const int workplace = record.identity.workplace;
        last = new QTreeWidgetItem(list_, QStringList{
            qs(record.filename), qs(creation_time_text(record)), qs(keep_time_text(record)),
            workplace > 0 ? QString::number(workplace) : QString(), qs(record.identity.dbname),
            qs(record.identity.username), qs(record.identity.computer), qs(record.comment)});
        const int icon = keeps_forever(record.keeptime)   ? kForeverIcon
                         : is_expired(record, today) ? kExpiredIcon
                                                         : kBackupIcon;
        last->setIcon(0, module_icon(icon));
    }
    auto* other = new QTreeWidgetItem(list_, QStringList{str(ids::CHOOSE_OTHER_FILE)});
    other->setIcon(0, module_icon(kOtherFileIcon));
    fit_columns(list_);
    if (last) {
        list_->scrollToItem(last);
        list_->setCurrentItem(last);
        list_->setFocus();
    }
}

std::wstring CRestoreDlg::extension() const { return archiver_extension(archiver_); }

void CRestoreDlg::accept() {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) return;
    const int row = list_->indexOfTopLevelItem(selected.front());
    if (row >= 0 && static_cast<size_t>(row) < catalogue_.size()) {
        archive_ = rkit::concat_path(backup_folder_, catalogue_[static_cast<size_t>(row)].filename);
        CBasicDlg::accept();
        return;
    }
    QFileDialog chooser(this, QString(), qs(backup_folder_),
                        qt_filter(format_string(ids::ARCHIVE_FILE_FILTER,
                                                {archiver_name(archiver_), L"*" + extension()})));
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
    archive_ = ws(chooser.selectedFiles().front());
    CBasicDlg::accept();
}

void CRestoreDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CRestoreDlg::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) return;
    const std::wstring path = ws(urls.front().toLocalFile());
    if (!rkit::equal_no_case(rkit::extract_ext(path), extension())) return;
    event->acceptProposedAction();
    archive_ = path;
    CBasicDlg::accept();
}

CRestoreWrnDlg::CRestoreWrnDlg(QWidget* parent, const std::wstring& archive,
                               const std::vector<RestoreProblem>& problems)
    : CBasicDlg(10018, QStringLiteral("Предупреждения"), parent) {
    auto* heading = new QLabel(qs(format_string(ids::RESTORE_PROBLEMS, {rkit::extract_name_ext(archive)})), this);
    heading->setObjectName(QStringLiteral("11052"));
    heading->setWordWrap(true);
    auto* list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("11051"));
    report_list(list, {ids::COL_FILE, ids::COL_REASON, ids::COL_SYSTEM_ERROR});
    const QIcon icon = module_icon(kWarningIcon);
    for (const RestoreProblem& problem : problems) {
        auto* row = new QTreeWidgetItem(
            list, QStringList{qs(problem.file), qs(problem.message), qs(problem.system_error_text)});
        row->setIcon(0, icon);
    }
    fit_columns(list);
    QPushButton* ok = make_button(this, 1, QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(list, 1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(ok);
    layout->addLayout(row);
    resize(800, 330);
    widen_to_columns(this, list);
}

}  // namespace bk::ui
