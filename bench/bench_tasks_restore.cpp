// A restore against what a user would do by hand: `7z x` of the same archive
// into a folder, then putting every file in its place. Runs alternate; the
// fastest run of each is compared, since other work on the machine only ever
// adds time (the medians are printed too). Two data sets:
// - 30 MB in 300 files (half compressible text, half random bytes), put in
//   place by copying; goal: at most 1.05 times the hand-made way;
// - 100,000 small files in 1,000 folders, put in place by moving; goal: at
//   most 1.5 times, the price of checking where each file really goes and
//   of replacing it so that its name is never missing for long.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "bench_scratch.h"
#include "bench_status.h"
#include "archivers/archiver.h"
#include "catalogue/manifest.h"
#include "files/gather.h"
#include "rkit/path.h"
#include "tasks/restore_task.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using QuietStatus = benchsupport::StoringStatus;

struct DataSet {
    const char* name;
    int folders;
    int files_per_folder;
    size_t file_size;
    bool by_moving;  // the hand-made way moves the extracted files (else copies)
    int runs;
    double goal;
};

constexpr DataSet data_sets[] = {
    {"300 files of 100 KB", 30, 10, 100 * 1024, false, 7, 1.05},
    {"100,000 files of 200 bytes", 1000, 100, 200, true, 2, 1.5},
};

void make_data(const fs::path& root, const DataSet& set) {
    std::mt19937 random(42);
    const std::string words = "дебет кредит сальдо проводка счёт-фактура итого ";
    for (int f = 0; f < set.folders; ++f) {
        const fs::path folder = root / ("period_" + std::to_string(f));
        fs::create_directories(folder);
        for (int i = 0; i < set.files_per_folder; ++i) {
            std::string bytes(set.file_size, '\0');
            if (i % 2)
                for (auto& c : bytes) c = static_cast<char>(random());
            else
                for (size_t k = 0; k < set.file_size; ++k) bytes[k] = words[(k + random() % 3) % words.size()];
            std::ofstream(folder / ("doc_" + std::to_string(i) + (i % 2 ? ".bin" : ".txt")), std::ios::binary)
                << bytes;
        }
    }
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

// 7z x into a fresh folder, then every file copied or moved over its place.
double by_hand(const fs::path& archive, const fs::path& scratch, const std::vector<bk::FileRecord>& records,
               const bk::BasicFolders& folders, bool by_moving) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    const auto start = Clock::now();
    const std::string command = "7z x -y '" + archive.string() + "' -o'" + scratch.string() + "' >/dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("7z x failed");
    for (const auto& r : records) {
        const fs::path from = scratch / rkit::native_path(bk::arc_rel_path(r.path));
        const fs::path to = rkit::native_path(
            rkit::concat_path(bk::restore_base_folder(r.base_symbolic_name, folders), r.rel_path));
        if (by_moving)
            fs::rename(from, to);
        else
            fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    }
    const double took = seconds_since(start);
    fs::remove_all(scratch);
    return took;
}

// The driver's extraction alone, to tell its share of the restore.
double driver_extract(const bk::BackupSettings& settings, const fs::path& archive, const fs::path& scratch) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    QuietStatus status;
    const auto start = Clock::now();
    bk::extract_with_settings(settings.archiver, scratch.wstring(), archive.wstring(), L"", &status);
    const double took = seconds_since(start);
    fs::remove_all(scratch);
    return took;
}

double restore(const bk::BackupSettings& settings, const bk::BasicFolders& folders, const fs::path& archive) {
    std::vector<bk::RestoreProblem> problems;
    QuietStatus status;
    const auto start = Clock::now();
    bk::RestoreTask task(settings, folders, archive.wstring(), &problems);
    task.run(&status);
    if (!task.finish() || !problems.empty()) throw std::runtime_error("restore failed");
    return seconds_since(start);
}

// One data set: false when its goal is not met.
bool run_data_set(const fs::path& top, const DataSet& set) {
    const fs::path root = top / "root";
    make_data(root, set);
    bk::BasicFolders host_folders{{L"ТЕК_ДИР", root.wstring()}};
    bk::BackupSettings settings;
    settings.archiver.archiver = bk::ARCHIVER_7ZIP;
    bk::FileGroup group;
    group.basic_folder = L"ТЕК_ДИР";
    group.flags = bk::GROUP_RECURSIVE;
    settings.file_groups = {group};

    const auto records = bk::gather_files(host_folders, {}, settings, nullptr, {});
    const fs::path staging = top / "staging", archive = top / "backup.7z";
    fs::create_directories(staging);
    bk::write_filelist((staging / bk::FILELIST_NAME).wstring(), records);
    bk::compress(settings.archiver, staging.wstring(), archive.wstring(), bk::FILELIST_NAME);
    bk::compress_files(settings.archiver, bk::unique_paths(records), archive.wstring(), nullptr);
    std::printf("%s: %zu files, %.1f MB, archive %.1f MB\n", set.name, records.size(),
                records.size() * set.file_size / 1048576.0, fs::file_size(archive) / 1048576.0);

    by_hand(archive, top / "scratch", records, host_folders, set.by_moving);  // warms the caches
    std::vector<double> hand_times, restore_times, extract_times;
    for (int i = 0; i < set.runs; ++i) {
        hand_times.push_back(by_hand(archive, top / "scratch", records, host_folders, set.by_moving));
        restore_times.push_back(restore(settings, host_folders, archive));
        extract_times.push_back(driver_extract(settings, archive, top / "scratch"));
    }
    const double hand = fastest(hand_times), restored = fastest(restore_times);
    const double ratio = restored / hand;
    std::printf("%d runs each, fastest / median:\n", set.runs);
    std::printf("7z x + %s: %.3f s / %.3f s\n", set.by_moving ? "moving" : "copying", hand, median(hand_times));
    std::printf("restore task:   %.3f s / %.3f s\n", restored, median(restore_times));
    std::printf("  of which the driver's extraction: %.3f s / %.3f s\n", fastest(extract_times),
                median(extract_times));
    std::printf("ratio %.3f (medians %.3f), goal <= %.2f: %s\n\n", ratio, median(restore_times) / median(hand_times),
                set.goal, ratio <= set.goal ? "met" : "NOT MET");
    return ratio <= set.goal;
}

}  // namespace

int main() {
    int result = 0;
    try {
        for (const DataSet& set : data_sets) {
            const benchsupport::ScratchFolder scratch;
            if (!run_data_set(scratch.path(), set)) result = 2;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_tasks_restore: %s\n", e.what());
        result = 1;
    }
    return result;
}
