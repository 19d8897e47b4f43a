#include "test_restore_task_host.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "archivers/archiver.h"
#include "catalogue/manifest.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "tasks/worker_task.h"

namespace bktest {

std::string binary_bytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        bytes[i] = (i / 97) % 5 == 0 ? '\0' : static_cast<char>(x >> 16);
    }
    return bytes;
}

bk::FileGroup file_group(const std::wstring& basic_folder, const std::wstring& include_mask, bool recursive) {
    bk::FileGroup group;
    group.basic_folder = basic_folder;
    group.include_mask = include_mask;
    group.flags = recursive ? bk::GROUP_RECURSIVE : 0;
    return group;
}

bk::SingleFile single_file(const std::wstring& path) {
    bk::SingleFile file;
    file.path = path;
    return file;
}

RestoreHost::RestoreHost(const fs::path& top) : top_(top) {
    fs::create_directories(root());
    fs::create_directories(db());
    folders = {{L"ТЕК_ДИР", root().wstring()}, {L"ДИР_DBF", dbf().wstring()}, {L"ТЕК_SHP_ДИР", db().wstring()}};
    locations = {{L"ТЕК_SHP", L"ТЕК_SHP_ДИР", (db() / "base.shp").wstring()},
                 {L"ТЕК_REK", L"ТЕК_REK_ДИР", L""},
                 {L"ТЕК_OPR", L"ТЕК_OPR_ДИР", L""}};
}

void RestoreHost::put(const fs::path& path, const std::string& bytes) {
    write_file(path, bytes);
    saved_[path] = bytes;
}

void RestoreHost::expect_all_restored() const {
    for (const auto& [path, bytes] : saved_) {
        ASSERT_TRUE(fs::is_regular_file(path)) << path;
        EXPECT_TRUE(read_file(path) == bytes) << path << " differs";
    }
}

std::vector<bk::FileRecord> make_backup(const RestoreHost& host, const fs::path& archive) {
    auto records = bk::gather_files(host.folders, host.locations, host.settings, nullptr, {});
    TempDir staging;
    bk::write_filelist((staging / "filelist.xml").wstring(), records);
    bk::compress(host.settings.archiver, staging.wpath(), archive.wstring(), L"filelist.xml");
    bk::compress_files(host.settings.archiver, bk::unique_paths(records), archive.wstring(), nullptr);
    return records;
}

void make_handmade_archive(const fs::path& work_dir, const std::vector<bk::FileRecord>& records,
                           const std::vector<std::string>& entries, const fs::path& archive) {
    bk::write_filelist((work_dir / "filelist.xml").wstring(), records);
    std::string command = "cd '" + work_dir.string() + "' && 7z a -snl '" + archive.string() + "' filelist.xml";
    for (const auto& entry : entries) command += " '" + entry + "'";
    command += " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

bool run_restore(const bk::BackupSettings& settings, const bk::BasicFolders& folders, const fs::path& archive,
                 std::vector<bk::RestoreProblem>& problems) {
    return bk::run_worker_task(nullptr,
                               std::make_unique<bk::RestoreTask>(settings, folders, archive.wstring(), &problems));
}

}  // namespace bktest
