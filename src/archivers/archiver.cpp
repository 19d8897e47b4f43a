#include "archivers/archiver.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cwchar>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "app/string_table.h"
#include "archivers/archiver_7z.h"
#include "archivers/archiver_rar.h"
#include "rkit/files.h"
#include "rkit/path.h"
#include "rkit/text.h"

namespace bk {

namespace {

struct KindInfo {
    const wchar_t* name;
    const wchar_t* extension;
    const wchar_t* program;
};

constexpr KindInfo seven_zip{L"7z", L".7z", L"7z"};
constexpr KindInfo rar{L"Rar", L".rar", L"rar"};
constexpr KindInfo unknown{L"", L"", L""};

const KindInfo& info(ArchiverKind kind) {
    if (kind == ARCHIVER_DEFAULT || kind == ARCHIVER_7ZIP) return seven_zip;
    if (kind == ARCHIVER_RAR) return rar;
    return unknown;
}

bool is_executable_file(const std::wstring& path) {
    struct stat st {};
    const std::string native = rkit::native_path(path);
    return ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(native.c_str(), X_OK) == 0;
}

// The program in the folders of PATH, as a shell would find it; empty when
// it is in none of them.
std::wstring search_path(const std::wstring& program) {
    const char* env = ::getenv("PATH");
    std::wstringstream dirs(rkit::from_native_path(env ? env : ""));
    std::wstring dir;
    while (std::getline(dirs, dir, L':')) {
        // An empty entry is the current folder.
        const std::wstring candidate = rkit::concat_path(dir.empty() ? rkit::get_current_dir() : dir, program);
        if (is_executable_file(candidate)) return candidate;
    }
    return {};
}

// The temporary folder, or the nearest of its parents that exists.
std::wstring existing_temp_dir() {
    std::wstring dir = rkit::temp_dir();
    if (dir.empty()) throw std::runtime_error("error getting temp directory");
    while (!rkit::dir_exists(dir)) {
        const std::wstring parent = rkit::extract_dir(dir);
        if (parent.empty() || parent == dir) throw std::runtime_error("temp directory not exists");
        dir = parent;
    }
    return dir;
}

std::string name_template() {
    return rkit::native_path(rkit::concat_path(existing_temp_dir(), L"vdkXXXXXX"));
}

}  // namespace

ArchiverKind archiver_kind_from_name(const std::wstring& name) {
    if (rkit::equal_no_case(name, seven_zip.name)) return ARCHIVER_7ZIP;
    if (rkit::equal_no_case(name, rar.name)) return ARCHIVER_RAR;
    return -1;
}

ArchiverKind archiver_kind_from_path(const std::wstring& path) {
    const std::wstring ext = rkit::extract_ext(path);
    if (rkit::equal_no_case(ext, seven_zip.extension)) return ARCHIVER_7ZIP;
    if (rkit::equal_no_case(ext, rar.extension)) return ARCHIVER_RAR;
    return -1;
}

std::wstring archiver_name(ArchiverKind kind) { return info(kind).name; }
std::wstring archiver_extension(ArchiverKind kind) { return info(kind).extension; }
std::wstring archiver_program_file(ArchiverKind kind) { return info(kind).program; }

std::wstring archiver_default_extension(const std::wstring& path, ArchiverKind kind) {
    return rkit::default_extension(path, archiver_extension(kind));
}

bool is_valid_archiver_path(ArchiverKind kind, const std::wstring& exe_path) {
    const std::wstring program = archiver_program_file(kind);
    if (program.empty() || exe_path.empty()) return false;
    if (rkit::dir_exists(exe_path)) return rkit::file_exists(rkit::concat_path(exe_path, program));
    return rkit::extract_name_ext(exe_path) == program && rkit::file_exists(exe_path);
}

// ---------------------------------------------------------------------------

BaseArchiver::BaseArchiver(std::wstring exe_path, IWorkerStatus* status)
    : exe_path_(std::move(exe_path)), status_(status) {}

std::wstring BaseArchiver::find_executable() const {
    const std::wstring program = program_file();
    std::wstring path;
    if (exe_path_.empty()) {
        path = search_path(program);
        if (path.empty()) throw std::runtime_error("archiver not found: " + rkit::wide_to_char(program));
    } else if (rkit::dir_exists(exe_path_)) {
        path = rkit::concat_path(exe_path_, program);
    } else {
        const std::wstring name = rkit::extract_name_ext(exe_path_);
        if (name != program) throw std::runtime_error("invalid archiver filename: " + rkit::wide_to_char(name));
        path = exe_path_;
    }
    if (!rkit::file_exists(path)) throw std::runtime_error("archiver not found at: " + rkit::wide_to_char(path));
    return archiver_detail::quote(path);
}

void BaseArchiver::run(const std::wstring& command_line, const std::wstring& work_dir) {
    stop_requested_ = false;
    password_prompt_ = false;
    const int32_t code = run_console_process(command_line, work_dir, this);
    if (code != 0) check_exit_code(code);
}

bool BaseArchiver::on_console_poll(const HiddenConsole& console) {
    note_console(console.screen());
    if (!status_) return true;
    if (status_->canceled()) {
        stop_requested_ = true;
        return false;
    }
    TaskStatus status = status_->get_status();
    if (parse_progress(console, status)) status_->set_status(status);
    return true;
}

// An archiver that meets a question stops within microseconds, before any
// poll; its last screen still shows what it asked.
void BaseArchiver::on_console_end(const HiddenConsole& console) { note_console(console.screen()); }

void BaseArchiver::note_console(const ConsoleScreen& screen) {
    if (!password_prompt_ && shows_password_prompt(screen)) password_prompt_ = true;
}

void BaseArchiver::ran_into_stop(const char* prefix, const char* stop_text) const {
    if (stop_requested_) throw task_canceled();
    // Nobody can answer the archiver's questions: its input is /dev/null, and
    // it stops at the first one. A password question means the settings hold
    // no password, or a wrong one, for an encrypted archive.
    if (password_prompt_) throw std::runtime_error(std::string(prefix) + ": wrong or missing password");
    throw std::runtime_error(std::string(prefix) + ": " + stop_text);
}

void BaseArchiver::unknown_exit_code(const char* prefix, int32_t code) {
    const uint32_t bits = static_cast<uint32_t>(code);
    if ((bits & 0xC0000000u) == 0xC0000000u) {
        std::ostringstream text;
        text << prefix << ": aborted by exception (code: " << std::hex << bits << ")";
        throw std::runtime_error(text.str());
    }
    throw std::runtime_error(std::string(prefix) + ": unknown exit code " + std::to_string(code));
}

void BaseArchiver::show_file_progress(TaskStatus& status, const std::wstring& file, int32_t percent) const {
    status.text = load_string(operation_ == extracting ? ids::STATUS_EXTRACTING : ids::STATUS_COMPRESSING);
    status.text += L'\n';
    status.text += file;
    if (percent >= 0) {
        status.progress = percent;
        status.text += L'\n' + std::to_wstring(percent) + L'%';
    }
}

bool shows_password_prompt(const ConsoleScreen& screen) {
    // 7-Zip: "Enter password (will not be echoed):"; RAR adds " for NAME:".
    for (int row = 0; row < screen.rows(); ++row)
        if (screen.line(row).find(L"Enter password") != std::wstring::npos) return true;
    return false;
}

// ---------------------------------------------------------------------------

std::unique_ptr<IArchiver> create_archiver(ArchiverKind kind, const std::wstring& exe_path,
                                           IWorkerStatus* status) {
    if (kind == ARCHIVER_DEFAULT || kind == ARCHIVER_7ZIP) return std::make_unique<Archiver_7z>(exe_path, status);
    if (kind == ARCHIVER_RAR) return std::make_unique<Archiver_Rar>(exe_path, status);
    throw std::logic_error("archiver not supported");
}

void compress(const ArchiverSettings& settings, const std::wstring& work_dir, const std::wstring& archive,
              const std::wstring& source) {
    const auto archiver = create_archiver(settings.archiver, settings.exe_path, nullptr);
    archiver->compress(work_dir, archive, source,
                       archiver_detail::join_options(settings.common_options, settings.compress_options),
                       settings.password, 0, settings.compress_level);
}

void compress_files(const ArchiverSettings& settings, const std::vector<std::wstring>& files,
                    const std::wstring& archive, IWorkerStatus* status) {
    const auto archiver = create_archiver(settings.archiver, settings.exe_path, status);
    archiver->compress_files(files, archive,
                             archiver_detail::join_options(settings.common_options, settings.compress_options),
                             settings.password, ARCHIVE_OPEN_FILES, settings.compress_level);
}

void extract_with_settings(const ArchiverSettings& settings, const std::wstring& dest_dir,
                           const std::wstring& archive, const std::wstring& entry, IWorkerStatus* status) {
    const auto archiver = create_archiver(settings.archiver, settings.exe_path, status);
    archiver->extract(dest_dir, archive, entry,
                      archiver_detail::join_options(settings.common_options, settings.extract_options),
                      settings.password, 0);
}

// ---------------------------------------------------------------------------

std::wstring make_temp_file_name() {
    std::string name = name_template();
    const int fd = ::mkstemp(name.data());
    if (fd < 0) throw std::runtime_error("error creating temp filename");
    ::close(fd);
    return rkit::from_native_path(name);
}

std::wstring make_temp_folder() {
    // mkdtemp makes the folder atomically under a name nobody else holds,
    // which a file made and then swapped for a folder would not.
    std::string name = name_template();
    if (!::mkdtemp(name.data())) throw std::runtime_error("error creating temp filename");
    return rkit::from_native_path(name);
}

TempFile::~TempFile() {
    if (!path_.empty()) rkit::file_delete(path_);
}

TempFolder::~TempFolder() {
    if (!path_.empty()) rkit::dir_deep_delete(path_);
}

// ---------------------------------------------------------------------------

namespace archiver_detail {

std::wstring quote(const std::wstring& argument) {
    // Backslashes count only before a double quote: double those, and escape
    // the quote itself, so that any file name survives the splitting.
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

bool parse_int(std::wstring_view text, int32_t& value) {
    if (text.empty()) return false;
    const std::wstring copy(text);
    wchar_t* end = nullptr;
    errno = 0;
    const long number = std::wcstol(copy.c_str(), &end, 10);
    if (end == copy.c_str() || *end != L'\0' || errno == ERANGE) return false;
    if (number < std::numeric_limits<int32_t>::min() || number > std::numeric_limits<int32_t>::max()) return false;
    value = static_cast<int32_t>(number);
    return true;
}

std::wstring extraction_command(const std::wstring& program, const std::wstring& archive, const std::wstring& entry,
                                const std::wstring& options, const std::wstring& password, uint32_t flags) {
    std::wstring line = program + L" x " + quote(archive);
    if (flags & ARCHIVE_YES_TO_ALL) line += L" -y";
    if (!password.empty()) line += L" -p" + password;
    if (!options.empty()) line += L' ' + options;
    if (!entry.empty()) line += L' ' + quote(entry);
    return line;
}

std::wstring join_options(const std::wstring& first, const std::wstring& second) {
    if (first.empty()) return second;
    if (second.empty()) return first;
    return first + L' ' + second;
}

}  // namespace archiver_detail

}  // namespace bk
