// What a batch backup through vdbackup costs on top of the archiver: a host
// with a data set of about 30 MB is backed up by starting vdbackup (which
// loads the module, reads the settings, gathers, writes the manifests,
// compresses and updates the catalogue), and the same files are compressed by
// running 7z alone. Both run several times, in turns; the best time of each
// counts. vdbackup may take at most 1.05 times as long.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_data.h"
#include "bench_scratch.h"
#include "settings/host_profile.h"
#include "settings/settings.h"
#include "settings/settings_file.h"

namespace fs = std::filesystem;

namespace {

constexpr int rounds = 3;
constexpr double allowed_ratio = 1.05;

std::vector<fs::path> make_data_set(const fs::path& dir) {
    return benchsupport::write_data_set(dir, 48, [](int i) {
        return fs::path("год " + std::to_string(2020 + i % 6)) / ("таблица " + std::to_string(i) + ".dbf");
    });
}

double seconds_of(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

fs::path own_folder() { return fs::read_symlink("/proc/self/exe").parent_path(); }

}  // namespace

int main() {
    const fs::path vdbackup = own_folder() / "vdbackup";
    if (!fs::exists(vdbackup)) {
        std::fprintf(stderr, "vdbackup not found beside this program\n");
        return 1;
    }
    const benchsupport::ScratchFolder scratch;
    const fs::path& root = scratch.path();
    const std::vector<fs::path> files = make_data_set(root / "data");

    bk::BackupSettings settings;
    settings.backup_folder = L"backups";
    settings.expired_limit = 1000;
    bk::FileGroup group;
    group.basic_folder = L"ДИР_DBF";
    group.include_mask = L"*.dbf";
    group.flags = bk::GROUP_RECURSIVE;
    settings.file_groups.push_back(group);
    bk::write_settings_file((root / "backup_config.xml").wstring(), settings);
    bk::HostProfile profile;
    for (const char* key : bk::host_profile_keys()) profile[key] = root.wstring();
    profile["dbf_path"] = (root / "data").wstring();
    profile["shp_path"] = (root / "data" / "base.shp").wstring();
    profile["network"] = L"0";
    profile["workplace"] = L"1";
    bk::write_host_profile((root / "vdbackup_host.xml").wstring(), profile);

    // The list 7z alone gets: the same files, named as the module names them.
    std::ofstream list(root / "list.txt");
    for (const auto& file : files) list << file.relative_path().string() << "\n";
    list.close();

    const std::string backup = "cd '" + root.string() + "' && '" + vdbackup.string() + "' /opt/host /Q /B /T=7 >/dev/null 2>&1";
    const std::string alone = "cd / && 7z a '" + (root / "alone.7z").string() + "' -ssw -l -w'" + root.string() +
                              "' -scsUTF-8 @'" + (root / "list.txt").string() + "' >/dev/null 2>&1";
    double best_backup = 1e9, best_alone = 1e9;
    uintmax_t alone_size = 0, backup_size = 0;
    for (int round = 0; round < rounds; ++round) {
        best_alone = std::min(best_alone, seconds_of(alone));
        alone_size = fs::file_size(root / "alone.7z");
        fs::remove(root / "alone.7z");
        best_backup = std::min(best_backup, seconds_of(backup));
        for (const auto& entry : fs::directory_iterator(root / "backups"))
            if (entry.path().extension() == ".7z") backup_size = entry.file_size();
        fs::remove_all(root / "backups");
    }

    const double ratio = best_backup / best_alone;
    std::printf("data set: %zu files, about 30 MB; archives of %ju and %ju bytes\n", files.size(), alone_size,
                backup_size);
    std::printf("7z alone:                     %.3f s\n", best_alone);
    std::printf("batch backup through vdbackup: %.3f s\n", best_backup);
    std::printf("ratio: %.3f (allowed %.2f): %s\n", ratio, allowed_ratio, ratio <= allowed_ratio ? "PASS" : "FAIL");
    return ratio <= allowed_ratio ? 0 : 1;
}
