// "Шаблон имени файла архива": the archive name template with a live
// example and a button for each macro.
#pragma once
#include <QLineEdit>
#include <string>

#include "core/host_params.h"
#include "ui/widgets.h"

namespace bk::ui {

class CFnTemplDlg final : public CBasicDlg {
public:
    // identity: the host the example is made for.
    CFnTemplDlg(QWidget* parent, const std::wstring& templ, const HostIdentity& identity);
    // The template as typed; valid after OK.
    const std::wstring& templ() const { return templ_; }

    void accept() override;

private:
    void refresh_example();
    void insert_macro(const QString& name);

    QLineEdit* example_;
    QLineEdit* template_;
    HostIdentity identity_;
    std::wstring templ_;
};

}  // namespace bk::ui
