#include "archivers/archiver_7z.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <stdexcept>
#include <system_error>

#include "rkit/command_line_quote.h"
#include "rkit/decimal.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "rkit/text_file_stream.h"

namespace bk {

using rkit::quote_argument;

namespace {

constexpr const char* prefix = "7z";

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Whether the banner of the program that quoted_exe starts names p7zip.
bool banner_names_p7zip(const std::wstring& quoted_exe) {
    bool p7zip = false;
    try {
        const rkit::TempFile banner;
        if (run_process_to_file(quoted_exe, L"", banner.path()) >= 0) {
            rkit::text_file_stream in;
            std::wstring line;
            if (in.open(banner.path(), rkit::text_file_stream::read))
                while (!p7zip && in.read_line(line)) p7zip = line.find(L"p7zip Version") != std::wstring::npos;
        }
    } catch (const std::exception&) {
    }
    return p7zip;
}

// p7zip's 7z stores a symbolic link as a link unless told with -l to store the
// file it points to; 7-Zip's own Linux build stores the file and refuses -l.
// Gathering hands the archiver links to files whose content must be saved,
// so which of the two the program is decides the switch. Asked once per
// program: its banner names p7zip. The program runs outside the lock, so
// that no other thread waits for it; two threads asking at once may both run
// it, and the first answer stays.
bool stores_links_unless_told(const std::wstring& quoted_exe) {
    static std::mutex lock;
    static std::map<std::wstring, bool> known;
    {
        std::lock_guard guard(lock);
        if (auto it = known.find(quoted_exe); it != known.end()) return it->second;
    }
    const bool p7zip = banner_names_p7zip(quoted_exe);
    std::lock_guard guard(lock);
    return known.emplace(quoted_exe, p7zip).first->second;
}

}  // namespace

// ---------------------------------------------------------------------------

bool ListingParser::is_ruler(const std::wstring& line) {
    return !line.empty() && line.find_first_not_of(L"- ") == std::wstring::npos &&
           line.find(L'-') != std::wstring::npos;
}

bool ListingParser::read_columns(const std::wstring& ruler) {
    columns_.clear();
    size_t pos = 0;
    while ((pos = ruler.find(L'-', pos)) != std::wstring::npos) {
        const size_t end = ruler.find_first_not_of(L'-', pos);
        Column column;
        column.start = pos;
        // The last column (the name) runs to the end of any row, however long.
        column.width = end == std::wstring::npos ? std::wstring::npos : end - pos;
        if (pos < previous_.size()) column.name = rkit::trim_blanks(previous_.substr(pos, column.width));
        if (!column.name.empty()) columns_.push_back(column);
        if (end == std::wstring::npos) break;
        pos = end;
    }
    return std::any_of(columns_.begin(), columns_.end(), [](const Column& c) { return c.name == L"Name"; });
}

std::wstring ListingParser::cell(const std::wstring& line, const wchar_t* column) const {
    for (const Column& c : columns_)
        if (c.name == column) return c.start < line.size() ? rkit::trim_blanks(line.substr(c.start, c.width)) : L"";
    return {};
}

bool ListingParser::add_line(const std::wstring& line) {
    switch (state_) {
        case State::before_table:
            // 7-Zip also draws a short "--" over the archive's properties;
            // only a ruler under a header with a Name column opens the table.
            if (is_ruler(line) && read_columns(line)) state_ = State::first_row;
            break;
        case State::first_row:
        case State::rows: {
            // A ruler right under the first one is the table of an empty archive.
            if (is_ruler(line)) {
                state_ = State::summary;
                break;
            }
            const std::wstring name = cell(line, L"Name");
            if (name.empty()) return false;
            const int64_t size = rkit::leading_int64(cell(line, L"Size"));
            listing_.offsets[name] = listing_.total;
            listing_.total += size;
            state_ = State::rows;
            break;
        }
        case State::summary: {
            // The sum 7-Zip prints counts what the rows may not show (for
            // example the entries of a damaged archive).
            const int64_t size = rkit::leading_int64(cell(line, L"Size"));
            if (size > listing_.total) listing_.total = size;
            state_ = State::done;
            break;
        }
        case State::done:
            break;
    }
    previous_ = line;
    return true;
}

std::vector<std::wstring> parse_technical_listing(const std::vector<std::wstring>& lines) {
    std::vector<std::wstring> entries;
    bool folder = false;  // the entry listed last is a folder
    for (const std::wstring& line : lines) {
        if (line.starts_with(L"Path = ")) {
            if (folder) entries.pop_back();
            entries.push_back(line.substr(7));
            folder = false;
        } else if (!entries.empty() && line == L"Folder = +") {
            folder = true;
        } else if (!entries.empty() && line.starts_with(L"Attributes = ")) {
            // "D drwxr-xr-x": the Windows attribute letters, then the mode.
            const std::wstring_view value = std::wstring_view(line).substr(13);
            folder = folder || value.starts_with(L'd') ||
                     value.substr(0, value.find(L' ')).find(L'D') != std::wstring_view::npos;
        }
    }
    if (folder) entries.pop_back();
    return entries;
}

int seven_zip_level(int32_t level) {
    static constexpr int levels[10] = {0, 1, 1, 3, 5, 5, 5, 7, 9, 9};
    return level >= 0 && level <= 9 ? levels[level] : -1;
}

// ---------------------------------------------------------------------------

std::wstring Archiver_7z::compress_command(const std::wstring& archive, const std::wstring& source,
                                           const std::wstring& options, const std::wstring& password,
                                           uint32_t flags, int32_t level, const std::wstring& work_folder) const {
    const std::wstring program = find_executable();
    std::wstring line = program + L" a " + quote_argument(archive);
    if (flags & ARCHIVE_RECURSE) line += L" -r";
    if (flags & ARCHIVE_OPEN_FILES) line += L" -ssw";
    if (const int mx = seven_zip_level(level); mx >= 0) line += L" -mx" + std::to_wstring(mx);
    if (!password.empty()) line += L" -p -mhe=on";
    if (!options.empty()) line += L' ' + options;
    if (stores_links_unless_told(program)) line += L" -l";
    line += L" -w" + quote_argument(work_folder);
    // Our list files are UTF-8, whatever the locale 7-Zip runs in.
    if (flags & ARCHIVE_LIST_FILE)
        line += L" -scsUTF-8 @" + quote_argument(source);
    else
        line += L' ' + quote_argument(source);
    return line;
}

std::wstring Archiver_7z::extract_command(const std::wstring& archive, const std::wstring& entry,
                                          const std::wstring& options, const std::wstring&,
                                          uint32_t flags) const {
    return archiver_detail::extraction_command(find_executable(), archive, entry, options, false, flags);
}

std::wstring Archiver_7z::list_command(const std::wstring& archive) const {
    return find_executable() + L" l " + quote_argument(archive);
}

void Archiver_7z::compress(const std::wstring& work_dir, const std::wstring& archive, const std::wstring& source,
                           const std::wstring& options, const std::wstring& password, uint32_t flags,
                           int32_t level) {
    OperationScope operation(*this, compressing, archive);
    // 7-Zip writes the new archive beside the old one and renames it over it:
    // in the archive's own folder that is a rename on one file system, not a
    // copy through a small $TMPDIR.
    const std::wstring folder = rkit::extract_dir(archive);
    check_result(run(compress_command(archive, source, options, password, flags, level, folder.empty() ? L"." : folder),
                     work_dir, archive, password));
}

void Archiver_7z::compress_files(const std::vector<std::wstring>& files, const std::wstring& archive,
                                 const std::wstring& options, const std::wstring& password, uint32_t flags,
                                 int32_t level) {
    OperationScope operation(*this, compressing, archive);
    std::vector<std::wstring> names;
    for (const std::wstring& path : files)
        if (path.size() > 1 && path[0] == L'/') names.push_back(path.substr(1));
    if (names.empty()) return;

    const rkit::TempFile list;
    rkit::text_file_stream stream;
    if (!stream.open(list.path(), rkit::text_file_stream::create, rkit::text_encoding(1)))
        throw std::runtime_error("can't create file: " + rkit::wide_to_char(list.path()));
    for (const std::wstring& name : names) stream.write_line(name);
    // A list cut short would leave files out of the backup without a word.
    if (!stream.ok()) throw std::runtime_error("can't create file: " + rkit::wide_to_char(list.path()));
    stream.close();
    compress(L"/", archive, list.path(), options, password, flags | ARCHIVE_LIST_FILE, level);
}

bool Archiver_7z::list(const std::wstring& work_dir, const std::wstring& archive, const std::wstring& password,
                       ArchiveListing& listing) const {
    ConsoleOptions options;
    options.password = rkit::wide_to_char(password);
    std::string transcript;
    options.transcript = &transcript;
    if (run_console_process(list_command(archive), work_dir, nullptr, options) < 0) return false;
    ListingParser parser;
    for (const std::wstring& line : archiver_detail::transcript_lines(transcript))
        if (!parser.add_line(line)) return false;
    listing = parser.listing();
    return true;
}

std::vector<std::wstring> Archiver_7z::list_entries(const std::wstring& archive, const std::wstring& password) {
    OperationScope operation(*this, idle);
    std::string transcript;
    const std::wstring line = find_executable() + L" l -slt -ba -bd " + quote_argument(archive);
    check_result(run(line, L"", archive, password, &transcript));
    return parse_technical_listing(archiver_detail::transcript_lines(transcript));
}

void Archiver_7z::extract(const std::wstring& dest_dir, const std::wstring& archive, const std::wstring& entry,
                          const std::wstring& options, const std::wstring& password, uint32_t flags) {
    OperationScope operation(*this, extracting);
    struct ListingScope {
        Archiver_7z& archiver;
        ~ListingScope() {
            if (archiver.pending_listing_.valid()) archiver.pending_listing_.wait();
            archiver.pending_listing_ = {};
            archiver.listing_ = {};
        }
    } scope{*this};
    if (entry.empty()) {
        try {
            pending_listing_ = std::async(std::launch::async, [this, dest_dir, archive, password] {
                ArchiveListing listing;
                try {
                    if (!list(dest_dir, archive, password, listing)) listing = {};
                } catch (const std::exception&) {
                    listing = {};  // no listing, no percent of its own
                }
                return listing;
            });
        } catch (const std::system_error&) {
            // No thread for it: the extraction shows 7-Zip's own percent.
        }
    }
    check_result(run(extract_command(archive, entry, options, password, flags), dest_dir, archive, password));
}

// ---------------------------------------------------------------------------

bool Archiver_7z::parse_progress(const HiddenConsole& console, TaskStatus& status) {
    if (pending_listing_.valid() && pending_listing_.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        listing_ = pending_listing_.get();
    return parse_progress_line(console.screen().cursor_line(), status, listing_.total > 0 ? &listing_ : nullptr);
}

bool Archiver_7z::parse_progress_line(const std::wstring& raw, TaskStatus& status,
                                      const ArchiveListing* listing) const {
    const std::wstring line = rkit::trim_blanks(raw);
    const size_t blank = line.find_first_of(L" \t");
    if (blank == std::wstring::npos) return false;

    int32_t percent = -1;
    const std::wstring first = line.substr(0, blank);
    if (first.ends_with(L'%')) {
        int32_t value = 0;
        if (rkit::parse_int32(std::wstring_view(first).substr(0, first.size() - 1), value) && value >= 0 &&
            value <= 100)
            percent = value;
    }

    // The sign is a word of its own ("45% 3 + name"); a dash inside a path
    // on some other line of 7-Zip is not one.
    size_t sign = std::wstring::npos;
    for (size_t i = blank; i + 1 < line.size(); ++i) {
        if ((line[i] == L'+' || line[i] == L'-') && is_blank(line[i - 1]) && is_blank(line[i + 1])) {
            sign = i;
            break;
        }
    }
    if (sign == std::wstring::npos) return false;
    const std::wstring file = rkit::trim_blanks(std::wstring_view(line).substr(sign + 1));
    if (file.empty()) return false;

    show_file_progress(status, file, percent);
    if (listing && listing->total > 0) {
        if (const auto entry = listing->offsets.find(file); entry != listing->offsets.end()) {
            const auto done = static_cast<int32_t>(std::lround(static_cast<double>(entry->second) * 100.0 /
                                                               static_cast<double>(listing->total)));
            if (done > status.progress) status.progress = done;
            status.text += L'\n' + std::to_wstring(status.progress) + L'%';
        }
    }
    return true;
}

std::span<const wchar_t* const> Archiver_7z::error_phrases() const {
    static constexpr const wchar_t* phrases[] = {
        L"ERROR: ",        L"Wrong password", L"Cannot open",  L"Can not open",     L"Unexpected end of archive",
        L"Is not archive", L"Headers Error",  L"Data Error",   L"CRC Failed",       L"Unsupported",
        L"E_FAIL",         L"errno=",         L"not enough space", L"No space left", L"Cannot create"};
    return phrases;
}

void Archiver_7z::check_exit_code(int32_t code) {
    switch (code) {
        case 0:
        case 1:  // a warning: some file could not be read, the rest is in
            return;
        case 2: throw std::runtime_error("7z: fatal error");
        case 7: throw std::runtime_error("7z: command line error");
        case 8: throw std::runtime_error("7z: not enough memory for operation");
        case 255: ran_into_stop(prefix, "user stopped the process");
        case -1: throw std::runtime_error("7z: archiver executable not found");
        case exit_code_ctrl_c: ran_into_stop(prefix, "process aborted by Control+C");
        default: unknown_exit_code(prefix, code);
    }
}

}  // namespace bk
