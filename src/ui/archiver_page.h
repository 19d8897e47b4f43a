// "Архиватор": the archive password, which console archiver makes the
// archives and where its program is, its extra options and the compression
// level.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include "ui/setup_sheet.h"

namespace bk::ui {

class CArchiverPage final : public CSetupPropertyPage {
public:
    explicit CArchiverPage(CSetupSheet* sheet);
    bool apply() override;

protected:
    void init() override;

private:
    // Everything but the password, which stays as typed.
    void load(const ArchiverSettings& archiver);
    void update_states();
    void choose_program();

    QLineEdit* password_ = nullptr;
    QCheckBox* defaults_ = nullptr;
    QComboBox* archiver_ = nullptr;
    QCheckBox* explicit_path_ = nullptr;
    QLineEdit* path_ = nullptr;
    QPushButton* browse_ = nullptr;
    QLineEdit* common_options_ = nullptr;
    QCheckBox* default_level_ = nullptr;
    QSlider* level_ = nullptr;
    QLineEdit* compress_options_ = nullptr;
    QLineEdit* extract_options_ = nullptr;
    QList<QWidget*> grouped_;  // what "Все по умолчанию" disables
};

}  // namespace bk::ui
