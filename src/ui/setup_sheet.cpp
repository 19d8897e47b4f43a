#include "ui/setup_sheet.h"

#include <QLineEdit>
#include <QVBoxLayout>

#include "core/string_table.h"
#include "ui/archiver_page.h"
#include "ui/auto_page.h"
#include "ui/files_page.h"
#include "ui/sheduler_page.h"
#include "ui/keep_time_page.h"
#include "ui/message_box.h"
#include "ui/permis_page.h"

namespace bk::ui {
namespace {

constexpr int ARCHIVER_PAGE = 10017;
constexpr int PASSWORD_EDIT = 11087;

}  // namespace

CSetupPropertyPage::CSetupPropertyPage(CSetupSheet* sheet, int template_id, const QString& caption)
    : QWidget(sheet->tabs()), sheet_(sheet), template_id_(template_id), caption_(caption) {
    setObjectName(QString::number(template_id));
}

void CSetupPropertyPage::open() {
    if (opened_) return;
    opened_ = true;
    init();
}

SetupContext& CSetupPropertyPage::context() const { return sheet_->context(); }

bool CSetupPropertyPage::refuse(const std::wstring& text, CSetupPropertyPage* page) {
    sheet_->activate(page ? page : this);
    show_message_box(sheet_, text, MB_OK | MB_ICONWARNING, str(ids::SETTINGS_CAPTION));
    return false;
}

CSetupSheet::CSetupSheet(QWidget* parent, SetupContext& context) : CBasicPropertySheet(parent), context_(context) {
    add_page(new CFilesPage(this));
    add_page(new CKeepTimePage(this));
    add_page(new CAutoPage(this));
    add_page(new CShedulerPage(this));
    add_page(new CPermisPage(this));
    add_page(new CArchiverPage(this));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs());
    layout->addLayout(ok_cancel_row(this));
    // A page is built when it first comes to the front, as the user reaches it.
    connect(tabs(), &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0 && index < int(pages_.size())) pages_[size_t(index)]->open();
    });
    pages_.front()->open();
}

void CSetupSheet::add_page(CSetupPropertyPage* page) {
    pages_.push_back(page);
    tabs()->addTab(page, page->caption());
}

void CSetupSheet::activate(CSetupPropertyPage* page) {
    page->open();
    tabs()->setCurrentWidget(page);
}

CSetupPropertyPage* CSetupSheet::page(int template_id) const {
    for (CSetupPropertyPage* page : pages_)
        if (page->template_id() == template_id) return page;
    return nullptr;
}

std::wstring CSetupSheet::archive_password() const {
    const CSetupPropertyPage* archiver = page(ARCHIVER_PAGE);
    if (archiver && archiver->opened())
        if (const auto* edit = archiver->findChild<QLineEdit*>(QString::number(PASSWORD_EDIT))) return ws(edit->text());
    return context_.settings.archiver.password;
}

void CSetupSheet::accept() {
    for (CSetupPropertyPage* page : pages_)
        if (page->opened() && !page->apply()) return;
    CBasicPropertySheet::accept();
}

}  // namespace bk::ui
