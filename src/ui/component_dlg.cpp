#include "ui/component_dlg.h"

#include <QLabel>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "core/string_table.h"

namespace bk::ui {
namespace {

// Component lists are written into settings and command lines separated by
// these; an identifier holding one would split in two.
constexpr wchar_t kForbidden[] = L",;\"' \t\n";

bool names(const std::vector<std::wstring>& members, const std::wstring& name) {
    return std::find(members.begin(), members.end(), name) != members.end();
}

}  // namespace

CCompListDlg::CCompListDlg(QWidget* parent, const std::vector<FileGroup>& groups, const std::vector<SingleFile>& files,
                           const std::vector<Component>& components)
    : CBasicDlg(10021, QStringLiteral("Компоненты"), parent),
      groups_(groups),
      files_(files),
      components_(components),
      list_(new QTreeWidget(this)),
      commands_(new ListCommands(list_,
                                 {CMD_LIST_ADD, CMD_LIST_EDIT, CMD_LIST_DELETE, MENU_SEPARATOR, CMD_LIST_UP,
                                  CMD_LIST_DOWN},
                                 [this](int command) { on_command(command); })) {
    list_->setObjectName(QStringLiteral("11034"));
    report_list(list_, {ids::COL_COMPONENT_ID, ids::COL_COMPONENT_TEXT});
    QToolBar* toolbar = commands_->make_toolbar(
        this, 11026, {CMD_LIST_ADD, CMD_LIST_EDIT, CMD_LIST_DELETE, CMD_LIST_UP, CMD_LIST_DOWN});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Определите компоненты для объединения групп файлов:"), this));
    layout->addWidget(toolbar);
    layout->addWidget(list_, 1);
    layout->addLayout(ok_cancel_row(this));
    resize(420, 320);

    connect(list_, &QTreeWidget::itemSelectionChanged, this, &CCompListDlg::update_commands);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { on_command(CMD_LIST_EDIT); });
    refill(components_.empty() ? -1 : 0);
}

int CCompListDlg::selected_row() const {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    return selected.isEmpty() ? -1 : list_->indexOfTopLevelItem(selected.front());
}

bool CCompListDlg::in_use(const std::wstring& name) const {
    return std::any_of(groups_.begin(), groups_.end(), [&](const FileGroup& g) { return names(g.components, name); }) ||
           std::any_of(files_.begin(), files_.end(), [&](const SingleFile& f) { return names(f.components, name); });
}

void CCompListDlg::refill(int row) {
    list_->clear();
    for (const Component& component : components_)
        new QTreeWidgetItem(list_, QStringList{qs(component.name), qs(component.display_text)});
    fit_columns(list_);
    if (QTreeWidgetItem* item = list_->topLevelItem(row)) {
        list_->setCurrentItem(item);
        list_->scrollToItem(item);
    }
    update_commands();
}

void CCompListDlg::update_commands() {
    const int count = static_cast<int>(components_.size());
    const int row = std::min(selected_row(), count - 1);  // the list may still show a removed row
    commands_->set_enabled(CMD_LIST_EDIT, row >= 0);
    commands_->set_enabled(CMD_LIST_DELETE, row >= 0 && !in_use(components_[row].name));
    commands_->set_enabled(CMD_LIST_UP, row > 0);
    commands_->set_enabled(CMD_LIST_DOWN, row >= 0 && row + 1 < count);
}

void CCompListDlg::on_command(int command) {
    const int row = selected_row();
    const int count = static_cast<int>(components_.size());
    switch (command) {
    case CMD_LIST_ADD: {
        CComponentDlg dialog(this, components_, {}, {});
        if (dialog.exec() != QDialog::Accepted) return;
        components_.push_back({dialog.identifier(), dialog.text()});
        refill(count);
        return;
    }
    case CMD_LIST_EDIT: {
        if (row < 0) return;
        Component& component = components_[row];
        CComponentDlg dialog(this, components_, component.name, component.display_text);
        if (dialog.exec() != QDialog::Accepted) return;
        component = {dialog.identifier(), dialog.text()};
        refill(row);
        return;
    }
    case CMD_LIST_DELETE:
        // Groups and files name their components: one still named must stay.
        if (row < 0 || in_use(components_[row].name)) return;
        components_.erase(components_.begin() + row);
        refill(std::min(row, count - 2));
        return;
    case CMD_LIST_UP:
    case CMD_LIST_DOWN: {
        const int other = command == CMD_LIST_UP ? row - 1 : row + 1;
        if (row < 0 || other < 0 || other >= count) return;
        std::swap(components_[row], components_[other]);
        refill(other);
        return;
    }
    default:
        return;
    }
}

CComponentDlg::CComponentDlg(QWidget* parent, const std::vector<Component>& defined, const std::wstring& identifier,
                             const std::wstring& text)
    : CBasicDlg(10023, QStringLiteral("Компонент"), parent),
      defined_(defined),
      opened_with_(identifier),
      identifier_(identifier),
      text_(text),
      identifier_edit_(new QLineEdit(qs(identifier), this)),
      text_edit_(new QLineEdit(qs(text), this)) {
    identifier_edit_->setObjectName(QStringLiteral("11062"));
    text_edit_->setObjectName(QStringLiteral("11063"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Идентификатор"), this));
    layout->addWidget(identifier_edit_);
    layout->addWidget(new QLabel(QStringLiteral("Отображаемый текст"), this));
    layout->addWidget(text_edit_);
    layout->addLayout(ok_cancel_row(this, &ok_));
    text_edit_->setMinimumWidth(300);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    if (!identifier.empty()) {
        // Groups and files refer to the identifier: an existing component keeps it.
        identifier_edit_->setReadOnly(true);
        QWidget* cancel = findChild<QPushButton*>(QStringLiteral("2"));
        setTabOrder(text_edit_, ok_);
        setTabOrder(ok_, cancel);
        setTabOrder(cancel, identifier_edit_);
        text_edit_->setFocus();
    }
    const auto update = [this] { ok_->setEnabled(acceptable()); };
    connect(identifier_edit_, &QLineEdit::textChanged, this, update);
    connect(text_edit_, &QLineEdit::textChanged, this, update);
    update();
}

bool CComponentDlg::acceptable() const {
    const std::wstring identifier = ws(identifier_edit_->text());
    if (identifier.empty() || identifier.find_first_of(kForbidden) != std::wstring::npos) return false;
    const bool taken = std::any_of(defined_.begin(), defined_.end(),
                                   [&](const Component& component) { return component.name == identifier; });
    return (identifier == opened_with_ || !taken) && !text_edit_->text().isEmpty();
}

void CComponentDlg::accept() {
    if (!acceptable()) return;
    identifier_ = ws(identifier_edit_->text());
    text_ = ws(text_edit_->text());
    CBasicDlg::accept();
}

}  // namespace bk::ui
