// The RAR driver ("rar"): its command lines, its progress line (a verb, the
// file name and a percent or "OK" at the end) and its exit codes. RAR takes
// full paths in one run, so it needs neither a listing nor a working folder.
// Given a password, RAR is told to ask for it (a bare -p): it asks twice,
// and then uses it for every file without further questions.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "archivers/archiver.h"

namespace bk {

// The RAR switch -m for a level 0..9 (0 to 5); -1 for no switch.
int rar_method(int32_t level);

class Archiver_Rar : public BaseArchiver {
public:
    Archiver_Rar(std::wstring exe_path, IWorkerStatus* status) : BaseArchiver(std::move(exe_path), status) {}

    int archiver_type() const override { return ARCHIVER_RAR; }
    void compress(const std::wstring& work_dir, const std::wstring& archive, const std::wstring& source,
                  const std::wstring& options, const std::wstring& password, uint32_t flags,
                  int32_t level) override;
    // One run from the current folder with the full paths in a list file;
    // RAR stores them without the leading "/". Files RAR could not open are
    // left out without an exception when the archive holds the rest: the
    // caller's check of the archive's entries names them.
    void compress_files(const std::vector<std::wstring>& files, const std::wstring& archive,
                        const std::wstring& options, const std::wstring& password, uint32_t flags,
                        int32_t level) override;
    void extract(const std::wstring& dest_dir, const std::wstring& archive, const std::wstring& entry,
                 const std::wstring& options, const std::wstring& password, uint32_t flags) override;
    std::vector<std::wstring> list_entries(const std::wstring& archive, const std::wstring& password) override;

    bool parse_progress(const HiddenConsole& console, TaskStatus& status) override;
    void check_exit_code(int32_t code) override;

    // The command lines the operations run.
    std::wstring compress_command(const std::wstring& archive, const std::wstring& source,
                                  const std::wstring& options, const std::wstring& password, uint32_t flags,
                                  int32_t level) const;
    std::wstring extract_command(const std::wstring& archive, const std::wstring& entry,
                                 const std::wstring& options, const std::wstring& password,
                                 uint32_t flags) const;

    // parse_progress on one console line.
    bool parse_progress_line(const std::wstring& line, TaskStatus& status) const;

protected:
    std::wstring program_file() const override { return archiver_program_file(ARCHIVER_RAR); }
    std::span<const wchar_t* const> error_phrases() const override;

private:
    // The run of a compression, its exit code unchecked.
    int32_t run_compress(const std::wstring& work_dir, const std::wstring& archive, const std::wstring& source,
                         const std::wstring& options, const std::wstring& password, uint32_t flags, int32_t level);
    // RAR ends a run that met a damaged or foreign archive with the code of
    // a warning (1), a listing even with 0: such a run fails when it printed
    // an error. Other codes go to check_result.
    void fail_on_errors(int32_t code, bool even_on_success);
};

}  // namespace bk
