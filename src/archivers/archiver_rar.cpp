#include "archivers/archiver_rar.h"

#include <stdexcept>

#include "rkit/path.h"
#include "rkit/text.h"
#include "rkit/text_file_stream.h"

namespace bk {

using archiver_detail::quote;

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
    std::wstring line = find_executable() + L" a " + quote(archive);
    if (flags & ARCHIVE_RECURSE) line += L" -r";
    if (flags & ARCHIVE_OPEN_FILES) line += L" -dh";
    if (const int method = rar_method(level); method >= 0) line += L" -m" + std::to_wstring(method);
    if (!password.empty()) line += L" -p" + password;
    if (!options.empty()) line += L' ' + options;
    if (flags & ARCHIVE_LIST_FILE)
        line += L" @" + quote(source);
    else
        line += L' ' + quote(source);
    return line;
}

std::wstring Archiver_Rar::extract_command(const std::wstring& archive, const std::wstring& entry,
                                           const std::wstring& options, const std::wstring& password,
                                           uint32_t flags) const {
    return archiver_detail::extraction_command(find_executable(), archive, entry, options, password, flags);
}

void Archiver_Rar::compress(const std::wstring& work_dir, const std::wstring& archive, const std::wstring& source,
                            const std::wstring& options, const std::wstring& password, uint32_t flags,
                            int32_t level) {
    OperationScope operation(*this, compressing, archive);
    run(compress_command(archive, source, options, password, flags, level), work_dir);
}

void Archiver_Rar::compress_files(const std::vector<std::wstring>& files, const std::wstring& archive,
                                  const std::wstring& options, const std::wstring& password, uint32_t flags,
                                  int32_t level) {
    OperationScope operation(*this, compressing, archive);
    const TempFile list;
    rkit::text_file_stream stream;
    if (!stream.open(list.path(), rkit::text_file_stream::create, rkit::text_encoding(2)))
        throw std::runtime_error("can't create file: " + rkit::wide_to_char(list.path()));
    for (const std::wstring& path : files) stream.write_line(path);
    // A list cut short would leave files out of the backup without a word.
    if (!stream.ok()) throw std::runtime_error("can't create file: " + rkit::wide_to_char(list.path()));
    stream.close();
    compress(rkit::get_current_dir(), archive, list.path(), options, password, flags | ARCHIVE_LIST_FILE, level);
}

void Archiver_Rar::extract(const std::wstring& dest_dir, const std::wstring& archive, const std::wstring& entry,
                           const std::wstring& options, const std::wstring& password, uint32_t flags) {
    OperationScope operation(*this, extracting);
    run(extract_command(archive, entry, options, password, flags), dest_dir);
}

bool Archiver_Rar::parse_progress(const HiddenConsole&, TaskStatus& status) {
    std::wstring line;
    if (!read_console_line(line)) return false;
    return parse_progress_line(line, status);
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
               archiver_detail::parse_int(std::wstring_view(last).substr(0, last.size() - 1), percent)) {
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
