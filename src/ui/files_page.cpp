#include "ui/files_page.h"

namespace bk::ui {

CFilesPage::CFilesPage(CSetupSheet* sheet) : CSetupPropertyPage(sheet, 10001, QStringLiteral("Файлы")) {}

void CFilesPage::init() {}

bool CFilesPage::apply() { return true; }

}  // namespace bk::ui
