// The 7-Zip driver ("7z"): its command lines, its progress line
// ("45% 3 + name" while adding, "- name" while extracting), the listing that
// gives the extraction a percent of its own, and its exit codes.
#pragma once
#include <cstdint>
#include <future>
#include <map>
#include <string>
#include <vector>

#include "archivers/archiver.h"

namespace bk {

// The entries of a "7z l" listing: where each starts in the sum of the sizes
// before it, so that the file being extracted tells how far the work is.
struct ArchiveListing {
    int64_t total = 0;
    std::map<std::wstring, int64_t> offsets;  // entry name as listed -> start offset
};

// Reads the table of a "7z l" listing line by line: the header, the ruler of
// dashes that gives the columns, the rows up to the next ruler, and the
// summary line under it.
class ListingParser {
public:
    // Takes the next line; false when the listing is broken (a row without a
    // name). Lines after the summary are ignored.
    bool add_line(const std::wstring& line);
    const ArchiveListing& listing() const { return listing_; }

private:
    struct Column {
        std::wstring name;
        size_t start = 0;
        size_t width = 0;  // std::wstring::npos: to the end of any line
    };
    enum class State { before_table, first_row, rows, summary, done };

    static bool is_ruler(const std::wstring& line);
    // The columns of ruler named by the header above it; false without a Name column.
    bool read_columns(const std::wstring& ruler);
    std::wstring cell(const std::wstring& line, const wchar_t* column) const;

    State state_ = State::before_table;
    std::wstring previous_;
    std::vector<Column> columns_;
    ArchiveListing listing_;
};

// The entries of a "7z l -slt" listing (its "Path = " lines), folders left out.
std::vector<std::wstring> parse_technical_listing(const std::vector<std::wstring>& lines);

// The 7-Zip switch -mx for a level 0..9 (0, 1, 3, 5, 7, 9); -1 for no switch.
int seven_zip_level(int32_t level);

class Archiver_7z : public BaseArchiver {
public:
    Archiver_7z(std::wstring exe_path, IWorkerStatus* status) : BaseArchiver(std::move(exe_path), status) {}

    int archiver_type() const override { return ARCHIVER_7ZIP; }
    void compress(const std::wstring& work_dir, const std::wstring& archive, const std::wstring& source,
                  const std::wstring& options, const std::wstring& password, uint32_t flags,
                  int32_t level) override;
    // Every path lies under "/": one run from there, the names listed without
    // their leading "/" in a UTF-8 list file. Relative paths are left out.
    void compress_files(const std::vector<std::wstring>& files, const std::wstring& archive,
                        const std::wstring& options, const std::wstring& password, uint32_t flags,
                        int32_t level) override;
    void extract(const std::wstring& dest_dir, const std::wstring& archive, const std::wstring& entry,
                 const std::wstring& options, const std::wstring& password, uint32_t flags) override;
    std::vector<std::wstring> list_entries(const std::wstring& archive, const std::wstring& password) override;

    bool parse_progress(const HiddenConsole& console, TaskStatus& status) override;
    void check_exit_code(int32_t code) override;

    // The command lines the operations run; work_folder is the -w folder.
    // With a password 7-Zip is asked to encrypt the names too (-mhe) and asks
    // for it (-p); to read an archive it asks by itself when it needs one.
    std::wstring compress_command(const std::wstring& archive, const std::wstring& source,
                                  const std::wstring& options, const std::wstring& password, uint32_t flags,
                                  int32_t level, const std::wstring& work_folder) const;
    std::wstring extract_command(const std::wstring& archive, const std::wstring& entry,
                                 const std::wstring& options, const std::wstring& password,
                                 uint32_t flags) const;
    std::wstring list_command(const std::wstring& archive) const;

    // Lists archive by running "7z l" in work_dir, with the password to
    // open encrypted headers; false when no listing came of it.
    bool list(const std::wstring& work_dir, const std::wstring& archive, const std::wstring& password,
              ArchiveListing& listing) const;

    // parse_progress on one console line, with the listing of the
    // extraction under way (or null).
    bool parse_progress_line(const std::wstring& line, TaskStatus& status,
                             const ArchiveListing* listing) const;

protected:
    std::wstring program_file() const override { return archiver_program_file(ARCHIVER_7ZIP); }
    std::span<const wchar_t* const> error_phrases() const override;

private:
    // During the extraction of a whole archive: the listing, made beside the
    // extraction so that it costs no time of its own, and once it has come,
    // the listing itself (empty until then, and when there is none).
    std::future<ArchiveListing> pending_listing_;
    ArchiveListing listing_;
};

}  // namespace bk
