// Gathering a generated tree of 100,000 files in 1,000 folders, against
// `find` over the same tree in the same run. Each gathering runs in a fresh
// process (this program started again with --child) so that its peak memory
// is its own; the goal figure is the median of the runs after the first, the
// state of a long-running host. Goals: at most 1.5 times the time of find,
// at most 200 MB. The first run of a fresh process is reported beside it,
// with the least any gathering has to do (--result-only: building the same
// records from known paths), so that the part of the first run that is the
// first touch of the records' own memory can be told apart.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "bench_scratch.h"
#include "bench_status.h"
#include "files/gather.h"
#include "rkit/path.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int top_folders = 10;
constexpr int sub_folders = 99;  // per top folder: 10 + 990 = 1,000 folders
constexpr int files_per_folder = 100;
constexpr int rounds = 3;

using StoringStatus = benchsupport::StoringStatus;

void touch(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path.string());
    ::close(fd);
}

// Every file of the generated tree, relative to its root. Mixed-case Latin
// names with some Cyrillic ones and spaces, so that the upper-casing and the
// ordering do real work.
std::vector<std::string> tree_files() {
    std::vector<std::string> files;
    for (int t = 0; t < top_folders; ++t) {
        const std::string top = "Dept_" + std::to_string(t);
        std::vector<std::string> folders{top};
        for (int s = 0; s < sub_folders; ++s)
            folders.push_back(top + (s % 7 == 0 ? "/Отдел " : "/period_") + std::to_string(s));
        for (const auto& folder : folders)
            for (int f = 0; f < files_per_folder; ++f) {
                std::string name = f % 10 == 0 ? "Счёт-фактура " : (f % 3 ? "Doc_" : "ledger_");
                name += std::to_string(f) + (f % 4 ? ".dbf" : ".TXT");
                files.push_back(folder + "/" + name);
            }
    }
    return files;
}

void make_tree(const fs::path& root) {
    for (const auto& file : tree_files()) {
        const fs::path path = root / file;
        fs::create_directories(path.parent_path());
        touch(path);
    }
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double seconds_since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Wall time of one `find ROOT > /dev/null`.
double run_find(const fs::path& root) {
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::execlp("find", "find", root.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("find failed");
    return seconds_since(start);
}

// What one child process measured: its first run, the later ones, and its
// peak resident memory.
struct ChildRun {
    double cold = 0;
    std::vector<double> warm;
    size_t files = 0;
    long max_rss_kb = 0;
};

constexpr int later_runs = 6;

// Runs this program again with mode and its arguments (see main).
ChildRun run_child(const char* self, const char* mode, const fs::path& root, const char* scenario = nullptr) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipe_fds[1], 1);
        ::execl(self, self, mode, root.c_str(), scenario, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipe_fds[1]);
    std::string text;
    char buf[512];
    for (ssize_t n; (n = ::read(pipe_fds[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
    ::close(pipe_fds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(std::string(mode) + " child failed");
    ChildRun run;
    run.max_rss_kb = usage.ru_maxrss;
    const char* p = text.c_str();
    int used = 0;
    if (std::sscanf(p, "%zu %lf%n", &run.files, &run.cold, &used) != 2) throw std::runtime_error("bad child output");
    p += used;
    for (double t; std::sscanf(p, "%lf%n", &t, &used) == 1; p += used) run.warm.push_back(t);
    return run;
}

bk::BackupSettings scenario_settings(const std::string& scenario) {
    bk::BackupSettings settings;
    bk::FileGroup group;
    group.basic_folder = L"ТЕК_ДИР";
    group.flags = bk::GROUP_RECURSIVE;
    if (scenario == "masks") {
        group.include_mask = L"*.dbf; *.txt";
        group.exclude_mask = L"ledger_*; Отдел 14";
        group.extract_folder = L"restored";
    }
    settings.file_groups.push_back(group);
    return settings;
}

// Runs make_records runs times in this process and prints the number of
// records, then the seconds of each run, for run_child to read.
template <typename MakeRecords>
int print_runs(int runs, MakeRecords make_records) {
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        const std::vector<bk::FileRecord> records = make_records();
        benchmark::DoNotOptimize(records.data());
        const double seconds = seconds_since(start);
        if (i == 0) std::printf("%zu", records.size());
        std::printf(" %.6f", seconds);
    }
    std::printf("\n");
    return 0;
}

// The allocator is left as it is: after a run or two it keeps the memory the
// gathering needs, as it does in a long-running host.
int gather_child(const std::string& root, const std::string& scenario) {
    const bk::BasicFolders folders{{L"ТЕК_ДИР", rkit::from_native_path(root)}};
    const bk::BackupSettings settings = scenario_settings(scenario);
    StoringStatus status;
    return print_runs(1 + later_runs, [&] { return bk::gather_files(folders, {}, settings, &status, {}); });
}

// The least any gathering must do: build the records of the tree's files
// from paths already known, touching no file system. Of its two runs, the
// first pays for the first touch of the memory the records occupy.
int result_child(const std::string& root) {
    const std::vector<std::string> files = tree_files();
    const std::wstring prefix = rkit::from_native_path(root) + L"/";
    return print_runs(2, [&] {
        std::vector<bk::FileRecord> records;
        records.reserve(files.size());
        for (const auto& file : files) {
            std::wstring rel = rkit::from_native_path(file);
            records.push_back({L"ТЕК_ДИР", rel, prefix + rel, 1});
        }
        return records;
    });
}

// Microseconds to fault in one fresh page: the price of every new megabyte.
double page_fault_cost_us() {
    const size_t size = 64 << 20;
    const auto start = Clock::now();
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return 0;
    for (size_t i = 0; i < size; i += 4096) static_cast<volatile char*>(p)[i] = 1;
    const double us = seconds_since(start) * 1e6 / (size / 4096);
    ::munmap(p, size);
    return us;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--child") return gather_child(argv[2], argv[3]);
    if (argc == 3 && std::string(argv[1]) == "--result-only") return result_child(argv[2]);

    int result = 0;
    try {
        const benchsupport::ScratchFolder scratch;
        const fs::path& root = scratch.path();
        std::printf("generating %d files in %d folders under %s\n", top_folders * (sub_folders + 1) * files_per_folder,
                    top_folders * (sub_folders + 1), root.c_str());
        make_tree(root);
        run_find(root);  // warms the file system caches for both

        std::vector<double> find_times, cold, warm, masks_warm, result_cold, result_warm;
        long rss = 0, masks_rss = 0;
        size_t files = 0, masks_files = 0;
        for (int round = 0; round < rounds; ++round) {
            find_times.push_back(run_find(root));
            const ChildRun all = run_child(argv[0], "--child", root, "all");
            find_times.push_back(run_find(root));
            const ChildRun masked = run_child(argv[0], "--child", root, "masks");
            const ChildRun result_only = run_child(argv[0], "--result-only", root);
            result_cold.push_back(result_only.cold);
            result_warm.insert(result_warm.end(), result_only.warm.begin(), result_only.warm.end());
            cold.push_back(all.cold);
            warm.insert(warm.end(), all.warm.begin(), all.warm.end());
            masks_warm.insert(masks_warm.end(), masked.warm.begin(), masked.warm.end());
            rss = std::max(rss, all.max_rss_kb);
            masks_rss = std::max(masks_rss, masked.max_rss_kb);
            files = all.files;
            masks_files = masked.files;
        }
        const double base = median(find_times);
        const double warm_s = median(warm), cold_s = median(cold), masks_s = median(masks_warm);
        const double result_s = median(result_cold), result_again_s = median(result_warm);
        std::printf("baseline: find over the tree        %7.1f ms (median of %zu)\n", base * 1e3, find_times.size());
        std::printf("gather_files, one group, all files   %7.1f ms = %.2f x find (goal <= 1.50), %zu files\n",
                    warm_s * 1e3, warm_s / base, files);
        std::printf("  its first run in a fresh process   %7.1f ms = %.2f x find\n", cold_s * 1e3, cold_s / base);
        std::printf("  peak memory of the process         %7.1f MB (goal <= 200)\n", rss / 1024.0);
        std::printf("gather_files, masks and exclusions   %7.1f ms = %.2f x find, %zu files, peak %.1f MB\n",
                    masks_s * 1e3, masks_s / base, masks_files, masks_rss / 1024.0);
        std::printf("building the same records from known paths, no file system (the least any gathering does):\n");
        std::printf("  first run in a fresh process       %7.1f ms = %.2f x find\n", result_s * 1e3, result_s / base);
        std::printf("  again in the same process          %7.1f ms = %.2f x find\n", result_again_s * 1e3,
                    result_again_s / base);
        std::printf("  fresh memory on this machine: %.1f us per page\n", page_fault_cost_us());
        const bool ok = warm_s / base <= 1.5 && rss <= 200 * 1024;
        std::printf("%s\n", ok ? "PASS" : "FAIL");
        result = ok ? 0 : 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_files_gather: %s\n", e.what());
        result = 1;
    }
    return result;
}
