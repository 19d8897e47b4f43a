#include "ui/sel_comp_dlg.h"

#include <QHeaderView>
#include <QVBoxLayout>
#include <algorithm>

namespace bk::ui {
namespace {

bool contains(const std::vector<std::wstring>& names, const std::wstring& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

CSelCompDlg::CSelCompDlg(QWidget* parent, const std::vector<Component>& components,
                         const std::vector<std::wstring>& ticked)
    : CBasicDlg(10020, QStringLiteral("Выбор компонентов"), parent), list_(new QTreeWidget(this)), ticked_(ticked) {
    list_->setObjectName(QStringLiteral("11034"));
    list_->setColumnCount(1);
    list_->setHeaderHidden(true);
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (const Component& component : components) {
        auto* row = new QTreeWidgetItem(list_, QStringList{qs(component.display_text)});
        row->setData(0, Qt::UserRole, qs(component.name));
        row->setCheckState(0, contains(ticked, component.name) ? Qt::Checked : Qt::Unchecked);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(ok_cancel_row(this));
    resize(360, 300);
}

void CSelCompDlg::accept() {
    ticked_.clear();
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = list_->topLevelItem(i);
        if (row->checkState(0) == Qt::Checked) ticked_.push_back(ws(row->data(0, Qt::UserRole).toString()));
    }
    CBasicDlg::accept();
}

bool choose_members(QWidget* parent, const std::vector<Component>& components, std::vector<std::wstring>& members) {
    CSelCompDlg dialog(parent, components, members);
    if (dialog.exec() != QDialog::Accepted) return false;
    members = dialog.ticked();
    return true;
}

bool choose_excluded(QWidget* parent, const std::vector<Component>& components, std::vector<std::wstring>& excluded) {
    std::vector<std::wstring> saved;
    for (const Component& component : components)
        if (!contains(excluded, component.name)) saved.push_back(component.name);
    CSelCompDlg dialog(parent, components, saved);
    if (dialog.exec() != QDialog::Accepted) return false;
    excluded.clear();
    for (const Component& component : components)
        if (!contains(dialog.ticked(), component.name)) excluded.push_back(component.name);
    return true;
}

}  // namespace bk::ui
