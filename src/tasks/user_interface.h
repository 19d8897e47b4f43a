// Everything a command shows the user goes through IUserInterface: message
// boxes, the progress window of a worker task and the dialogs. This layer
// has only the headless implementation, for a machine without a display;
// the module installs the Qt dialogs of src/ui when a display is present,
// and tests install a scripted one.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/host_params.h"
#include "catalogue/catalogue.h"
#include "core/worker_status.h"
#include "settings/settings.h"
#include "tasks/restore_problem.h"

namespace bk {

// Message box types and answers, with the values hosts know from Windows.
inline constexpr uint32_t MB_OK = 0x0;
inline constexpr uint32_t MB_OKCANCEL = 0x1;
inline constexpr uint32_t MB_ABORTRETRYIGNORE = 0x2;
inline constexpr uint32_t MB_YESNOCANCEL = 0x3;
inline constexpr uint32_t MB_YESNO = 0x4;
inline constexpr uint32_t MB_RETRYCANCEL = 0x5;
inline constexpr uint32_t MB_TYPEMASK = 0xF;
inline constexpr uint32_t MB_ICONERROR = 0x10;
inline constexpr uint32_t MB_ICONQUESTION = 0x20;
inline constexpr uint32_t MB_ICONWARNING = 0x30;
inline constexpr uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr uint32_t MB_ICONMASK = 0xF0;
inline constexpr uint32_t MB_DEFBUTTON1 = 0x000;
inline constexpr uint32_t MB_DEFBUTTON2 = 0x100;
inline constexpr uint32_t MB_DEFBUTTON3 = 0x200;
inline constexpr uint32_t MB_DEFMASK = 0xF00;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// The answer of a box nobody can see: its default button, except that a
// Retry/Cancel question is answered Cancel, since nobody can fix the cause.
int unattended_answer(uint32_t type);

// A dialog in which the user must choose cannot be shown (no display). It
// travels up to bkDispatch, which makes it the command's one message.
class dialog_unavailable : public std::runtime_error {
public:
    dialog_unavailable() : std::runtime_error("no display: dialog cannot be shown") {}
};

// What the restore dialog offers: the backups of the catalogue, in catalogue
// order, stored in backup_folder, and any other archive of the archiver's kind.
struct RestoreDialogInput {
    Catalogue catalogue;
    std::wstring backup_folder;
    int32_t archiver = ARCHIVER_7ZIP;  // 0 counts as 7-Zip
};

// What the settings sheet works on. The sheet edits settings; the command
// saves them when the sheet is confirmed.
struct SetupContext {
    std::wstring root_path;
    std::wstring exe_path;       // the host executable
    std::wstring database_path;  // the current database file
    BackupSettings settings;
    HostParamCallback params = nullptr;  // for the filename template's example
    BasicFolders basic_folders;
    FileLocations file_locations;
    HostIdentity identity;
};

class IUserInterface {
public:
    virtual ~IUserInterface() = default;

    // A message box owned by parent with the caption "Резервное копирование".
    virtual int message_box(void* parent, const std::wstring& text, uint32_t type) = 0;

    // Runs work on a worker thread while the progress window shows the
    // headline and the status that work reports; returns once the thread has
    // ended. work must not throw.
    virtual void run_with_progress(void* parent, const std::wstring& headline,
                                   const std::function<void(IWorkerStatus&)>& work) = 0;

    // The dialogs below throw dialog_unavailable when they cannot be shown.

    // The backup dialog: comment, keep time and the components left out, for
    // the given components (those some file group or single file refers to).
    // On OK params holds the choices and the result is true; on Cancel params
    // is untouched. params.flags pass through.
    virtual bool backup_dialog(void* parent, const std::vector<Component>& components,
                               AutoParams& params) = 0;

    // The restore dialog: the full path of the archive chosen (a backup of
    // the catalogue or another file), or nothing when the user canceled.
    virtual std::optional<std::wstring> restore_dialog(void* parent, const RestoreDialogInput& input) = 0;

    // The files a restore from archive could not put back. It only informs.
    virtual void restore_warnings(void* parent, const std::wstring& archive,
                                  const std::vector<RestoreProblem>& problems) = 0;

    // The settings sheet over context.settings; true when the user confirmed.
    virtual bool settings_sheet(void* parent, SetupContext& context) = 0;
};

// The interface in use: the one installed last, otherwise the headless one.
IUserInterface& user_interface();
// Installs ui (not owned) for the following commands; nullptr goes back to
// the default.
void set_user_interface(IUserInterface* ui);

}  // namespace bk
