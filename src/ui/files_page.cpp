#include "ui/files_page.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "core/string_table.h"
#include "files/masks.h"
#include "rkit/path.h"
#include "rkit/system.h"
#include "ui/cloud_dlg.h"
#include "ui/component_dlg.h"
#include "ui/file_group_dlg.h"
#include "ui/fn_templ_dlg.h"

namespace bk::ui {
namespace {

constexpr int ARCHIVER_PAGE = 10017;

QString masks_or(const std::wstring& masks, int empty_text) { return masks.empty() ? str(empty_text) : qs(masks); }

}  // namespace

CFilesPage::CFilesPage(CSetupSheet* sheet) : CSetupPropertyPage(sheet, 10001, QStringLiteral("Файлы")) {}

void CFilesPage::init() {
    build();
    load();
    update_enabled();
    update_folder_tip();
}

void CFilesPage::build() {
    backup_folder_ = named(new QLineEdit(this), 11005);
    QPushButton* folder_browse = make_browse_button(this, 11006);
    removable_ = named(new QCheckBox(QStringLiteral("На сменном носителе:"), this), 11007);
    removable_path_ = named(new QComboBox(this), 11008);
    removable_path_->setEditable(true);
    removable_path_->setInsertPolicy(QComboBox::NoInsert);
    removable_browse_ = make_browse_button(this, 11012);
    ask_removable_ = named(new QCheckBox(QStringLiteral("Вопрос при отсутствии сменного носителя или недостатке "
                                                        "свободного места"),
                                         this),
                           11050);
    cloud_box_ =
        named(new QCheckBox(QStringLiteral("Загружать файл копии в облачное хранилище (Интернет)"), this), 11014);
    cloud_button_ = make_button(this, 11081, QStringLiteral("Параметры..."));
    template_ = named(new QLineEdit(this), 11011);
    QPushButton* template_browse = make_browse_button(this, 11013);
    show_in_explorer_ =
        named(new QCheckBox(QStringLiteral("Показать файл резервной копии в \"Проводнике\" после создания"), this),
              11015);
    cmdline_ = named(new QLineEdit(this), 11088);
    QPushButton* components = make_button(this, 11058, QStringLiteral("Компоненты..."));
    list_ = named(new QTreeWidget(this), 11019);
    report_list(list_, {ids::COL_FOLDER, ids::COL_INCLUDE, ids::COL_EXCLUDE, ids::COL_COMMENT});

    auto* places = new QGroupBox(QStringLiteral("Места хранения"), this);
    auto* grid = new QGridLayout(places);
    grid->addWidget(new QLabel(QStringLiteral("Папка хранения копий:"), places), 0, 0);
    grid->addWidget(backup_folder_, 0, 1);
    grid->addWidget(folder_browse, 0, 2);
    grid->addWidget(removable_, 1, 0);
    grid->addWidget(removable_path_, 1, 1);
    grid->addWidget(removable_browse_, 1, 2);
    grid->addWidget(ask_removable_, 2, 0, 1, 3);
    grid->addLayout(row_of({cloud_box_, cloud_button_}, 0), 3, 0, 1, 3);
    grid->setColumnStretch(1, 1);

    commands_ = new ListCommands(list_, {CMD_LIST_ADD, CMD_LIST_EDIT, CMD_LIST_DELETE, MENU_SEPARATOR, CMD_LIST_UP,
                                         CMD_LIST_DOWN},
                                 [this](int command) { on_command(command); });
    QToolBar* toolbar = commands_->make_toolbar(
        this, 11004, {CMD_LIST_ADD, CMD_LIST_EDIT, CMD_LIST_DELETE, CMD_LIST_UP, CMD_LIST_DOWN});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(places);
    auto* name_row = row_of({new QLabel(QStringLiteral("Шаблон имени файла архива:"), this), template_,
                             template_browse}, 1);
    layout->addLayout(name_row);
    layout->addWidget(show_in_explorer_);
    layout->addLayout(row_of({new QLabel(QStringLiteral("Выполнить после создания резервной копии"), this), cmdline_},
                             1));
    layout->addLayout(row_of({new QLabel(QStringLiteral("Сохранять следующие группы файлов"), this), toolbar,
                              new QWidget(this), components},
                             2));
    layout->addWidget(list_, 1);

    connect(folder_browse, &QPushButton::clicked, this, &CFilesPage::choose_backup_folder);
    connect(removable_browse_, &QPushButton::clicked, this, &CFilesPage::choose_removable_folder);
    connect(template_browse, &QPushButton::clicked, this, &CFilesPage::edit_template);
    connect(components, &QPushButton::clicked, this, &CFilesPage::edit_components);
    connect(cloud_button_, &QPushButton::clicked, this, &CFilesPage::edit_cloud);
    connect(removable_, &QCheckBox::toggled, this, &CFilesPage::update_enabled);
    connect(cloud_box_, &QCheckBox::toggled, this, &CFilesPage::update_enabled);
    connect(backup_folder_, &QLineEdit::textChanged, this, &CFilesPage::update_folder_tip);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &CFilesPage::update_toolbar);
    connect(list_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { on_activated(item); });
}

void CFilesPage::load() {
    const BackupSettings& settings = context().settings;
    const std::vector<std::wstring> drives = rkit::removable_mount_points();
    if (drives.empty()) removable_path_->addItem(QString());
    for (const std::wstring& drive : drives) removable_path_->addItem(qs(drive));
    backup_folder_->setText(qs(settings.backup_folder));
    removable_->setChecked(settings.options & OPT_REMOVABLE);
    ask_removable_->setChecked(settings.options & OPT_ASK_REMOVABLE);
    cloud_box_->setChecked(settings.options & OPT_CLOUD);
    show_in_explorer_->setChecked(settings.options & OPT_SHOW_IN_EXPLORER);
    removable_path_->setEditText(qs(settings.removable_path));
    cloud_ = settings.cloud;
    template_->setText(qs(settings.filename_template));
    cmdline_->setText(qs(settings.backup_cmdline));
    fill_list();
}

void CFilesPage::update_enabled() {
    const bool removable = removable_->isChecked();
    removable_path_->setEnabled(removable);
    removable_browse_->setEnabled(removable);
    ask_removable_->setEnabled(removable);
    cloud_button_->setEnabled(cloud_box_->isChecked());
}

void CFilesPage::update_folder_tip() {
    std::wstring full;
    if (!rkit::get_absolute_path(context().root_path, ws(backup_folder_->text()), full)) full.clear();
    backup_folder_->setToolTip(qs(full));
}

void CFilesPage::fill_list(int select) {
    const BackupSettings& settings = context().settings;
    list_->clear();
    const auto add_row = [this](const QStringList& texts, int icon, RowKind kind, size_t index) {
        auto* item = new QTreeWidgetItem(list_, texts);
        item->setIcon(0, module_icon(icon));
        item->setData(0, Qt::UserRole, int(kind));
        item->setData(0, Qt::UserRole + 1, qulonglong(index));
    };
    for (size_t i = 0; i < settings.file_groups.size(); ++i) {
        const FileGroup& group = settings.file_groups[i];
        std::wstring folder = group.basic_folder;  // as stored, when it names no folder of this host
        try {
            std::wstring full;
            if (rkit::get_absolute_path(resolve_folder(group.basic_folder, context().basic_folders),
                                        group.relative_path, full))
                folder = full;
        } catch (const std::exception&) {
        }
        if (group.flags & GROUP_RECURSIVE) folder += L"/*";
        add_row({qs(folder), masks_or(group.include_mask, ids::ALL_MASKS_TEXT),
                 masks_or(group.exclude_mask, ids::NO_MASKS_TEXT), qs(group.comment)},
                10014, RowKind::group, i);
    }
    for (size_t i = 0; i < settings.single_files.size(); ++i) {
        const SingleFile& file = settings.single_files[i];
        add_row({qs(file.path), QString(), QString(), qs(file.comment)}, 10030, RowKind::file, i);
    }
    add_row({str(ids::ADD_ROW_TEXT)}, 10015, RowKind::add, 0);
    fit_columns(list_);
    if (select >= 0 && select < list_->topLevelItemCount()) list_->setCurrentItem(list_->topLevelItem(select));
    update_toolbar();
}

CFilesPage::Row CFilesPage::selected_row() const {
    const QList<QTreeWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) return {};
    const QTreeWidgetItem* item = selected.front();
    return {RowKind(item->data(0, Qt::UserRole).toInt()), size_t(item->data(0, Qt::UserRole + 1).toULongLong())};
}

int CFilesPage::list_row(RowKind kind, size_t index) const {
    const size_t groups = context().settings.file_groups.size();
    return int(kind == RowKind::group ? index : groups + index);
}

void CFilesPage::update_toolbar() {
    const Row row = selected_row();
    const BackupSettings& settings = context().settings;
    const size_t count = row.kind == RowKind::group ? settings.file_groups.size() : settings.single_files.size();
    const bool item = row.kind != RowKind::add;
    commands_->set_enabled(CMD_LIST_EDIT, item);
    commands_->set_enabled(CMD_LIST_DELETE, item);
    commands_->set_enabled(CMD_LIST_UP, item && row.index > 0);
    commands_->set_enabled(CMD_LIST_DOWN, item && row.index + 1 < count);
}

void CFilesPage::on_command(int command) {
    const Row row = selected_row();
    if (command == CMD_LIST_ADD) return add_item();
    // The keys reach here whatever the toolbar shows: a command that does not apply does nothing.
    if (row.kind == RowKind::add || !commands_->action(command)->isEnabled()) return;
    switch (command) {
        case CMD_LIST_EDIT: return edit_item(row);
        case CMD_LIST_DELETE: return delete_item(row);
        case CMD_LIST_UP: return move_item(row, -1);
        case CMD_LIST_DOWN: return move_item(row, +1);
        default: return;
    }
}

void CFilesPage::on_activated(QTreeWidgetItem* item) {
    if (!item) return;
    if (RowKind(item->data(0, Qt::UserRole).toInt()) == RowKind::add) return add_item();
    edit_item(selected_row());
}

void CFilesPage::add_item() {
    CFileGroupOrFileDlg which(this);
    if (which.exec() != QDialog::Accepted) return;
    BackupSettings& settings = context().settings;
    if (which.choice() == 0) {
        CFileGroupDlg dialog(this, true, context().basic_folders, settings.components, FileGroup{});
        if (dialog.exec() != QDialog::Accepted) return;
        settings.file_groups.push_back(dialog.group());
        fill_list(list_row(RowKind::group, settings.file_groups.size() - 1));
    } else {
        CSingleFileDlg dialog(this, true, context().basic_folders, context().file_locations, settings.components,
                              SingleFile{});
        if (dialog.exec() != QDialog::Accepted) return;
        settings.single_files.push_back(dialog.file());
        fill_list(list_row(RowKind::file, settings.single_files.size() - 1));
    }
}

void CFilesPage::edit_item(Row row) {
    BackupSettings& settings = context().settings;
    if (row.kind == RowKind::group) {
        CFileGroupDlg dialog(this, false, context().basic_folders, settings.components,
                             settings.file_groups.at(row.index));
        if (dialog.exec() != QDialog::Accepted) return;
        settings.file_groups[row.index] = dialog.group();
    } else if (row.kind == RowKind::file) {
        CSingleFileDlg dialog(this, false, context().basic_folders, context().file_locations, settings.components,
                              settings.single_files.at(row.index));
        if (dialog.exec() != QDialog::Accepted) return;
        settings.single_files[row.index] = dialog.file();
    } else {
        return;
    }
    fill_list(list_row(row.kind, row.index));
}

void CFilesPage::delete_item(Row row) {
    BackupSettings& settings = context().settings;
    const int at = list_row(row.kind, row.index);
    if (row.kind == RowKind::group) settings.file_groups.erase(settings.file_groups.begin() + long(row.index));
    else settings.single_files.erase(settings.single_files.begin() + long(row.index));
    fill_list(at);
}

void CFilesPage::move_item(Row row, int step) {
    BackupSettings& settings = context().settings;
    const size_t other = row.index + size_t(step);
    if (row.kind == RowKind::group) std::swap(settings.file_groups.at(row.index), settings.file_groups.at(other));
    else std::swap(settings.single_files.at(row.index), settings.single_files.at(other));
    fill_list(list_row(row.kind, other));
}

void CFilesPage::choose_backup_folder() {
    const std::wstring& root = context().root_path;
    std::wstring start;
    if (!rkit::get_absolute_path(root, ws(backup_folder_->text()), start)) start = root;
    const QString chosen = QFileDialog::getExistingDirectory(this, str(ids::CHOOSE_BACKUP_FOLDER), qs(start),
                                                             QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (chosen.isEmpty()) return;
    // Below the program's folder the setting stays relative, so it moves with the program.
    std::wstring relative;
    const bool below = rkit::get_relative_path(root, ws(chosen), relative) && relative != L"." &&
                       relative.rfind(L"..", 0) != 0;
    backup_folder_->setText(below ? qs(relative) : chosen);
}

void CFilesPage::choose_removable_folder() {
    const QString chosen =
        QFileDialog::getExistingDirectory(this, str(ids::CHOOSE_REMOVABLE_FOLDER), removable_path_->currentText(),
                                          QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (!chosen.isEmpty()) removable_path_->setEditText(chosen);
}

void CFilesPage::edit_template() {
    CFnTemplDlg dialog(this, ws(template_->text()), context().identity);
    if (dialog.exec() == QDialog::Accepted) template_->setText(qs(dialog.templ()));
}

void CFilesPage::edit_components() {
    BackupSettings& settings = context().settings;
    CCompListDlg dialog(this, settings.file_groups, settings.single_files, settings.components);
    if (dialog.exec() == QDialog::Accepted) settings.components = dialog.components();
}

void CFilesPage::edit_cloud() {
    CCloudDlg dialog(this, cloud_);
    if (dialog.exec() == QDialog::Accepted) cloud_ = dialog.cloud();
}

bool CFilesPage::check_cloud() {
    if (!cloud_box_->isChecked()) return true;
    if (!cloud_account_complete(cloud_)) return refuse(load_string(ids::CLOUD_NOT_SET));
    // An archive sent over the Internet without a password is readable by the
    // service: say so once, on the page where the password is set.
    if (!password_warned_ && sheet().archive_password().empty()) {
        password_warned_ = true;
        return refuse(load_string(ids::CLOUD_NO_PASSWORD), sheet().page(ARCHIVER_PAGE));
    }
    return true;
}

bool CFilesPage::apply() {
    if (!check_cloud()) return false;
    BackupSettings& settings = context().settings;
    if (settings.file_groups.empty() && settings.single_files.empty())
        return refuse(load_string(ids::NO_FILE_GROUPS));
    for (const FileGroup& group : settings.file_groups)
        for (const std::wstring* masks : {&group.include_mask, &group.exclude_mask})
            if (find_invalid_mask(parse_mask_list(*masks)))
                return refuse(format_string(ids::BAD_GROUP_MASK, {*masks}));

    settings.backup_folder = ws(backup_folder_->text());
    const auto set_option = [&settings](uint32_t bit, bool on) {
        settings.options = on ? settings.options | bit : settings.options & ~bit;
    };
    set_option(OPT_REMOVABLE, removable_->isChecked());
    set_option(OPT_ASK_REMOVABLE, ask_removable_->isChecked());
    settings.removable_path = ws(removable_path_->currentText());
    set_option(OPT_CLOUD, cloud_box_->isChecked());
    settings.cloud = cloud_;
    settings.filename_template = ws(template_->text());
    set_option(OPT_SHOW_IN_EXPLORER, show_in_explorer_->isChecked());
    settings.backup_cmdline = ws(cmdline_->text());
    return true;
}

}  // namespace bk::ui
