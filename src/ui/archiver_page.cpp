#include "ui/archiver_page.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "archivers/archiver.h"
#include "core/string_table.h"

namespace bk::ui {

CArchiverPage::CArchiverPage(CSetupSheet* sheet) : CSetupPropertyPage(sheet, 10017, QStringLiteral("Архиватор")) {}

void CArchiverPage::init() {
    password_ = named(new QLineEdit(this), 11087);
    defaults_ = named(new QCheckBox(QStringLiteral("Все по умолчанию"), this), 11042);

    auto* common = new QGroupBox(QStringLiteral("Общие"), this);
    archiver_ = named(new QComboBox(common), 11043);
    archiver_->addItem(QStringLiteral("7z"), ARCHIVER_7ZIP);
    archiver_->addItem(QStringLiteral("Rar"), ARCHIVER_RAR);
    explicit_path_ = named(new QCheckBox(QStringLiteral("Указать явно путь к исполняемому файлу"), common), 11044);
    path_ = named(new QLineEdit(common), 11045);
    browse_ = make_browse_button(common, 11046);
    common_options_ = named(new QLineEdit(common), 11047);
    auto* archiver_row = new QHBoxLayout;
    archiver_row->addWidget(new QLabel(QStringLiteral("Использовать архиватор:"), common));
    archiver_row->addWidget(archiver_);
    archiver_row->addStretch(1);
    auto* path_row = new QHBoxLayout;
    path_row->addWidget(path_, 1);
    path_row->addWidget(browse_);
    auto* common_layout = new QVBoxLayout(common);
    common_layout->addLayout(archiver_row);
    common_layout->addWidget(explicit_path_);
    common_layout->addLayout(path_row);
    common_layout->addWidget(new QLabel(QStringLiteral("Дополнительные опции для сжатия и извлечения:"), common));
    common_layout->addWidget(common_options_);

    auto* compression = new QGroupBox(QStringLiteral("Сжатие"), this);
    default_level_ = named(new QCheckBox(QStringLiteral("Уровень сжатия по умолчанию"), compression), 11048);
    level_ = named(new QSlider(Qt::Horizontal, compression), 11049);
    level_->setRange(0, 9);
    level_->setPageStep(1);
    level_->setTickPosition(QSlider::TicksBelow);
    compress_options_ = named(new QLineEdit(compression), 11050);
    auto* level_row = new QHBoxLayout;
    level_row->addWidget(new QLabel(QStringLiteral("без сжатия"), compression));
    level_row->addWidget(level_, 1);
    level_row->addWidget(new QLabel(QStringLiteral("максимальный"), compression));
    auto* compress_row = new QHBoxLayout;
    compress_row->addWidget(new QLabel(QStringLiteral("Дополнительные опции:"), compression));
    compress_row->addWidget(compress_options_, 1);
    auto* compression_layout = new QVBoxLayout(compression);
    compression_layout->addWidget(default_level_);
    compression_layout->addLayout(level_row);
    compression_layout->addLayout(compress_row);

    auto* extraction = new QGroupBox(QStringLiteral("Извлечение"), this);
    extract_options_ = named(new QLineEdit(extraction), 11051);
    auto* extraction_layout = new QHBoxLayout(extraction);
    extraction_layout->addWidget(new QLabel(QStringLiteral("Дополнительные опции:"), extraction));
    extraction_layout->addWidget(extract_options_, 1);

    auto* password_row = new QHBoxLayout;
    password_row->addWidget(new QLabel(QStringLiteral("Использовать пароль для файла архива:"), this));
    password_row->addWidget(password_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(password_row);
    layout->addWidget(defaults_);
    layout->addWidget(common);
    layout->addWidget(compression);
    layout->addWidget(extraction);
    layout->addStretch(1);

    grouped_ = {archiver_, explicit_path_, path_, browse_, common_options_,
                default_level_, level_, compress_options_, extract_options_};
    for (QWidget* control : {static_cast<QWidget*>(common), static_cast<QWidget*>(compression),
                             static_cast<QWidget*>(extraction)})
        for (QLabel* label : control->findChildren<QLabel*>()) grouped_ << label;

    const ArchiverSettings& settings = context().settings.archiver;
    ArchiverSettings without_password = settings;
    without_password.password.clear();
    defaults_->setChecked(without_password == ArchiverSettings{});
    password_->setText(qs(settings.password));
    load(settings);
    update_states();

    connect(defaults_, &QCheckBox::clicked, this, [this](bool checked) {
        if (checked) load(ArchiverSettings{});
        update_states();
    });
    connect(explicit_path_, &QCheckBox::clicked, this, [this] { update_states(); });
    connect(default_level_, &QCheckBox::clicked, this, [this] { update_states(); });
    connect(browse_, &QPushButton::clicked, this, [this] { choose_program(); });
}

void CArchiverPage::load(const ArchiverSettings& archiver) {
    archiver_->setCurrentIndex(archiver_->findData(archiver.archiver == ARCHIVER_DEFAULT ? ARCHIVER_7ZIP : archiver.archiver));
    explicit_path_->setChecked(!archiver.exe_path.empty());
    path_->setText(qs(archiver.exe_path));
    common_options_->setText(qs(archiver.common_options));
    default_level_->setChecked(archiver.compress_level == -1);
    // The slider has no place for the archiver's default: it waits in the middle.
    level_->setValue(archiver.compress_level == -1 ? 5 : archiver.compress_level);
    compress_options_->setText(qs(archiver.compress_options));
    extract_options_->setText(qs(archiver.extract_options));
}

void CArchiverPage::update_states() {
    const bool own = !defaults_->isChecked();
    for (QWidget* control : grouped_) control->setEnabled(own);
    path_->setEnabled(own && explicit_path_->isChecked());
    browse_->setEnabled(own && explicit_path_->isChecked());
    level_->setEnabled(own && !default_level_->isChecked());
}

void CArchiverPage::choose_program() {
    QFileDialog dialog(this, QString(), path_->text(), qt_filter(ids::EXE_FILE_FILTER));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        path_->setText(dialog.selectedFiles().constFirst());
}

bool CArchiverPage::apply() {
    ArchiverSettings& settings = context().settings.archiver;
    if (defaults_->isChecked()) {
        settings = ArchiverSettings{};
        settings.password = ws(password_->text());
        return true;
    }
    if (archiver_->currentIndex() < 0) return refuse(load_string(ids::NO_ARCHIVER));
    const ArchiverKind kind = archiver_->currentData().toInt();
    const std::wstring path = ws(path_->text());
    if (explicit_path_->isChecked() && !path.empty() && !is_valid_archiver_path(kind, path))
        return refuse(format_string(ids::BAD_ARCHIVER_PATH, {archiver_name(kind), path}));
    settings.archiver = kind;
    settings.exe_path = explicit_path_->isChecked() ? path : std::wstring();
    settings.common_options = ws(common_options_->text());
    settings.compress_level = default_level_->isChecked() ? -1 : level_->value();
    settings.compress_options = ws(compress_options_->text());
    settings.extract_options = ws(extract_options_->text());
    settings.password = ws(password_->text());
    return true;
}

}  // namespace bk::ui
