// How much the 7-Zip driver costs on top of 7-Zip itself: a data set of about
// 30 MB (text that compresses, random bytes that do not) is compressed with
// compress_files and extracted with extract_with_settings, and the same 7z
// command lines are run from a plain shell without a terminal. Each side runs
// several times, in turns, and the best time of each counts. The driver may
// take at most 1.03 times as long.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench_data.h"
#include "bench_status.h"
#include "archivers/archiver_7z.h"
#include "rkit/command_line_split.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "rkit/text_file_stream.h"

namespace fs = std::filesystem;

namespace {

constexpr int rounds = 4;
constexpr double allowed_ratio = 1.03;

using Sink = benchsupport::StoringStatus;

// About 26 MB in 40 files in four folders, with Cyrillic and blanks in the names.
std::vector<std::wstring> make_data_set(const fs::path& dir) {
    std::vector<std::wstring> files;
    for (const fs::path& path : benchsupport::write_data_set(dir, 40, [](int i) {
             return fs::path("папка " + std::to_string(i % 4)) / ("файл " + std::to_string(i) + ".dat");
         }, 42))
        files.push_back(rkit::from_native_path(path.string()));
    return files;
}

// The command line as a shell word list.
std::string shell_command(const std::wstring& command_line) {
    std::string shell;
    for (const std::wstring& arg : rkit::split_command_line(command_line)) {
        std::string word = "'";
        for (char c : rkit::wide_to_char(arg)) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
        shell += word + "' ";
    }
    return shell;
}

double seconds_of(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void run_shell(const std::string& dir, const std::string& command) {
    const std::string line = "cd '" + dir + "' && " + command + " </dev/null >/dev/null 2>&1";
    if (std::system(line.c_str()) != 0) throw std::runtime_error("failed: " + line);
}

bool report(const char* what, double driver, double direct) {
    const double ratio = driver / direct;
    std::printf("%-10s driver %.3f s, 7z directly %.3f s, ratio %.3f (at most %.2f): %s\n", what, driver, direct,
                ratio, allowed_ratio, ratio <= allowed_ratio ? "ok" : "TOO SLOW");
    return ratio <= allowed_ratio;
}

}  // namespace

int main() {
    try {
        const fs::path root = fs::temp_directory_path() / ("vdk-bench-archivers-" + std::to_string(::getpid()));
        struct Cleanup {
            fs::path dir;
            ~Cleanup() { fs::remove_all(dir); }
        } cleanup{root};
        const std::vector<std::wstring> files = make_data_set(root / "data");
        const std::wstring archive = rkit::from_native_path((root / "backup.7z").string());
        const fs::path dest = root / "dest";

        // The command line compress_files runs, with a list file of the same names.
        bk::Archiver_7z seven(L"", nullptr);
        const rkit::TempFile list;
        {
            rkit::text_file_stream stream;
            stream.open(list.path(), rkit::text_file_stream::create, rkit::text_encoding(1));
            for (const std::wstring& file : files) stream.write_line(file.substr(1));
        }
        const std::string direct_compress = shell_command(
            seven.compress_command(archive, list.path(), L"", L"", bk::ARCHIVE_OPEN_FILES | bk::ARCHIVE_LIST_FILE, -1,
                                   rkit::from_native_path(root.string())));
        const std::string direct_extract = shell_command(seven.extract_command(archive, L"", L"", L"", 0));

        bk::ArchiverSettings settings;
        Sink sink;
        double compress_driver = 1e9, compress_direct = 1e9, extract_driver = 1e9, extract_direct = 1e9;
        // In turns, each side first every other round, so that a change in
        // the load of the machine falls on both.
        auto compress_direct_once = [&] {
            fs::remove(root / "backup.7z");
            compress_direct = std::min(compress_direct, seconds_of([&] { run_shell("/", direct_compress); }));
        };
        auto compress_driver_once = [&] {
            fs::remove(root / "backup.7z");
            compress_driver =
                std::min(compress_driver, seconds_of([&] { bk::compress_files(settings, files, archive, &sink); }));
        };
        auto extract_direct_once = [&] {
            fs::remove_all(dest);
            fs::create_directories(dest);
            extract_direct = std::min(extract_direct, seconds_of([&] { run_shell(dest.string(), direct_extract); }));
        };
        auto extract_driver_once = [&] {
            fs::remove_all(dest);
            fs::create_directories(dest);
            extract_driver = std::min(extract_driver, seconds_of([&] {
                                          bk::extract_with_settings(settings, rkit::from_native_path(dest.string()),
                                                                    archive, L"", &sink);
                                      }));
        };
        for (int round = 0; round < rounds; ++round) {
            if (round % 2) {
                compress_driver_once();
                compress_direct_once();
            } else {
                compress_direct_once();
                compress_driver_once();
            }
        }
        for (int round = 0; round < rounds; ++round) {
            if (round % 2) {
                extract_driver_once();
                extract_direct_once();
            } else {
                extract_direct_once();
                extract_driver_once();
            }
        }
        std::printf("data set: %zu files, archive %lld bytes\n", files.size(),
                    static_cast<long long>(fs::file_size(root / "backup.7z")));
        const bool compress_ok = report("compress", compress_driver, compress_direct);
        const bool extract_ok = report("extract", extract_driver, extract_direct);
        return compress_ok && extract_ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_archivers: %s\n", e.what());
        return 2;
    }
}
