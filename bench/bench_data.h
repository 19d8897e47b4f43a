// Data sets for the benchmarks: files of accounting text, which compresses,
// and of random bytes, which does not, in proportions an accountant's
// folder has.
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace benchsupport {

// count files of 0.45 to 0.95 MB (about 30 MB for 48), every third one
// random; name(i) gives the path of file i below dir.
template <typename Name>
std::vector<std::filesystem::path> write_data_set(const std::filesystem::path& dir, int count, Name name,
                                                  uint64_t seed = 7) {
    std::mt19937_64 random(seed);
    const std::string words[] = {"дебет ", "кредит ", "счёт ", "сальдо ", "проводка ", "05.12.2026 ", "1234.56\n"};
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < count; ++i) {
        const std::filesystem::path path = dir / name(i);
        std::filesystem::create_directories(path.parent_path());
        const size_t size = 450000 + static_cast<size_t>(i % 5) * 100000;
        std::string bytes;
        if (i % 3 == 0) {
            while (bytes.size() < size) {
                const uint64_t x = random();
                bytes.append(reinterpret_cast<const char*>(&x), 8);
            }
        } else {
            while (bytes.size() < size) bytes += words[random() % std::size(words)];
        }
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(size));
        files.push_back(path);
    }
    return files;
}

}  // namespace benchsupport
