// The settings sheet and the base of its pages. A page builds its controls
// when it is first shown; on OK every page that was shown checks and stores
// its controls, and the first that refuses stays in front with the sheet open.
#pragma once
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "tasks/user_interface.h"
#include "ui/widgets.h"

namespace bk::ui {

class CSetupSheet;

class CSetupPropertyPage : public QWidget {
public:
    CSetupPropertyPage(CSetupSheet* sheet, int template_id, const QString& caption);
    int template_id() const { return template_id_; }
    const QString& caption() const { return caption_; }
    bool opened() const { return opened_; }

    // Builds and loads the controls; once, when the page is first shown.
    void open();
    // Checks and stores the controls; false keeps the sheet open.
    virtual bool apply() { return true; }

protected:
    virtual void init() = 0;
    SetupContext& context() const;
    CSetupSheet& sheet() const { return *sheet_; }
    // Makes page (this page by default) the one in front and shows text
    // with the sheet's caption and the exclamation icon; returns false, the
    // answer of a refusing apply.
    bool refuse(const std::wstring& text, CSetupPropertyPage* page = nullptr);

private:
    CSetupSheet* sheet_;
    int template_id_;
    QString caption_;
    bool opened_ = false;
};

class CSetupSheet final : public CBasicPropertySheet {
public:
    CSetupSheet(QWidget* parent, SetupContext& context);
    SetupContext& context() const { return context_; }

    void activate(CSetupPropertyPage* page);
    // The page with that template id.
    CSetupPropertyPage* page(int template_id) const;
    // The archive password as the user sees it now: the archiver page's
    // edit once that page was shown, else the stored one.
    std::wstring archive_password() const;

    void accept() override;

private:
    void add_page(CSetupPropertyPage* page);

    SetupContext& context_;
    std::vector<CSetupPropertyPage*> pages_;
};

}  // namespace bk::ui
