#include "archivers/archiver.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "core/string_table.h"
#include "archivers/archiver_7z.h"
#include "archivers/archiver_rar.h"
#include "rkit/command_line_quote.h"
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

}  // namespace

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
    return rkit::quote_argument(path);
}

int32_t BaseArchiver::run(const std::wstring& command_line, const std::wstring& work_dir,
                          const std::wstring& archive, const std::wstring& password, std::string* transcript) {
    archive_ = archive;
    typing_password_ = !password.empty();
    stop_requested_ = false;
    password_prompt_ = false;
    last_lines_.clear();
    ConsoleOptions options;
    options.password = rkit::wide_to_char(password);
    options.transcript = transcript;
    return run_console_process(command_line, work_dir, this, options);
}

void BaseArchiver::check_result(int32_t code) {
    if (code == 0) return;
    try {
        check_exit_code(code);
    } catch (const task_canceled&) {
        throw;
    } catch (const std::runtime_error& e) {
        const std::string details = error_details();
        if (details.empty()) throw;
        throw std::runtime_error(std::string(e.what()) + ": " + details);
    }
}

std::string BaseArchiver::error_details() const {
    // From the end: the error that ended the run is the last one. An error
    // repeated for file after file (its first three words the same) is told
    // once.
    constexpr size_t most = 3;
    std::vector<std::wstring> texts, kinds;
    for (auto line = last_lines_.rbegin(); line != last_lines_.rend() && texts.size() < most; ++line) {
        std::wstring text = error_text(*line);
        // 7-Zip names the archive before its complaint, or alone on a line above it.
        if (!archive_.empty() && text.starts_with(archive_ + L" : ")) text.erase(0, archive_.size() + 3);
        if (text.empty() || text == archive_) continue;
        size_t words_end = 0;
        for (int words = 0; words < 3 && words_end != std::wstring::npos; ++words)
            words_end = text.find(L' ', text.find_first_not_of(L' ', words_end));
        std::wstring kind = text.substr(0, words_end);
        if (std::find(kinds.begin(), kinds.end(), kind) != kinds.end()) continue;
        kinds.push_back(std::move(kind));
        texts.insert(texts.begin(), std::move(text));
    }
    std::wstring joined;
    for (const std::wstring& text : texts) joined += (joined.empty() ? L"" : L"; ") + text;
    return rkit::wide_to_char(joined);
}

std::wstring BaseArchiver::error_text(const std::wstring& line) const {
    // A field of a listing ("Path = NAME", "Name: NAME") holds a file name, whatever its words.
    const std::wstring_view field = std::wstring_view(line).substr(std::min(line.find_first_not_of(L' '), line.size()));
    if (field.starts_with(L"Path = ") || field.starts_with(L"Name: ")) return {};
    for (const wchar_t* phrase : error_phrases()) {
        const size_t at = line.find(phrase);
        if (at == std::wstring::npos) continue;
        // What stands before the message is a progress line it overwrote.
        size_t begin = 0;
        if (const size_t error = line.rfind(L"ERROR: "); error != std::wstring::npos)
            begin = error + 7;
        else if (const size_t percent = line.rfind(L'%', at); percent != std::wstring::npos)
            begin = percent + 1;
        std::wstring text = rkit::trim_blanks(std::wstring_view(line).substr(begin));
        // The choices of a question the archiver could not ask ("[R]etry, [A]bort").
        const size_t choices = text.find(L" [");
        if (choices != std::wstring::npos && choices + 3 < text.size() && text[choices + 3] == L']' &&
            text.find(L", [", choices) != std::wstring::npos)
            text = rkit::trim_blanks(std::wstring_view(text).substr(0, choices));
        return text;
    }
    return {};
}

bool BaseArchiver::on_console_poll(const HiddenConsole& console) {
    if (!status_) return true;
    if (status_->canceled()) {
        stop_requested_ = true;
        return false;
    }
    if (operation_ == idle) return true;  // a listing shows no progress
    TaskStatus status = status_->get_status();
    if (parse_progress(console, status)) status_->set_status(status);
    return true;
}

// The runner types the password at the first prompts only; a prompt it
// refuses means that password was wrong.
void BaseArchiver::on_console_question(const HiddenConsole& console) {
    if (console.screen().cursor_line().find(L"Enter password") != std::wstring::npos) password_prompt_ = true;
}

// Without a password to type, an archiver that meets a question stops
// within microseconds, before any poll; its last screen still shows what it
// asked.
void BaseArchiver::on_console_end(const HiddenConsole& console) {
    if (!typing_password_ && shows_password_prompt(console.screen())) password_prompt_ = true;
    last_lines_ = console.screen().recent_lines();
}

void BaseArchiver::ran_into_stop(const char* prefix, const char* stop_text) const {
    if (stop_requested_) throw task_canceled();
    // Nobody can answer the archiver's questions but the password prompt,
    // and it stops at the first other one. A password question it stopped
    // at means the settings hold no password, or a wrong one, for an
    // encrypted archive.
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

std::vector<std::wstring> list_entries(const ArchiverSettings& settings, const std::wstring& archive) {
    return create_archiver(settings.archiver, settings.exe_path, nullptr)->list_entries(archive, settings.password);
}

// ---------------------------------------------------------------------------

namespace archiver_detail {

std::wstring extraction_command(const std::wstring& program, const std::wstring& archive, const std::wstring& entry,
                                const std::wstring& options, bool ask_password, uint32_t flags) {
    std::wstring line = program + L" x " + rkit::quote_argument(archive);
    if (flags & ARCHIVE_YES_TO_ALL) line += L" -y";
    if (ask_password) line += L" -p";
    if (!options.empty()) line += L' ' + options;
    if (!entry.empty()) line += L' ' + rkit::quote_argument(entry);
    return line;
}

std::vector<std::wstring> transcript_lines(const std::string& transcript) {
    std::vector<std::wstring> lines;
    const std::wstring text = rkit::char_to_wide(transcript);
    for (size_t begin = 0; begin < text.size();) {
        size_t end = text.find(L'\n', begin);
        if (end == std::wstring::npos) end = text.size();
        size_t last = end;
        if (last > begin && text[last - 1] == L'\r') --last;
        lines.push_back(text.substr(begin, last - begin));
        begin = end + 1;
    }
    return lines;
}

std::wstring join_options(const std::wstring& first, const std::wstring& second) {
    if (first.empty()) return second;
    if (second.empty()) return first;
    return first + L' ' + second;
}

}  // namespace archiver_detail

}  // namespace bk
