#include "archivers/archiver_rar.h"

#include <algorithm>
#include <set>
#include <stdexcept>

#include "rkit/command_line_quote.h"
#include "rkit/decimal.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "rkit/text_file_stream.h"

namespace bk {

using rkit::quote_argument;

namespace {
constexpr const char* prefix = "rar";
}

int rar_method(int32_t level) {
    static constexpr int methods[10] = {0, 1, 1, 2, 2, 3, 4, 4, 5, 5};
    return level >= 0 && level <= 9 ? methods[level] : -1;
}

std::wstring Archiver_Rar::compress_command(const std::wstring& archive, const std::wstring& source,
                                            const std::wstring& options, const std::wstring& password,
                                            uint32_t flags, int32_t level) const {
    std::wstring line = find_executable() + L" a " + quote_argument(archive);
    if (flags & ARCHIVE_RECURSE) line += L" -r";
    if (flags & ARCHIVE_OPEN_FILES) line += L" -dh";
    if (const int method = rar_method(level); method >= 0) line += L" -m" + std::to_wstring(method);
    if (!password.empty()) line += L" -p";
    if (!options.empty()) line += L' ' + options;
    if (flags & ARCHIVE_LIST_FILE)
        line += L" @" + quote_argument(source);
    else
        line += L' ' + quote_argument(source);
    return line;
}

std::wstring Archiver_Rar::extract_command(const std::wstring& archive, const std::wstring& entry,
                                           const std::wstring& options, const std::wstring& password,
                                           uint32_t flags) const {
    return archiver_detail::extraction_command(find_executable(), archive, entry, options, !password.empty(), flags);
}

int32_t Archiver_Rar::run_compress(const std::wstring& work_dir, const std::wstring& archive,
                                   const std::wstring& source, const std::wstring& options,
                                   const std::wstring& password, uint32_t flags, int32_t level) {
    return run(compress_command(archive, source, options, password, flags, level), work_dir, archive, password);
}

void Archiver_Rar::compress(const std::wstring& work_dir, const std::wstring& archive, const std::wstring& source,
                            const std::wstring& options, const std::wstring& password, uint32_t flags,
                            int32_t level) {
    OperationScope operation(*this, compressing, archive);
    check_result(run_compress(work_dir, archive, source, options, password, flags, level));
}

void Archiver_Rar::compress_files(const std::vector<std::wstring>& files, const std::wstring& archive,
                                  const std::wstring& options, const std::wstring& password, uint32_t flags,
                                  int32_t level) {
    OperationScope operation(*this, compressing, archive);
    const rkit::TempFile list;
    rkit::text_file_stream stream;
    if (!stream.open(list.path(), rkit::text_file_stream::create, rkit::text_encoding(2)))
        throw std::runtime_error("can't create file: " + rkit::wide_to_char(list.path()));
    for (const std::wstring& path : files) stream.write_line(path);
    // A list cut short would leave files out of the backup without a word.
    if (!stream.ok()) throw std::runtime_error("can't create file: " + rkit::wide_to_char(list.path()));
    stream.close();
    const int32_t code = run_compress(rkit::get_current_dir(), archive, list.path(), options, password,
                                      flags | ARCHIVE_LIST_FILE, level);
    // "File open error" for files of the list that could not be read, and
    // "no files to process" when one of them is gone, which RAR names one by
    // one ("Cannot open PATH"), while the archive got the rest. Anything else
    // it could not open (the archive, the list) fails.
    if ((code == 6 || code == 10) && rkit::file_exists(archive)) {
        const std::set<std::wstring> sources(files.begin(), files.end());
        const auto& lines = last_lines();
        if (std::all_of(lines.begin(), lines.end(), [&](const std::wstring& line) {
                return !line.starts_with(L"Cannot ") ||
                       (line.starts_with(L"Cannot open ") && sources.count(line.substr(12)));
            }))
            return;
    }
    check_result(code);
}

void Archiver_Rar::extract(const std::wstring& dest_dir, const std::wstring& archive, const std::wstring& entry,
                           const std::wstring& options, const std::wstring& password, uint32_t flags) {
    OperationScope operation(*this, extracting);
    const int32_t code = run(extract_command(archive, entry, options, password, flags), dest_dir, archive, password);
    fail_on_errors(code, false);
}

std::vector<std::wstring> Archiver_Rar::list_entries(const std::wstring& archive, const std::wstring& password) {
    OperationScope operation(*this, idle);
    std::string transcript;
    // No -p: RAR asks only when the headers are encrypted.
    const int32_t code = run(find_executable() + L" vt " + quote_argument(archive), L"", archive, password, &transcript);
    fail_on_errors(code, true);
    // "        Name: home/u/a.txt" and, a few lines on, "        Type: File".
    std::vector<std::wstring> entries;
    for (const std::wstring& line : archiver_detail::transcript_lines(transcript)) {
        const size_t start = line.find_first_not_of(L' ');
        if (start == std::wstring::npos) continue;
        const std::wstring_view field = std::wstring_view(line).substr(start);
        if (field.starts_with(L"Name: "))
            entries.emplace_back(field.substr(6));
        else if (field == L"Type: Directory" && !entries.empty())
            entries.pop_back();
    }
    return entries;
}

void Archiver_Rar::fail_on_errors(int32_t code, bool even_on_success) {
    if (code == 1 || (code == 0 && even_on_success)) {
        const std::string details = error_details();
        if (!details.empty()) throw std::runtime_error(std::string(prefix) + ": " + details);
    }
    check_result(code);
}

std::span<const wchar_t* const> Archiver_Rar::error_phrases() const {
    static constexpr const wchar_t* phrases[] = {
        L"ERROR: ",           L"is not RAR archive",  L"checksum error",   L"Unexpected end of archive",
        L"password is incorrect", L"Incorrect password", L"Write error",   L"Cannot open",
        L"Cannot create",     L"Cannot read",         L"No files to extract", L"Not enough memory",
        L"is corrupt",        L"Corrupt header",      L"Cannot find volume",  L"No space left",
        L"Permission denied"};
    return phrases;
}

bool Archiver_Rar::parse_progress(const HiddenConsole& console, TaskStatus& status) {
    return parse_progress_line(console.screen().cursor_line(), status);
}

bool Archiver_Rar::parse_progress_line(const std::wstring& raw, TaskStatus& status) const {
    const std::wstring line = rkit::trim_blanks(raw);
    const size_t first_blank = line.find_first_of(L" \t");
    if (first_blank == std::wstring::npos) return false;
    const size_t last_blank = line.find_last_of(L" \t");
    const std::wstring last = rkit::trim_blanks(std::wstring_view(line).substr(last_blank + 1));

    size_t name_end = line.size();
    int32_t percent = -1;
    // A localised RAR writes "ОК" in Cyrillic letters.
    if (last == L"OK" || last == L"\u041E\u041A") {
        name_end = last_blank;
    } else if (last.ends_with(L'%') &&
               rkit::parse_int32(std::wstring_view(last).substr(0, last.size() - 1), percent)) {
        name_end = last_blank;
    } else {
        percent = -1;
    }
    // With one blank only, the last token is the whole rest of the line.
    const std::wstring file =
        name_end > first_blank ? rkit::trim_blanks(std::wstring_view(line).substr(first_blank, name_end - first_blank))
                               : std::wstring();
    if (file.empty()) return false;
    show_file_progress(status, file, percent);
    return true;
}

void Archiver_Rar::check_exit_code(int32_t code) {
    switch (code) {
        case 0:
        case 1:  // a warning
            return;
        case 2: throw std::runtime_error("rar: fatal error");
        case 3: throw std::runtime_error("rar: CRC error");
        case 4: throw std::runtime_error("rar: locked archive");
        case 5: throw std::runtime_error("rar: disk write error");
        case 6: throw std::runtime_error("rar: file open error");
        case 7: throw std::runtime_error("rar: command line error");
        case 8: throw std::runtime_error("rar: not enough memory");
        case 9: throw std::runtime_error("rar: file creation error");
        // Codes of RAR 5 and later.
        case 10: throw std::runtime_error("rar: no files to process");
        case 11: throw std::runtime_error("rar: wrong password");
        case 255: ran_into_stop(prefix, "user stopped the process");
        case -1: throw std::runtime_error("rar: archiver executable not found");
        case exit_code_ctrl_c: ran_into_stop(prefix, "process aborted by Control+C");
        default: unknown_exit_code(prefix, code);
    }
}

}  // namespace bk
