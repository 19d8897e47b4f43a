// Renders every dialog of the module with sample data into one PNG each, so
// that a reviewer sees what the user sees without running a backup.
//
//   vardobk_gallery FOLDER
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise. Each
// window is opened the way the module opens it (modal, its own event loop)
// and photographed from inside that loop, then closed.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>

#include "core/string_table.h"
#include "rkit/clock.h"
#include "tasks/user_interface.h"
#include "ui/backup_dlg.h"
#include "ui/cloud_dlg.h"
#include "ui/component_dlg.h"
#include "ui/file_group_dlg.h"
#include "ui/fn_templ_dlg.h"
#include "ui/message_box.h"
#include "ui/restore_dlg.h"
#include "ui/sched_task_dlg.h"
#include "ui/sel_comp_dlg.h"
#include "ui/setup_sheet.h"
#include "ui/task_prop_dlg.h"
#include "ui/wait_dlg.h"

// Outside any namespace, as Qt's resource initialiser must be.
static void init_module_icons() { Q_INIT_RESOURCE(icons); }

namespace {

using namespace bk;

QString out_folder;
int failures = 0;

// The offscreen platform draws no window frame: a plain title bar stands in
// for it, so that the caption can be reviewed too.
QImage framed(QWidget* window) {
    const QPixmap content = window->grab();
    const int bar = window->fontMetrics().height() + 12;
    QImage image(content.width() + 2, content.height() + bar + 1, QImage::Format_RGB32);
    image.fill(QColor(0x45, 0x5a, 0x78));
    QPainter painter(&image);
    painter.drawPixmap(1, bar, content);
    painter.setPen(Qt::white);
    painter.setFont(window->font());
    painter.drawText(QRect(10, 0, image.width() - 20, bar), Qt::AlignVCenter | Qt::AlignLeft, window->windowTitle());
    return image;
}

// Photographs the window in front as NAME.png once its loop runs, then
// hands it to close; open must show it modally and return when it is gone.
void shoot(const char* name, const std::function<void()>& open, const std::function<void(QWidget*)>& close) {
    QTimer::singleShot(400, [=] {
        QWidget* front = QApplication::activeModalWidget();
        const QString file = QDir(out_folder).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
        if (!front || !framed(front).save(file)) {
            std::fprintf(stderr, "%s: nothing to save\n", name);
            ++failures;
        } else {
            std::printf("%s\n", qPrintable(file));
        }
        if (front) close(front);
    });
    open();
}
void reject(QWidget* window) { static_cast<QDialog*>(window)->reject(); }

HostIdentity identity(int workplace, const wchar_t* user, const wchar_t* computer) {
    HostIdentity made;
    made.ver_type = L"8.1";
    made.ver_family = L"prof";
    made.workplace = workplace;
    made.dbname = L"Учёт 2026.shp";
    made.username = user;
    made.computer = computer;
    return made;
}

BackupRecord record(const rkit::date& day, int hour, int keeptime, const wchar_t* file, const wchar_t* comment,
                    const HostIdentity& made) {
    BackupRecord r;
    r.time.put(day, rkit::time(hour, 5, 0));
    r.keeptime = keeptime;
    r.filename = file;
    r.comment = comment;
    r.identity = made;
    return r;
}

void backup_dialog() {
    const std::vector<Component> components = {
        {L"forms", L"Бланки документов"},
        {L"reports", L"Отчёты за прошлые периоды"},
        {L"archive", L"Архив первичных документов 2025 года"},
        {L"scans", L"Сканы договоров"}};
    AutoParams params;
    params.comment = L"Перед закрытием квартала";
    params.keeptime = 30;
    params.excl_comp = {L"scans"};
    ui::CBackupDlg dialog(nullptr, components, params);
    shoot("backup", [&] { dialog.exec(); }, reject);
}

void restore_dialogs() {
    const rkit::date today = rkit::clock::now().get_date();
    const HostIdentity office = identity(1, L"Бухгалтер", L"buh-01"), chief = identity(2, L"Главбух", L"gl-buh");
    const Catalogue catalogue = {
        record(today.add_days(-40), 18, 30, L"demo_2026-10-27_180500.7z", L"Конец месяца", office),
        record(today.add_days(-9), 9, KEEP_FOREVER, L"demo_2026-11-27_090500.7z", L"Годовой отчёт сдан", chief),
        record(today.add_days(-2), 17, 7, L"demo_2026-12-04_170500.7z", L"Автоматически при выходе", office),
        record(today, 12, 30, L"demo_2026-12-06_120500.7z", L"Перед закрытием квартала", office)};
    ui::CRestoreDlg restore(nullptr, L"/home/buh/backups", catalogue, ARCHIVER_7ZIP);
    shoot("restore", [&] { restore.exec(); }, reject);

    const std::vector<RestoreProblem> problems = {
        {L"/home/buh/data/dbf/movements.dbf",
         L"Не удалось заменить файл '/home/buh/data/dbf/movements.dbf'.", 16, L"Устройство или ресурс занято"},
        {L"/home/buh/forms/Счёт-фактура.frm", L"Не удалось записать файл '/home/buh/forms/Счёт-фактура.frm'.", 13,
         L"Отказано в доступе"},
        {L"/etc/passwd", L"Файл '/etc/passwd' лежит вне папок программы и не восстановлен.", 0, L""}};
    ui::CRestoreWrnDlg warnings(nullptr, L"/home/buh/backups/demo_2026-12-06_120500.7z", problems);
    shoot("restore_warnings", [&] { warnings.exec(); }, reject);
}

void wait_dialog() {
    ui::CWaitDlg wait(nullptr, ui::str(ids::BACKUP_TITLE));
    std::atomic<bool> seen{false};
    // The window closes itself once the work is over; the work lasts until the photograph.
    shoot("wait", [&] {
        wait.run([&](IWorkerStatus& status) {
            status.set_status({L"Сжатие файлов: data/dbf/movements.dbf", 42});
            while (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        });
    }, [&](QWidget*) { seen = true; });
}

void message_boxes() {
    const struct {
        const char* name;
        std::wstring text;
        uint32_t type;
    } boxes[] = {
        {"box_information", format_string(ids::RESTORE_DONE, {L"demo_2026-12-06_120500.7z"}),
         MB_OK | MB_ICONINFORMATION},
        {"box_retry", format_string(ids::REMOVABLE_NO_ACCESS, {L"/media/buh/FLASH"}), MB_RETRYCANCEL | MB_ICONWARNING},
        {"box_warning", format_string(ids::DATABASE_MISMATCH, {L"Учёт 2026.shp", L"Учёт 2025.shp"}),
         MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2},
    };
    for (const auto& box : boxes)
        shoot(box.name, [&] { ui::show_message_box(nullptr, box.text, box.type); }, reject);
}

// An office's settings over real folders, so that full paths exist.
SetupContext office_setup(const QString& root) {
    SetupContext context;
    context.root_path = ui::ws(root);
    for (const char* folder : {"data/dbf", "forms", "base"}) QDir(root).mkpath(QString::fromLatin1(folder));
    QFile database(root + QStringLiteral("/base/Учёт 2026.shp"));
    database.open(QIODevice::WriteOnly);
    for (const BasicFolderKey& key : basic_folder_keys())
        context.basic_folders.push_back({load_string(key.macro_id), context.root_path});
    for (const FileLocationKey& key : file_location_keys())
        context.file_locations.push_back({load_string(key.file_macro_id), load_string(key.folder_macro_id),
                                          context.root_path + L"/base/Учёт 2026.shp"});
    context.identity = identity(1, L"Бухгалтер", L"buh-01");
    context.database_path = context.root_path + L"/base/Учёт 2026.shp";
    BackupSettings& s = context.settings;
    s.backup_folder = L"backup";
    s.filename_template = L"%SHORT_DB%_%DATE%_%TIME%";
    s.components = {{L"forms", L"Бланки документов"}, {L"base", L"База данных"}};
    s.file_groups = {{L"ТЕК_ДИР", L"data/dbf", L"*.dbf;*.cdx", L"*.tmp", L"", GROUP_RECURSIVE, L"Таблицы учёта", {L"base"}},
                     {L"ТЕК_ДИР", L"forms", L"", L"", L"", 0, L"Бланки", {L"forms"}}};
    s.single_files = {{L"ТЕК_SHP", L"", L"Текущая база", {L"base"}}};
    s.options = OPT_ON_EXIT | OPT_EXIT_CONFIRM | OPT_BY_CLOCK | OPT_KEEP_LAST_OF_MONTH;
    s.save_hour = 18;
    s.include_permission.workplaces = {1, 2};
    s.exclude_permission.logins = {L"Касса"};
    s.archiver.archiver = ARCHIVER_7ZIP;
    s.archiver.compress_level = 7;
    s.cloud = {L"yandex.disk", L"", L"buh@example.ru", L"", true};
    return context;
}

void settings_dialogs() {
    QTemporaryDir root;
    SetupContext context = office_setup(root.path());
    ui::CSetupSheet sheet(nullptr, context);
    const char* pages[] = {"setup_files", "setup_keeptime", "setup_auto", "setup_sheduler", "setup_permis",
                           "setup_archiver"};
    for (int i = 0; i < 6; ++i)
        shoot(pages[i], [&] { sheet.tabs()->setCurrentIndex(i), sheet.exec(); }, reject);

    const BackupSettings& s = context.settings;
    ui::CFileGroupOrFileDlg which(nullptr);
    shoot("file_group_or_file", [&] { which.exec(); }, reject);
    ui::CFileGroupDlg group(nullptr, false, context.basic_folders, s.components, s.file_groups[0]);
    shoot("file_group", [&] { group.exec(); }, reject);
    ui::CSingleFileDlg file(nullptr, false, context.basic_folders, context.file_locations, s.components,
                            s.single_files[0]);
    shoot("single_file", [&] { file.exec(); }, reject);
    ui::CCompListDlg components(nullptr, s.file_groups, s.single_files, s.components);
    shoot("component_list", [&] { components.exec(); }, reject);
    ui::CComponentDlg component(nullptr, s.components, L"forms", L"Бланки документов");
    shoot("component", [&] { component.exec(); }, reject);
    ui::CSelCompDlg select(nullptr, s.components, {L"base"});
    shoot("select_components", [&] { select.exec(); }, reject);
    ui::CCloudDlg cloud(nullptr, s.cloud);
    shoot("cloud", [&] { cloud.exec(); }, reject);
    ui::CFnTemplDlg templ(nullptr, s.filename_template, context.identity);
    shoot("filename_template", [&] { templ.exec(); }, reject);

    ui::SchedTaskValues values{context.root_path + L"/base/Учёт 2026.shp", {}, sched::TASK_DAILY,
                               rkit::time(23, 30, 0), true};
    values.run.comment = L"Ночная копия";
    values.run.keeptime = 30;
    ui::CSchedTaskDlg task(nullptr, true, L"При входе в систему", s.components, values);
    shoot("sched_task", [&] { task.exec(); }, reject);
    const sched::RawTask raw{false, {L"*/30 8-18 * * 1-5"}, true,
                             L"/usr/bin/vdbackup /opt/buh/host /Q /B /T=7 /C=\"Днём\" /D=\"/srv/buh/Учёт 2026.shp\""};
    ui::CTaskPropDlg properties(nullptr, raw);
    shoot("task_properties", [&] { properties.exec(); }, reject);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 64;
    }
    // A screen of a common desktop's size, so that dialogs are as wide as there.
    QTemporaryFile screens;
    if (!std::getenv("QT_QPA_PLATFORM") && screens.open()) {
        screens.write(R"({"screens": [{"name": "gallery", "x": 0, "y": 0, "width": 1920, "height": 1080,
                         "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        screens.flush();
        setenv("QT_QPA_PLATFORM", qPrintable(QStringLiteral("offscreen:configfile=") + screens.fileName()), 1);
    }
    QApplication app(argc, argv);
    init_module_icons();
    out_folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(out_folder)) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 73;
    }
    rkit::timestamp noon;  // the ages and keep times of the sample backups do not drift with the day
    noon.put(rkit::date(6, 12, 2026), rkit::time(12, 30, 0));
    rkit::clock::set_fixed(noon);

    backup_dialog();
    restore_dialogs();
    wait_dialog();
    message_boxes();
    settings_dialogs();
    return failures == 0 ? 0 : 1;
}
