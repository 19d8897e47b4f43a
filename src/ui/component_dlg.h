// "Компоненты" defines the components that file groups and single files are
// saved or left out by; "Компонент" edits one of them.
#pragma once
#include <QLineEdit>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "ui/list_commands.h"
#include "ui/widgets.h"

namespace bk::ui {

class CCompListDlg final : public CBasicDlg {
public:
    // groups and files only tell which components are in use.
    CCompListDlg(QWidget* parent, const std::vector<FileGroup>& groups, const std::vector<SingleFile>& files,
                 const std::vector<Component>& components);
    // The list as edited; the caller takes it after OK.
    const std::vector<Component>& components() const { return components_; }

private:
    void on_command(int command);
    // Fills the list anew with row selected (none when out of range).
    void refill(int row);
    int selected_row() const;
    bool in_use(const std::wstring& name) const;
    void update_commands();

    std::vector<FileGroup> groups_;
    std::vector<SingleFile> files_;
    std::vector<Component> components_;
    QTreeWidget* list_;
    ListCommands* commands_;
};

class CComponentDlg final : public CBasicDlg {
public:
    // defined: the components there are, whose identifiers a new one may
    // not take; an empty identifier makes a new component.
    CComponentDlg(QWidget* parent, const std::vector<Component>& defined, const std::wstring& identifier,
                  const std::wstring& text);
    // Valid after OK.
    const std::wstring& identifier() const { return identifier_; }
    const std::wstring& text() const { return text_; }

    void accept() override;

private:
    bool acceptable() const;

    std::vector<Component> defined_;
    std::wstring opened_with_;
    std::wstring identifier_;
    std::wstring text_;
    QLineEdit* identifier_edit_;
    QLineEdit* text_edit_;
    QPushButton* ok_ = nullptr;
};

}  // namespace bk::ui
