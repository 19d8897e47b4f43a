#include "ui/file_group_dlg.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "core/string_table.h"
#include "files/masks.h"
#include "rkit/files.h"
#include "rkit/path.h"
#include "tasks/user_interface.h"
#include "ui/message_box.h"
#include "ui/sel_comp_dlg.h"

namespace bk::ui {
namespace {

// An editable combo offering names, showing text whether or not it is one of them.
QComboBox* make_name_combo(QWidget* parent, const QStringList& names, const std::wstring& text) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QStringLiteral("11029"));
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(names);
    combo->setCurrentIndex(combo->findText(qs(text), Qt::MatchExactly | Qt::MatchCaseSensitive));
    combo->setEditText(qs(text));
    return combo;
}

// The controls under a caption of their own, as the full path, the
// components and the comment are shown.
void add_captioned(QVBoxLayout* layout, QWidget* parent, const QString& caption, QLayout* controls) {
    layout->addWidget(new QLabel(caption, parent));
    layout->addLayout(controls);
}

QLayout* alone(QWidget* widget) {
    auto* row = new QHBoxLayout;
    row->addWidget(widget);
    return row;
}

QLineEdit* make_full_path(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("11033"));
    edit->setReadOnly(true);
    return edit;
}

}  // namespace

// The line that names an item's components and its "..." that ticks them.
// Without defined components there is nothing to tick, and the line says
// that the item is saved whatever is chosen.
class MembersRow final : public QObject {
public:
    MembersRow(QWidget* dialog, const std::vector<Component>& defined, std::vector<std::wstring>& members)
        : QObject(dialog),
          dialog_(dialog),
          defined_(defined),
          members_(members),
          text_(new QLineEdit(dialog)),
          choose_(make_browse_button(dialog, 11035)) {
        text_->setObjectName(QStringLiteral("11034"));
        text_->setReadOnly(true);
        text_->setEnabled(!defined_.empty());
        choose_->setEnabled(!defined_.empty());
        connect(choose_, &QPushButton::clicked, this, [this] {
            if (choose_members(dialog_, defined_, members_)) show_members();
        });
        show_members();
    }
    QLineEdit* text() const { return text_; }
    QPushButton* choose() const { return choose_; }

private:
    void show_members() {
        if (defined_.empty()) {
            text_->setText(str(ids::COMPONENTS_NOT_USED));
            return;
        }
        QStringList names;
        for (const Component& component : defined_) {
            const bool member = std::find(members_.begin(), members_.end(), component.name) != members_.end();
            if (member && !component.display_text.empty()) names << qs(component.display_text);
        }
        text_->setText(names.join(QStringLiteral(", ")));
    }

    QWidget* dialog_;
    const std::vector<Component>& defined_;
    std::vector<std::wstring>& members_;
    QLineEdit* text_;
    QPushButton* choose_;
};

namespace {

// The rows both editors end with, so that they read alike: where the item
// lies, its components, what else the editor has, its comment, OK and Cancel.
void finish_layout(QDialog* dialog, QVBoxLayout* layout, QLineEdit* full_path, MembersRow* members, QWidget* more,
                   QLineEdit* comment, QPushButton** ok) {
    add_captioned(layout, dialog, QStringLiteral("Полный путь в текущей конфигурации"), alone(full_path));
    add_captioned(layout, dialog, QStringLiteral("Компоненты"), row_of({members->text(), members->choose()}));
    if (more) layout->addWidget(more);
    add_captioned(layout, dialog, QStringLiteral("Комментарий"), alone(comment));
    layout->addStretch(1);
    layout->addLayout(ok_cancel_row(dialog, ok));
    dialog->resize(480, dialog->sizeHint().height());
}

}  // namespace

CFileGroupOrFileDlg::CFileGroupOrFileDlg(QWidget* parent)
    : CBasicDlg(10031, QStringLiteral("Добавление"), parent),
      single_(new QRadioButton(QStringLiteral("Одиночный файл"), this)) {
    auto* group = new QRadioButton(QStringLiteral("Группа файлов"), this);
    group->setObjectName(QStringLiteral("11089"));
    group->setChecked(true);
    single_->setObjectName(QStringLiteral("11090"));
    auto* box = new QGroupBox(this);
    auto* choices = new QVBoxLayout(box);
    choices->addWidget(group);
    choices->addWidget(single_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addLayout(ok_cancel_row(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

CFileGroupDlg::CFileGroupDlg(QWidget* parent, bool is_new, const BasicFolders& folders,
                             const std::vector<Component>& components, const FileGroup& group)
    : CBasicDlg(10006, str(is_new ? ids::NEW_FILE_GROUP : ids::EDIT_FILE_GROUP), parent),
      folders_(folders),
      components_(components),
      group_(group),
      relative_(named(new QLineEdit(qs(group.relative_path), this), 11030)),
      browse_(make_browse_button(this, 11031)),
      recursive_(new QCheckBox(QStringLiteral("Включая вложенные папки"), this)),
      extract_(named(new QLineEdit(qs(group.extract_folder), this), 11036)),
      full_path_(make_full_path(this)),
      members_(new MembersRow(this, components_, group_.components)),
      include_(named(new QLineEdit(qs(group.include_mask), this), 11027)),
      exclude_(named(new QLineEdit(qs(group.exclude_mask), this), 11028)),
      comment_(named(new QLineEdit(qs(group.comment), this), 11000)) {
    QStringList names;
    for (const BasicFolder& folder : folders_) names << qs(folder.name);
    basic_ = make_name_combo(this, names, group.basic_folder);
    recursive_->setObjectName(QStringLiteral("11032"));
    recursive_->setChecked((group.flags & GROUP_RECURSIVE) != 0);

    auto* place = new QFormLayout;
    place->addRow(QStringLiteral("Базовый путь:"), basic_);
    place->addRow(QStringLiteral("Относительный путь:"), row_of({relative_, browse_}));
    place->addRow(QString(), recursive_);
    place->addRow(QStringLiteral("Подпапка для извлечения:"), extract_);

    auto* files = new QGroupBox(QStringLiteral("Файлы"), this);
    auto* masks = new QFormLayout(files);
    masks->addRow(new QLabel(QStringLiteral("Здесь можно указать список масок для имен файлов.\n"
                                            "В масках допускается использование символов '*' и '?'.\n"
                                            "Маски разделяются символом ';'.\n"
                                            "Пример: *.txt;*.ini"),
                             files));
    masks->addRow(QStringLiteral("Включая:"), include_);
    masks->addRow(QStringLiteral("Исключая:"), exclude_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(place);
    finish_layout(this, layout, full_path_, members_, files, comment_, &ok_);

    connect(basic_, &QComboBox::currentTextChanged, this, &CFileGroupDlg::update_full_path);
    connect(relative_, &QLineEdit::textChanged, this, &CFileGroupDlg::update_full_path);
    connect(browse_, &QPushButton::clicked, this, &CFileGroupDlg::choose_relative_path);
    update_full_path();
}

std::wstring CFileGroupDlg::base_folder() const {
    try {
        return resolve_folder(ws(basic_->currentText()), folders_);
    } catch (const std::exception&) {
        return {};  // no root folder to start a relative one from
    }
}

void CFileGroupDlg::update_full_path() {
    const std::wstring base = base_folder();
    std::wstring full;
    const bool exists = !base.empty() && rkit::get_absolute_path(base, ws(relative_->text()), full) && rkit::dir_exists(full);
    full_path_->setText(exists ? qs(full) : str(ids::NOT_EXISTS_TEXT));
    ok_->setEnabled(exists);
    browse_->setEnabled(exists);
}

void CFileGroupDlg::choose_relative_path() {
    // Qt's chooser cannot be kept inside a folder: it starts where the group
    // lies now, and what is chosen is taken relative to the group's base.
    const std::wstring base = base_folder();
    QFileDialog chooser(this, str(ids::CHOOSE_RELATIVE_PATH), full_path_->text());
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    chooser.setFileMode(QFileDialog::Directory);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
    std::wstring relative;
    if (base.empty() || !rkit::get_relative_path(base, ws(chooser.selectedFiles().front()), relative)) return;
    // The chooser is rooted at the base: a folder beside or above it is no relative path of the group.
    if (relative == L".." || relative.rfind(L"../", 0) == 0) return;
    relative_->setText(relative == L"." ? QString() : qs(relative));  // empty: the base folder itself
}

bool CFileGroupDlg::masks_valid(const QLineEdit* list) {
    const std::optional<MaskEntry> invalid = find_invalid_mask(parse_mask_list(ws(list->text())));
    if (!invalid) return true;
    show_message_box(this, format_string(ids::INVALID_MASK_IN_LIST, {mask_text(*invalid), ws(list->text())}),
                     MB_OK | MB_ICONWARNING, windowTitle());
    return false;
}

void CFileGroupDlg::accept() {
    if (!masks_valid(include_) || !masks_valid(exclude_)) return;
    group_.basic_folder = ws(basic_->currentText());
    group_.relative_path = ws(relative_->text());
    group_.flags = recursive_->isChecked() ? group_.flags | GROUP_RECURSIVE : group_.flags & ~GROUP_RECURSIVE;
    group_.include_mask = ws(include_->text());
    group_.exclude_mask = ws(exclude_->text());
    group_.extract_folder = ws(extract_->text());
    group_.comment = ws(comment_->text());
    CBasicDlg::accept();
}

CSingleFileDlg::CSingleFileDlg(QWidget* parent, bool is_new, const BasicFolders& folders,
                               const FileLocations& locations, const std::vector<Component>& components,
                               const SingleFile& file)
    : CBasicDlg(10032, str(is_new ? ids::NEW_SINGLE_FILE : ids::EDIT_SINGLE_FILE), parent),
      folders_(folders),
      locations_(locations),
      components_(components),
      file_(file),
      extract_(named(new QLineEdit(qs(file.extract_folder), this), 11036)),
      full_path_(make_full_path(this)),
      members_(new MembersRow(this, components_, file_.components)),
      comment_(named(new QLineEdit(qs(file.comment), this), 11000)) {
    QStringList names;
    for (const FileLocation& location : locations_) names << qs(location.file_macro);
    path_ = make_name_combo(this, names, file.path);
    QPushButton* browse = make_browse_button(this, 11031);

    auto* place = new QFormLayout;
    place->addRow(QStringLiteral("Путь:"), row_of({path_, browse}));
    place->addRow(QStringLiteral("Подпапка для извлечения:"), extract_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(place);
    finish_layout(this, layout, full_path_, members_, nullptr, comment_, &ok_);

    connect(path_, &QComboBox::currentTextChanged, this, &CSingleFileDlg::update_full_path);
    connect(browse, &QPushButton::clicked, this, &CSingleFileDlg::choose_file);
    update_full_path();
}

std::wstring CSingleFileDlg::named_file() const {
    try {
        return resolve_file(ws(path_->currentText()), folders_, locations_);
    } catch (const std::exception&) {
        return {};  // neither a file macro nor a path that can be made full
    }
}

void CSingleFileDlg::update_full_path() {
    const std::wstring full = named_file();
    const bool exists = !full.empty() && rkit::file_exists(full);
    full_path_->setText(exists ? qs(full) : str(ids::NOT_EXISTS_TEXT));
    ok_->setEnabled(exists);
}

void CSingleFileDlg::choose_file() {
    QFileDialog chooser(this, QString(), QString(), qt_filter(ids::ALL_FILES_FILTER));
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    // Where the typed file would be, even when it is not there (yet).
    const std::wstring typed = named_file();
    if (!typed.empty() && rkit::dir_exists(rkit::extract_dir(typed))) {
        chooser.setDirectory(qs(rkit::extract_dir(typed)));
        chooser.selectFile(qs(rkit::extract_name_ext(typed)));
    }
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
    path_->setEditText(chooser.selectedFiles().front());
}

void CSingleFileDlg::accept() {
    file_.path = ws(path_->currentText());
    file_.extract_folder = ws(extract_->text());
    file_.comment = ws(comment_->text());
    CBasicDlg::accept();
}

}  // namespace bk::ui
