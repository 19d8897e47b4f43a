// Both drivers against the real 7z and rar.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <stdexcept>
#include <utility>

#include "core/string_table.h"
#include "archivers/archiver_7z.h"
#include "archivers/archiver_rar.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using bk::ARCHIVER_7ZIP;
using bk::ARCHIVER_RAR;

// The status sink of a task, as the progress window would be, pressing
// Cancel as soon as a status with a percent is shown.
struct CancelOnPercent : bk::IWorkerStatus {
    bk::TaskStatus last;
    bool stop = false;
    bool canceled() override { return stop; }
    bk::TaskStatus get_status() override { return last; }
    void set_status(const bk::TaskStatus& status) override { last = status, stop |= status.progress >= 0; }
    int ask(const std::wstring&, uint32_t) override { return 2; }  // IDCANCEL: nobody is there
};

// count bytes that no compressor can shrink.
std::string random_bytes(size_t count) {
    std::string bytes(count, '\0');
    std::ifstream("/dev/urandom", std::ios::binary).read(bytes.data(), static_cast<std::streamsize>(count));
    return bytes;
}

// A path as the module spells it, whatever the locale of the test.
std::wstring wide(const fs::path& path) { return rkit::from_native_path(path.string()); }

class Driver : public testing::TestWithParam<bk::ArchiverKind> {
protected:
    Driver() {
        settings.archiver = GetParam();
        archive = dir.wpath() + L"/backup" + bk::archiver_extension(GetParam());
    }

    // Files with the names users give them, with data of several sizes, and
    // a link to a file, as gathering hands it over: the archive must hold what
    // it points to, or a restore would put back a link to a file that may be gone.
    std::vector<std::wstring> make_files() {
        std::vector<std::wstring> paths;
        size_t size = 0;
        for (const char* name :
             {"Отчёт за май.txt", "a#b&c'd.txt", "папка с пробелом/файл.dbf", "two  spaces/it's & #1", "data.bin"}) {
            const fs::path path = dir / "src" / name;
            bktest::write_file(path, files[path] = random_bytes(size));
            paths.push_back(wide(path));
            size = size * 7 + 3000;
        }
        bktest::write_file(dir / "real.dbf", files[dir / "src" / "link.dbf"] = "balance 100");
        fs::create_symlink(dir / "real.dbf", dir / "src" / "link.dbf");
        paths.push_back(wide(dir / "src" / "link.dbf"));
        return paths;
    }

    std::string failure_of(const std::function<void()>& operation) {
        try {
            operation();
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "<no failure>";
    }
    std::string failure_of_extract(const std::wstring& entry = L"", const std::wstring& dest = L"") {
        bktest::TempDir fresh;
        return failure_of([&] {
            bk::extract_with_settings(settings, dest.empty() ? fresh.wpath() : dest, archive, entry, nullptr);
        });
    }
    std::vector<std::wstring> sorted_entries() {
        auto entries = bk::list_entries(settings, archive);
        std::sort(entries.begin(), entries.end());
        return entries;
    }
    // "7z: " or "rar: ", how the driver's messages begin.
    std::string prefix() const { return rkit::wide_to_char(bk::archiver_program_file(GetParam())) + ": "; }

    bktest::TempDir dir;
    bk::ArchiverSettings settings;
    std::wstring archive;
    std::map<fs::path, std::string> files;  // full path -> content
};

// Names users give their files, links, one entry alone, and the password
// typed at the archiver's prompts: it is never on a command line, which every
// local user can read.
TEST_P(Driver, OddNamesLinksAndOneEntryComeBackThroughAPasswordTypedAtThePrompt) {
    // The archiver of the settings notes its arguments, then runs the real one.
    const std::string name = rkit::wide_to_char(bk::archiver_program_file(GetParam()));
    const std::string log = (dir / "args.log").string();
    bktest::write_file(dir / "bin" / name, "#!/bin/sh\nprintf '%s\\n' \"$*\" >>'" + log + "'\nexec " + name + " \"$@\"\n");
    fs::permissions(dir / "bin" / name, fs::perms::owner_all);
    settings.exe_path = wide(dir / "bin");
    settings.password = L"s3cr#t пароль";
    bktest::write_file(dir / "staging" / "filelist.xml", "<filelist/>");
    bk::compress(settings, (dir / "staging").wstring(), archive, L"filelist.xml");
    const std::vector<std::wstring> sources = make_files();
    std::vector<std::wstring> stored{L"filelist.xml"};
    for (const std::wstring& path : sources) stored.push_back(path.substr(1));
    std::sort(stored.begin(), stored.end());
    bk::compress_files(settings, sources, archive, nullptr);  // adds to an encrypted archive
    EXPECT_EQ(sorted_entries(), stored);
    bktest::TempDir dest, one;
    bk::extract_with_settings(settings, dest.wpath(), archive, L"", nullptr);
    for (const auto& [path, content] : files) {
        EXPECT_EQ(bktest::read_file(dest.path() / path.relative_path()), content);
        EXPECT_FALSE(fs::is_symlink(dest.path() / path.relative_path()));
    }
    EXPECT_EQ(bktest::read_file(dest / "filelist.xml"), "<filelist/>");
    bk::extract_with_settings(settings, one.wpath(), archive, L"filelist.xml", nullptr);
    EXPECT_EQ(bktest::read_file(one / "filelist.xml"), "<filelist/>");
    EXPECT_EQ(std::distance(fs::directory_iterator(one.path()), fs::directory_iterator()), 1);
    // Asked whether to overwrite, the archiver reads end-of-file and stops.
    EXPECT_EQ(failure_of_extract(L"", dest.wpath()), prefix() + "user stopped the process");
    if (GetParam() == ARCHIVER_RAR) {  // RAR 5 reports this with a code of its own
        EXPECT_EQ(failure_of_extract(L"missing.txt"), "rar: no files to process: No files to extract");
    } else {  // 7-Zip's listing, read through the prompt too, tells where each file starts
        bk::ArchiveListing listing;
        ASSERT_TRUE(bk::Archiver_7z(L"", nullptr).list(dir.wpath(), archive, settings.password, listing));
        std::vector<std::pair<int64_t, size_t>> starts{{listing.offsets.at(L"filelist.xml"), 11}};
        for (const auto& [path, content] : files)
            starts.emplace_back(listing.offsets.at(wide(path.relative_path())), content.size());
        std::sort(starts.begin(), starts.end());
        int64_t end = 0;
        for (const auto& [offset, size] : starts) EXPECT_EQ(offset, std::exchange(end, end + int64_t(size)));
        EXPECT_EQ(listing.total, end);
    }

    settings.password = L"wrong";
    const std::string wrong = GetParam() == ARCHIVER_RAR
                                  ? "rar: wrong password: Incorrect password for "
                                  : "7z: fatal error: Cannot open encrypted archive. Wrong password?";
    EXPECT_EQ(failure_of_extract().substr(0, wrong.size()), wrong);
    // With none in the settings the question is seen after the archiver has
    // stopped, and the stop is reported as what it is, never a quiet cancel.
    settings.password.clear();
    EXPECT_EQ(failure_of_extract(), prefix() + "wrong or missing password");
    // 7-Zip encrypts the names too.
    if (GetParam() == ARCHIVER_7ZIP) {
        EXPECT_EQ(failure_of([&] { sorted_entries(); }), "7z: wrong or missing password");
    }

    const std::string command_lines = bktest::read_file(log);
    EXPECT_GE(std::count(command_lines.begin(), command_lines.end(), '\n'), 6);
    for (const char* password : {"s3cr#t", "wrong"}) EXPECT_EQ(command_lines.find(password), std::string::npos);
}

// What went wrong, in the archiver's own words after the code's message.
TEST_P(Driver, DamagedArchiveAndFullDiskInTheArchiversWords) {
    bk::compress_files(settings, make_files(), archive, nullptr);
    const std::string whole = bktest::read_file(archive);
    const bool rar = GetParam() == ARCHIVER_RAR;
    const std::string name = rkit::wide_to_char(archive);
    const std::pair<std::string, std::string> damaged[] = {
        {whole.substr(0, whole.size() / 2),
         rar ? "rar: CRC error: " : "7z: fatal error: Cannot open the file as [7z] archive; Unexpected end of archive"},
        {random_bytes(3000), rar ? "rar: " + name + " is not RAR archive; No files to extract"
                                    : "7z: fatal error: Cannot open the file as [7z] archive; Is not archive"},
    };
    for (const auto& [bytes, message] : damaged) {
        bktest::write_file(archive, bytes);
        EXPECT_EQ(failure_of_extract().substr(0, message.size()), message);
        EXPECT_EQ(failure_of([&] { sorted_entries(); }).rfind(prefix(), 0), 0u);
    }

    if (geteuid() != 0) return;  // a small file system of its own needs root
    const fs::path full = dir / "full";
    fs::create_directories(full);
    if (mount("tmpfs", full.c_str(), "tmpfs", 0, "size=512k") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
    struct Unmount {
        fs::path path;
        ~Unmount() { umount(path.c_str()); }
    } unmount{full};
    bktest::write_file(dir / "big.bin", random_bytes(2 << 20));
    const std::wstring target = wide(full / "backup") + bk::archiver_extension(GetParam());
    EXPECT_EQ(failure_of([&] { bk::compress_files(settings, {wide(dir / "big.bin")}, target, nullptr); }),
              rar ? "rar: user stopped the process: Write error in the file " + rkit::wide_to_char(target)
                  : "7z: fatal error: errno=28 : No space left on device");
    EXPECT_TRUE(fs::is_empty(full));
}

TEST_P(Driver, CancelDuringALargeFileLeavesNoArchive) {
    const fs::path big = dir / "big.bin";
    bktest::write_file(big, random_bytes(64 << 20));
    settings.compress_level = 9;
    CancelOnPercent status;
    EXPECT_THROW(bk::compress_files(settings, {big.wstring()}, archive, &status), bk::task_canceled);
    EXPECT_FALSE(fs::exists(archive)) << fs::file_size(archive) << " bytes left";

    // The status that made the cancel came from the archiver's own progress line.
    ASSERT_TRUE(status.stop);
    const bk::TaskStatus& last = status.last;
    const std::wstring shown_name = GetParam() == ARCHIVER_RAR ? big.wstring() : big.relative_path().wstring();
    EXPECT_EQ(last.text, bk::load_string(bk::ids::STATUS_COMPRESSING) + L"\n" + shown_name + L"\n" +
                             std::to_wstring(last.progress) + L"%");
    EXPECT_GE(last.progress, 0);
    EXPECT_LE(last.progress, 100);
}

INSTANTIATE_TEST_SUITE_P(Archivers, Driver, testing::Values(ARCHIVER_7ZIP, ARCHIVER_RAR),
                         [](const auto& info) { return rkit::wide_to_char(bk::archiver_name(info.param)); });

}  // namespace
