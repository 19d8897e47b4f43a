// The archivers: every archive is made and read by an outside console
// program (7-Zip or RAR) that a driver runs on a pseudo-terminal. A driver
// builds the program's command line, turns its progress line into the task's
// status and its exit code into an exception.
//
// This header holds what both drivers share: the archiver kinds, the driver
// interface and its base, the factory, locating the program, the operations
// with the backup settings and the temporary names the archivers work with.
#pragma once
#include <exception>

#include "rkit/files.h"
#include "rkit/temp_files.h"
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "archivers/console_runner.h"
#include "core/worker_status.h"
#include "settings/settings.h"

namespace bk {

// ARCHIVER_7ZIP (1) or ARCHIVER_RAR (2); ARCHIVER_DEFAULT (0) is read as
// 7-Zip wherever a kind is looked up.
using ArchiverKind = int32_t;

// The kind whose extension (".7z", ".rar") path has, without regard to case; -1 when none.
ArchiverKind archiver_kind_from_path(const std::wstring& path);
// "7z" / "Rar", ".7z" / ".rar", "7z" / "rar"; empty for an unknown kind.
std::wstring archiver_name(ArchiverKind kind);
std::wstring archiver_extension(ArchiverKind kind);
std::wstring archiver_program_file(ArchiverKind kind);
// path with the kind's extension added when it has none.
std::wstring archiver_default_extension(const std::wstring& path, ArchiverKind kind);
// What the settings page accepts as the program path of kind: an existing
// folder that holds the program, or the program file itself.
bool is_valid_archiver_path(ArchiverKind kind, const std::wstring& exe_path);

// Bits of the flags argument of the archiver operations.
inline constexpr uint32_t ARCHIVE_RECURSE = 0x1;     // compress: into subfolders
inline constexpr uint32_t ARCHIVE_YES_TO_ALL = 0x1;  // extract: answer yes to every question
inline constexpr uint32_t ARCHIVE_OPEN_FILES = 0x2;  // compress: also files others hold open for writing
inline constexpr uint32_t ARCHIVE_LIST_FILE = 0x4;   // compress: source is a list file

// Arguments shared by the operations: archive is a full path; options are
// the user's extra switches, put on the command line as typed; an empty
// password means none, and a password is typed at the archiver's own prompt,
// never put on its command line; level is 0..9, anything else means the
// archiver's default. Failures are exceptions: std::runtime_error with a
// short English text, followed by the archiver's own error lines when it
// printed any; task_canceled when the status sink asked to stop.
class IArchiver {
public:
    virtual ~IArchiver() = default;
    virtual int archiver_type() const = 0;
    // Adds source (a path or mask relative to work_dir, or a list file) to archive.
    virtual void compress(const std::wstring& work_dir, const std::wstring& archive,
                          const std::wstring& source, const std::wstring& options,
                          const std::wstring& password, uint32_t flags, int32_t level) = 0;
    // Adds files (full paths) to archive, stored under their full paths
    // without the leading "/".
    virtual void compress_files(const std::vector<std::wstring>& files, const std::wstring& archive,
                                const std::wstring& options, const std::wstring& password,
                                uint32_t flags, int32_t level) = 0;
    // Extracts the whole archive, or only entry when it is not empty, into dest_dir.
    virtual void extract(const std::wstring& dest_dir, const std::wstring& archive,
                         const std::wstring& entry, const std::wstring& options,
                         const std::wstring& password, uint32_t flags) = 0;
    // The names of the archive's file entries as stored ("/" between the
    // parts, no leading "/"), read from its headers only; password opens
    // encrypted headers.
    virtual std::vector<std::wstring> list_entries(const std::wstring& archive, const std::wstring& password) = 0;
};

// What a driver has in common: the program path, the operation under way,
// the status sink fed from the console, and how a run ends.
class BaseArchiver : public IArchiver, private IConsoleCallback {
public:
    enum Operation : int32_t { idle = 0, compressing = 1, extracting = 2 };

    // exe_path: a folder, the program file or empty (PATH); status may be null.
    BaseArchiver(std::wstring exe_path, IWorkerStatus* status);

    // Reads the progress line of the run from console into status; false when
    // there is nothing to show.
    virtual bool parse_progress(const HiddenConsole& console, TaskStatus& status) = 0;
    // Returns for a success or a warning, throws for anything else. How the
    // last run ended decides between a cancel and a failure for the codes of
    // a stop (see ran_into_stop).
    virtual void check_exit_code(int32_t code) = 0;

    // The quoted path of the program: exe_path as a folder that holds it, as
    // the program itself, or, when empty, found in PATH.
    std::wstring find_executable() const;

    Operation current_operation() const { return operation_; }

protected:
    // The file name of the driver's program ("7z", "rar").
    virtual std::wstring program_file() const = 0;

    // Runs command_line about archive in work_dir on a pseudo-terminal,
    // feeding the status sink while an operation is under way; password (if
    // any) is typed at the archiver's prompts, transcript (if given) receives
    // its output. Returns the exit code; see check_result.
    int32_t run(const std::wstring& command_line, const std::wstring& work_dir, const std::wstring& archive,
                const std::wstring& password, std::string* transcript = nullptr);
    // Hands a non-zero exit code of the last run to check_exit_code, and adds
    // the archiver's own error lines to the message of a failure.
    void check_result(int32_t code);
    // The archiver's error lines of the last run (the last few distinct ones,
    // joined by "; "); empty when it printed none.
    std::string error_details() const;
    // Phrases by which the driver's program reports errors.
    virtual std::span<const wchar_t* const> error_phrases() const = 0;
    // The last lines the archiver wrote in the last run, oldest first.
    const std::vector<std::wstring>& last_lines() const { return last_lines_; }

    // For check_exit_code of a stop code (255, Control+C): task_canceled when
    // this module asked for the stop; otherwise a failure with
    // "<prefix>: wrong or missing password" when the archiver stopped at a
    // password prompt, else with "<prefix>: <stop_text>".
    [[noreturn]] void ran_into_stop(const char* prefix, const char* stop_text) const;
    // The message of a code no table knows: a crash (both top bits set) or unknown.
    [[noreturn]] static void unknown_exit_code(const char* prefix, int32_t code);

    // The status text of a progress line: the operation's label, the file
    // name and, unless percent is negative, the percent, which also becomes
    // the progress of status.
    void show_file_progress(TaskStatus& status, const std::wstring& file, int32_t percent) const;

    // Marks an operation for its duration, also when it ends by an exception.
    // Given the archive a compression makes, it also removes what a failed or
    // stopped run left of a new archive: rar does not always do so itself
    // when it is stopped early.
    class OperationScope {
    public:
        OperationScope(BaseArchiver& archiver, Operation operation, std::wstring new_archive = {})
            : archiver_(archiver), exceptions_(std::uncaught_exceptions()) {
            archiver_.operation_ = operation;
            if (!new_archive.empty() && !rkit::file_exists(new_archive)) new_archive_ = std::move(new_archive);
        }
        ~OperationScope() {
            archiver_.operation_ = idle;
            if (!new_archive_.empty() && std::uncaught_exceptions() > exceptions_) rkit::file_delete(new_archive_);
        }
        OperationScope(const OperationScope&) = delete;
        OperationScope& operator=(const OperationScope&) = delete;

    private:
        BaseArchiver& archiver_;
        int exceptions_;
        std::wstring new_archive_;
    };

private:
    bool on_console_poll(const HiddenConsole& console) override;
    void on_console_question(const HiddenConsole& console) override;
    void on_console_end(const HiddenConsole& console) override;
    // The error of line: the part after its "ERROR: " or progress percent;
    // empty when it holds none of the driver's phrases.
    std::wstring error_text(const std::wstring& line) const;

    std::wstring exe_path_;
    Operation operation_ = idle;
    IWorkerStatus* status_;
    // The current or last run: its archive, whether a password was typed,
    // and how it went beyond its exit code.
    std::wstring archive_;
    bool typing_password_ = false;
    bool stop_requested_ = false;
    bool password_prompt_ = false;
    std::vector<std::wstring> last_lines_;
};

// True when the screen shows a password question of 7-Zip or RAR. Without a
// password to type their input is /dev/null, so such a question ends the
// run with the code of a stop.
bool shows_password_prompt(const ConsoleScreen& screen);

// The driver of kind: 0 or 1 gives 7-Zip, 2 RAR; any other kind throws
// std::logic_error "archiver not supported".
std::unique_ptr<IArchiver> create_archiver(ArchiverKind kind, const std::wstring& exe_path,
                                           IWorkerStatus* status);

// The operations with the settings: the archiver, its program path, the
// password and level come from settings; the options are common_options and
// the operation's own options.
//
// Adds source (relative to work_dir) to archive, without progress.
void compress(const ArchiverSettings& settings, const std::wstring& work_dir,
              const std::wstring& archive, const std::wstring& source);
// Adds files (full paths) to archive, also files other programs have open.
void compress_files(const ArchiverSettings& settings, const std::vector<std::wstring>& files,
                    const std::wstring& archive, IWorkerStatus* status);
// Extracts the whole archive (entry empty) or one entry into dest_dir.
void extract_with_settings(const ArchiverSettings& settings, const std::wstring& dest_dir,
                           const std::wstring& archive, const std::wstring& entry,
                           IWorkerStatus* status);
// The names of the archive's file entries (IArchiver::list_entries).
std::vector<std::wstring> list_entries(const ArchiverSettings& settings, const std::wstring& archive);

// Internal helpers of the drivers' command lines and progress parsers.
namespace archiver_detail {
// options joined with a blank when both are given.
std::wstring join_options(const std::wstring& first, const std::wstring& second);
// "<program> x archive [-y] [-p] [options] [entry]": both archivers take the
// same extraction switches; a bare -p makes the archiver ask for the password.
std::wstring extraction_command(const std::wstring& program, const std::wstring& archive, const std::wstring& entry,
                                const std::wstring& options, bool ask_password, uint32_t flags);
// The lines of a terminal's transcript, without the "\r" it puts before "\n".
std::vector<std::wstring> transcript_lines(const std::string& transcript);
}  // namespace archiver_detail

}  // namespace bk
