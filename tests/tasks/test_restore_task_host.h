// A host with its folders on disk, backed up with a real archiver, for the
// restore tests: the files are gathered from settings as a backup gathers
// them, the archive holds filelist.xml first and the files after it.
#pragma once
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/host_params.h"
#include "files/gather.h"
#include "settings/settings.h"
#include "support/temp_dir.h"
#include "tasks/restore_task.h"

namespace bktest {

namespace fs = std::filesystem;

// Bytes that exercise a binary file: every byte value, zeros in runs, and a
// size that is not a round number.
std::string binary_bytes(size_t size, unsigned seed);

// A file group of the settings over a basic folder.
bk::FileGroup file_group(const std::wstring& basic_folder, const std::wstring& include_mask = L"",
                         bool recursive = false);
bk::SingleFile single_file(const std::wstring& path);

class RestoreHost {
public:
    // root/ is "ТЕК_ДИР", root/dbf/ "ДИР_DBF", db/ "ТЕК_SHP_ДИР" with the
    // current database file db/base.shp known as "ТЕК_SHP".
    explicit RestoreHost(const fs::path& top);

    fs::path root() const { return top_ / "root"; }
    fs::path dbf() const { return top_ / "root" / "dbf"; }
    fs::path db() const { return top_ / "db"; }

    // Writes a file of the host and remembers its content.
    void put(const fs::path& path, const std::string& bytes);
    // Every remembered file holds its remembered bytes (reported per file).
    void expect_all_restored() const;

    bk::BasicFolders folders;
    bk::FileLocations locations;
    bk::BackupSettings settings;

private:
    fs::path top_;
    std::map<fs::path, std::string> saved_;
};

// Gathers the host's files as a backup does and archives them with the
// archiver kind of the host's settings. Returns the gathered records.
std::vector<bk::FileRecord> make_backup(const RestoreHost& host, const fs::path& archive);

// Archives filelist.xml with the given records and the entries (paths
// relative to work_dir, links stored as links) with the real 7z, for archives
// a backup would never make.
void make_handmade_archive(const fs::path& work_dir, const std::vector<bk::FileRecord>& records,
                           const std::vector<std::string>& entries, const fs::path& archive);

// Runs a restore behind the scripted progress window; false when canceled.
bool run_restore(const bk::BackupSettings& settings, const bk::BasicFolders& folders, const fs::path& archive,
                 std::vector<bk::RestoreProblem>& problems);

}  // namespace bktest
