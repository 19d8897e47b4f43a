// A desktop accounting program in miniature, hosting the backup module the
// way a real one does: libvardobk.so is loaded with dlopen, its parameters
// are answered from the host's own folder, and it is called from a menu and
// on the program's own events (entering, leaving, the clock).
//
//   vdhost [--module LIBRARY] [--quit] [--screenshot FILE] [FOLDER]
//
// FOLDER (default ./vdhost-demo) is the host's current folder; when it holds
// no host profile yet, vardobk_demo_data makes a demo data set there first.
// --quit closes the window once the start is through (a smoke run);
// --screenshot opens the backup dialog, saves the whole screen to FILE, and
// quits.
#include <dlfcn.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QXmlStreamReader>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "vardobk/vardobk.h"

namespace {

using DispatchFn = uint32_t(BK_CALL*)(int32_t, void*, uint32_t, HostParamCallback, HelpCallback);
using LastErrorFn = int32_t(BK_CALL*)(int32_t, char*, int32_t);

const QString kCaption = QStringLiteral("Бухгалтерия");

// The host's parameters, as UTF-8: a real host knows them itself; this one
// keeps them in the profile of its folder, <param name=".." node_value=".."/>.
std::map<std::string, std::string> host_params;
QStatusBar* help_line = nullptr;

bool read_profile(const QString& file) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) return false;
    QXmlStreamReader xml(&in);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QStringLiteral("param")) continue;
        const auto attributes = xml.attributes();
        host_params[attributes.value(QStringLiteral("name")).toString().toStdString()] =
            attributes.value(QStringLiteral("node_value")).toString().toStdString();
    }
    return !xml.hasError() && host_params.count("root_path");
}

int32_t BK_CALL answer_param(const char* key, char* buffer, int32_t size) {
    const auto found = host_params.find(key);
    if (found == host_params.end()) return -1;
    const std::string& value = found->second;
    if (buffer && size > 0) std::memcpy(buffer, value.data(), std::min(value.size(), static_cast<size_t>(size)));
    return static_cast<int32_t>(value.size());
}

// A real host opens its help at the topic; the key in the status bar shows which.
void BK_CALL show_help(const char* key) {
    if (help_line) help_line->showMessage(QStringLiteral("Справка: раздел %1").arg(QString::fromUtf8(key)), 10000);
}

class Module {
public:
    bool load(const QString& path) {
        handle_ = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) return error_ = QString::fromLocal8Bit(dlerror()), false;
        dispatch = reinterpret_cast<DispatchFn>(dlsym(handle_, "bkDispatch"));
        last_error = reinterpret_cast<LastErrorFn>(dlsym(handle_, "bkLastError"));
        if (!dispatch || !last_error) return error_ = path + QStringLiteral(": no bkDispatch or bkLastError"), false;
        return true;
    }
    const QString& error() const { return error_; }
    QStringList messages() const {
        QStringList texts;
        for (int32_t i = 0, count = last_error(-1, nullptr, 0); i < count; ++i) {
            const int32_t length = last_error(i, nullptr, 0);
            if (length < 0) break;
            QByteArray text(length + 1, '\0');
            last_error(i, text.data(), length + 1);
            texts << QString::fromUtf8(text.constData(), length);
        }
        return texts;
    }

    DispatchFn dispatch = nullptr;
    LastErrorFn last_error = nullptr;

private:
    void* handle_ = nullptr;  // kept to the end: the module's Qt objects live in the host's application
    QString error_;
};

QString result_text(uint32_t result) {
    switch (result) {
        case BK_DONE: return QStringLiteral("выполнено");
        case BK_NOT_DONE: return QStringLiteral("ничего не сделано");
        default: return QStringLiteral("ошибка");
    }
}

class HostWindow : public QMainWindow {
public:
    explicit HostWindow(Module& module) : module_(module) {
        setWindowTitle(kCaption + QStringLiteral(" — демонстрационная база"));
        auto* menu = menuBar()->addMenu(QStringLiteral("Резервное копирование"));
        menu->addAction(QStringLiteral("Создать резервную копию..."), this,
                        [this] { call(BK_CMD_BACKUP, BKF_INTERACTIVE, QStringLiteral("создание копии")); });
        menu->addAction(QStringLiteral("Восстановить из резервной копии..."), this,
                        [this] { call(BK_CMD_RESTORE, BKF_INTERACTIVE, QStringLiteral("восстановление")); });
        menu->addAction(QStringLiteral("Настройки..."), this,
                        [this] { call(BK_CMD_SETTINGS, BKF_INTERACTIVE, QStringLiteral("настройки")); });

        auto* split = new QSplitter(Qt::Vertical, this);
        split->addWidget(journal());
        log_ = new QPlainTextEdit(split);
        log_->setReadOnly(true);
        log_->setPlaceholderText(QStringLiteral("Вызовы модуля резервного копирования"));
        split->setStretchFactor(0, 3);
        split->setStretchFactor(1, 1);
        setCentralWidget(split);
        help_line = statusBar();
        resize(960, 600);

        connect(&clock_, &QTimer::timeout, this, [this] { automatic(BK_EVENT_CLOCK, QStringLiteral("по часам")); });
    }

    // The program has started: the module may want a backup on entering.
    void start() {
        automatic(BK_EVENT_ENTERING, QStringLiteral("вход в программу"));
        clock_.start(60 * 1000);
    }

    uint32_t call(int32_t command, uint32_t flags, const QString& what) {
        const uint32_t result =
            module_.dispatch(command, reinterpret_cast<void*>(winId()), flags, answer_param, show_help);
        const QStringList messages = module_.messages();
        const QString line = QStringLiteral("%1  %2: команда %3, флаги 0x%4 — %5 (%6)")
                                 .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")), what)
                                 .arg(command)
                                 .arg(flags, 8, 16, QLatin1Char('0'))
                                 .arg(result)
                                 .arg(result_text(result));
        log_->appendPlainText(line);
        std::printf("%s\n", qPrintable(line));
        for (const QString& message : messages) {
            log_->appendPlainText(QStringLiteral("    ") + message);
            std::printf("    %s\n", qPrintable(message));
        }
        std::fflush(stdout);
        // The module leaves its failures to the host to show.
        if (result == BK_FAILED && !quiet)
            QMessageBox::critical(this, kCaption, messages.join(QLatin1Char('\n')));
        statusBar()->showMessage(what + QStringLiteral(": ") + result_text(result), 10000);
        return result;
    }

    bool quiet = false;  // a smoke run shows no boxes

protected:
    void closeEvent(QCloseEvent* event) override {
        clock_.stop();
        automatic(BK_EVENT_LEAVING, QStringLiteral("выход из программы"));
        event->accept();
    }

private:
    void automatic(uint32_t kind, const QString& what) { call(BK_CMD_BACKUP, BKF_AUTOMATIC | BKF_MAKE_EVENT(kind), what); }

    // What the user works on between backups.
    QTableWidget* journal() {
        const QStringList rows[] = {
            {"01.12.2026", "60.01", "51", "125 400,00", "Оплата поставщику ООО «Север»"},
            {"02.12.2026", "51", "62.01", "310 000,00", "Поступление от покупателя АО «Восток»"},
            {"03.12.2026", "20", "10", "48 750,50", "Списание материалов в производство"},
            {"04.12.2026", "70", "51", "412 300,00", "Выплата заработной платы за ноябрь"},
            {"05.12.2026", "44", "60.01", "18 900,00", "Транспортные услуги"},
        };
        auto* table = new QTableWidget(int(std::size(rows)), 5);
        table->setHorizontalHeaderLabels({QStringLiteral("Дата"), QStringLiteral("Дебет"), QStringLiteral("Кредит"),
                                          QStringLiteral("Сумма"), QStringLiteral("Содержание операции")});
        for (int row = 0; row < int(std::size(rows)); ++row)
            for (int column = 0; column < 5; ++column)
                table->setItem(row, column, new QTableWidgetItem(rows[row][column]));
        table->horizontalHeader()->setStretchLastSection(true);
        table->resizeColumnsToContents();
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        return table;
    }

    Module& module_;
    QPlainTextEdit* log_;
    QTimer clock_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Installed, the module stands in its own folder; in the build tree, in lib/.
    const QDir programs(QCoreApplication::applicationDirPath());
    QString library = programs.filePath(QStringLiteral(VARDOBK_MODULE_FROM_BIN "/libvardobk.so"));
    if (!QFile::exists(library)) library = programs.filePath(QStringLiteral("../lib/libvardobk.so"));
    QString folder = QStringLiteral("vdhost-demo"), screenshot;
    bool quit = false;
    QStringList args = app.arguments().mid(1);
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QStringLiteral("--module") && !args.isEmpty()) library = args.takeFirst();
        else if (arg == QStringLiteral("--screenshot") && !args.isEmpty()) screenshot = args.takeFirst();
        else if (arg == QStringLiteral("--quit")) quit = true;
        else if (!arg.startsWith(QLatin1Char('-'))) folder = arg;
        else {
            std::fprintf(stderr, "usage: vdhost [--module LIBRARY] [--quit] [--screenshot FILE] [FOLDER]\n");
            return 64;
        }
    }

    folder = QDir(folder).absolutePath();
    const QString profile = QDir(folder).filePath(QStringLiteral("vdbackup_host.xml"));
    if (!QFile::exists(profile)) {
        // Beside vdhost in the build tree, beside the module when installed.
        QString maker = programs.filePath(QStringLiteral("vardobk_demo_data"));
        if (!QFile::exists(maker)) maker = QFileInfo(library).dir().filePath(QStringLiteral("vardobk_demo_data"));
        if (QProcess::execute(maker, {folder}) != 0) {
            std::fprintf(stderr, "cannot make the demo folder %s\n", qPrintable(folder));
            return 73;
        }
    }
    if (!read_profile(profile)) {
        std::fprintf(stderr, "cannot read the host parameters from %s\n", qPrintable(profile));
        return 66;
    }
    QDir::setCurrent(folder);  // a host works in its current folder, as the module's relative paths expect

    Module module;
    if (!module.load(library)) {
        std::fprintf(stderr, "cannot load %s: %s\n", qPrintable(library), qPrintable(module.error()));
        return 70;
    }
    HostWindow window(module);
    window.quiet = quit || !screenshot.isEmpty();
    if (const QScreen* screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    QTimer::singleShot(0, &window, [&] {
        window.start();
        if (quit) window.close();
    });
    if (!screenshot.isEmpty()) {
        // The dialog is modal: the photograph is taken from inside its loop,
        // of the host's window with its frame and whatever lies over it.
        QTimer::singleShot(1000, &window, [&] {
            QTimer::singleShot(1500, &window, [&] {
                const QRect shown = window.frameGeometry().adjusted(-8, -8, 8, 8) & window.screen()->geometry();
                const bool saved = window.screen()
                                       ->grabWindow(0, shown.x(), shown.y(), shown.width(), shown.height())
                                       .save(screenshot);
                std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(screenshot));
                if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
            });
            window.call(BK_CMD_BACKUP, BKF_INTERACTIVE, QStringLiteral("создание копии"));
            window.close();
        });
    }
    return app.exec();
}
