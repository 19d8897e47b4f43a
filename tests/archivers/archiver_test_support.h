// What the driver tests share: a status sink that records what the drivers
// show and presses Cancel on cue, the real archivers' locations, and files of
// data that the archivers cannot shrink.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archivers/archiver.h"
#include "rkit/command_line_split.h"
#include "rkit/path.h"
#include "rkit/text.h"

namespace bktest {

// The status sink of a task, as the progress window would be: it keeps every
// status shown, and cancels once a shown status has a percent when asked to.
class RecordingStatus : public bk::IWorkerStatus {
public:
    bool cancel_on_percent = false;
    std::vector<bk::TaskStatus> shown;

    bool canceled() override { return canceled_; }
    bk::TaskStatus get_status() override { return shown.empty() ? bk::TaskStatus{} : shown.back(); }
    void set_status(const bk::TaskStatus& status) override {
        shown.push_back(status);
        if (cancel_on_percent && status.progress >= 0) canceled_ = true;
    }
    int ask(const std::wstring&, uint32_t) override { return 2; }  // IDCANCEL: nobody is there

private:
    bool canceled_ = false;
};

// Where the real program of kind is: the folder in PATH that holds it.
inline std::wstring program_folder(bk::ArchiverKind kind) {
    const std::string program = rkit::wide_to_char(bk::archiver_program_file(kind));
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"})
        if (std::filesystem::exists(std::filesystem::path(dir) / program)) return rkit::char_to_wide(dir);
    return L"/usr/bin";
}

// count bytes that no compressor can shrink, made quickly (xorshift).
inline std::string random_bytes(size_t count, uint64_t seed) {
    std::string bytes(count, '\0');
    uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (size_t i = 0; i < count; i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        for (size_t k = 0; k < 8 && i + k < count; ++k) bytes[i + k] = static_cast<char>(x >> (k * 8));
    }
    return bytes;
}

// A path as the module spells it, whatever the locale of the test.
inline std::wstring wide(const std::filesystem::path& path) { return rkit::from_native_path(path.string()); }

// A command line as the program would receive it.
inline std::vector<std::wstring> arguments(const std::wstring& command_line) {
    return rkit::split_command_line(command_line);
}

}  // namespace bktest
