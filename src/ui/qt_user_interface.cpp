#include <QApplication>
#include <QThread>
#include <cstdlib>

#include "core/string_table.h"
#include "tasks/headless_ui.h"
#include "ui/backup_dlg.h"
#include "ui/desktop.h"
#include "ui/message_box.h"
#include "ui/restore_dlg.h"
#include "ui/setup_sheet.h"
#include "ui/wait_dlg.h"

// Outside any namespace, as Qt's resource initialiser must be.
static void init_module_icons() { Q_INIT_RESOURCE(icons); }

namespace bk::ui {
namespace {

bool env_set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// A host without Qt gets the module's own application object at the first
// dialog, kept to the end of the process: Qt allows one per process, and
// it cannot be made again once destroyed.
bool ensure_application() {
    static const bool icons = (init_module_icons(), true);
    (void)icons;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "vardobk";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    // Widgets live on the thread of the application object; a call from any
    // other thread gets what a machine without a display gets.
    return qobject_cast<QApplication*>(QCoreApplication::instance()) &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

// The owner of a box or dialog: the dialog in front, else the host's window.
QWidget* owner(void* parent) {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return host_widget(parent);
}

int run_modal(QDialog& dialog, void* parent) {
    attach_to_host(&dialog, parent);
    return dialog.exec();
}

class QtUserInterface final : public IUserInterface {
public:
    int message_box(void* parent, const std::wstring& text, uint32_t type) override {
        if (!ensure_application()) return headless_.message_box(parent, text, type);
        return show_message_box(owner(parent), text, type);
    }

    void run_with_progress(void* parent, const std::wstring& headline,
                           const std::function<void(IWorkerStatus&)>& work) override {
        if (!ensure_application()) return headless_.run_with_progress(parent, headline, work);
        QWidget* host = owner(parent);
        CWaitDlg dialog(host, qs(headline));
        attach_to_host(&dialog, parent);
        dialog.run(work);
        if (host) host->activateWindow();
    }

    bool backup_dialog(void* parent, const std::vector<Component>& components, AutoParams& params) override {
        if (!ensure_application()) return headless_.backup_dialog(parent, components, params);
        CBackupDlg dialog(owner(parent), components, params);
        if (run_modal(dialog, parent) != QDialog::Accepted) return false;
        params = dialog.params();
        return true;
    }

    std::optional<std::wstring> restore_dialog(void* parent, const RestoreDialogInput& input) override {
        if (!ensure_application()) return headless_.restore_dialog(parent, input);
        CRestoreDlg dialog(owner(parent), input.backup_folder, input.catalogue, input.archiver);
        if (run_modal(dialog, parent) != QDialog::Accepted) return std::nullopt;
        return dialog.archive();
    }

    void restore_warnings(void* parent, const std::wstring& archive,
                          const std::vector<RestoreProblem>& problems) override {
        if (!ensure_application()) return headless_.restore_warnings(parent, archive, problems);
        CRestoreWrnDlg dialog(owner(parent), archive, problems);
        run_modal(dialog, parent);
    }

    bool settings_sheet(void* parent, SetupContext& context) override {
        if (!ensure_application()) return headless_.settings_sheet(parent, context);
        CSetupSheet sheet(owner(parent), context);
        return run_modal(sheet, parent) == QDialog::Accepted;
    }

private:
    HeadlessUserInterface headless_;
};

}  // namespace

bool display_present() {
    return env_set("DISPLAY") || env_set("WAYLAND_DISPLAY") || env_set("QT_QPA_PLATFORM");
}

IUserInterface& qt_user_interface() {
    static QtUserInterface ui;
    return ui;
}

}  // namespace bk::ui
