// Restoring one backup: the whole archive is extracted into a staging folder
// and every file of its filelist.xml is put back where it came from. A file
// that cannot be put back does not stop the restore; it becomes a
// RestoreProblem in the caller's list, which the restore command shows
// afterwards.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/host_params.h"
#include "files/gather.h"
#include "tasks/restore_problem.h"
#include "settings/settings.h"
#include "tasks/worker_task.h"

namespace bk {

// message_id filled with what, for file; error is the errno of the failure.
RestoreProblem make_restore_problem(const std::wstring& file, int message_id, const std::wstring& what,
                                    int error);

// A failure of one file; never leaves the per-file loop of RestoreTask.
class restore_file_error : public std::runtime_error {
public:
    explicit restore_file_error(RestoreProblem problem)
        : std::runtime_error("restore io error"), problem_(std::move(problem)) {}
    const RestoreProblem& problem() const { return problem_; }

private:
    RestoreProblem problem_;
};

// The folder a record's rel_path is relative to. Gathering stores a single
// file named by a file macro ("ТЕК_SHP") under that macro; such a file goes
// back into the folder of its file location, the basic folder named by the
// location's folder macro ("ТЕК_SHP_ДИР"). Any other name goes through
// resolve_folder. Throws as resolve_folder does.
std::wstring restore_base_folder(const std::wstring& base_symbolic_name, const BasicFolders& folders);

class RestoreTask : public BasicTask {
public:
    // problems is the caller's list (not owned); read it after run_worker_task
    // has returned. Files already put back stay put back whatever happens later.
    RestoreTask(const BackupSettings& settings, const BasicFolders& folders, const std::wstring& archive,
                std::vector<RestoreProblem>* problems);

protected:
    void execute() override;

private:
    void restore_files(const std::wstring& staging, const std::vector<FileRecord>& records);
    static bool holds_only_manifests(const std::wstring& staging);
    void show_progress(const std::wstring& destination, size_t index, size_t count) const;

    BackupSettings settings_;
    BasicFolders folders_;
    std::wstring archive_;
    std::vector<RestoreProblem>* problems_;
};

}  // namespace bk
