// "Выбор компонентов": ticks components out of the defined list, for the
// components a file group or file belongs to, or for those an automatic or
// scheduled backup saves.
#pragma once
#include <string>
#include <vector>

#include "settings/settings.h"
#include "ui/widgets.h"

namespace bk::ui {

class CSelCompDlg final : public CBasicDlg {
public:
    // ticked: the identifiers ticked at the start.
    CSelCompDlg(QWidget* parent, const std::vector<Component>& components, const std::vector<std::wstring>& ticked);
    // The identifiers of the ticked rows, in list order; valid after OK.
    const std::vector<std::wstring>& ticked() const { return ticked_; }

    void accept() override;

private:
    QTreeWidget* list_;
    std::vector<std::wstring> ticked_;
};

// The dialog over a membership list; true and list replaced on OK.
bool choose_members(QWidget* parent, const std::vector<Component>& components, std::vector<std::wstring>& members);
// The dialog over a list of excluded components: the others come ticked,
// and on OK every defined component left unticked is excluded.
bool choose_excluded(QWidget* parent, const std::vector<Component>& components, std::vector<std::wstring>& excluded);

}  // namespace bk::ui
