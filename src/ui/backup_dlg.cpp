#include "ui/backup_dlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

namespace bk::ui {
namespace {

// The list's height with five components or more; fewer keep its upper half.
constexpr int kListHeight = 180;

}  // namespace

CBackupDlg::CBackupDlg(QWidget* parent, const std::vector<Component>& components, const AutoParams& params)
    : CBasicDlg(10002, QStringLiteral("Сохранение резервной копии"), parent),
      list_(new QTreeWidget(this)),
      combo_(new QComboBox(this)),
      forever_(new QCheckBox(QStringLiteral("Вечно"), this)),
      comment_(new QLineEdit(this)),
      keep_time_(forever_, combo_),
      components_(components),
      params_(params) {
    list_->setObjectName(QStringLiteral("11034"));
    combo_->setObjectName(QStringLiteral("11001"));
    combo_->setEditable(true);
    forever_->setObjectName(QStringLiteral("11002"));
    comment_->setObjectName(QStringLiteral("11000"));
    comment_->setText(qs(params_.comment));

    auto* keep_box = new QGroupBox(QStringLiteral("Срок хранения"), this);
    auto* keep_row = new QHBoxLayout(keep_box);
    keep_row->addWidget(forever_);
    keep_row->addWidget(combo_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // the dialog shrinks with the list
    layout->addWidget(new QLabel(QStringLiteral("Комментарий"), this));
    layout->addWidget(comment_);
    layout->addWidget(keep_box);
    layout->addWidget(list_);
    layout->addLayout(ok_cancel_row(this, &ok_));
    comment_->setMinimumWidth(420);

    keep_time_.fill();
    keep_time_.show(params_.keeptime);

    list_->setHeaderHidden(true);
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setColumnCount(1);
    for (const Component& component : components_) {
        auto* row = new QTreeWidgetItem(list_, QStringList{qs(component.display_text)});
        row->setData(0, Qt::UserRole, qs(component.name));
        const bool excluded = std::find(params_.excl_comp.begin(), params_.excl_comp.end(), component.name) !=
                              params_.excl_comp.end();
        row->setCheckState(0, excluded ? Qt::Unchecked : Qt::Checked);
    }
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->setFixedHeight(components_.size() < 5 ? kListHeight / 2 : kListHeight);
    list_->setVisible(!components_.empty());

    connect(forever_, &QCheckBox::clicked, this, &CBackupDlg::on_keep_time_changed);
    connect(combo_, &QComboBox::currentIndexChanged, this, &CBackupDlg::on_keep_time_changed);
    connect(combo_, &QComboBox::editTextChanged, this, &CBackupDlg::on_keep_time_changed);
    on_keep_time_changed();
}

void CBackupDlg::on_keep_time_changed() { ok_->setEnabled(keep_time_.update() != 0); }

void CBackupDlg::accept() {
    const int32_t keeptime = keep_time_.read();
    if (keeptime == 0) return;
    params_.comment = ws(comment_->text());
    params_.keeptime = keeptime;
    params_.excl_comp.clear();
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = list_->topLevelItem(i);
        if (row->checkState(0) != Qt::Checked) params_.excl_comp.push_back(ws(row->data(0, Qt::UserRole).toString()));
    }
    CBasicDlg::accept();
}

}  // namespace bk::ui
