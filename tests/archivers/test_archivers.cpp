// The archiver layer: first what no run of an archive shows (the program
// path, the command lines, exit codes, progress lines, listings), then both
// drivers against the real 7z and rar.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <map>
#include <tuple>
#include <utility>

#include "core/string_table.h"
#include "archivers/archiver_7z.h"
#include "archivers/archiver_rar.h"
#include "rkit/command_line_split.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "support/temp_dir.h"
#include "support/values.h"

namespace {

namespace fs = std::filesystem;
using bk::ARCHIVER_7ZIP;
using bk::ARCHIVER_RAR;
using Args = std::vector<std::wstring>;
using bktest::error_of;
using bktest::random_bytes;
using bktest::wide;

// The folder that holds the real program of kind.
std::wstring program_folder(bk::ArchiverKind kind) {
    const std::string program = rkit::wide_to_char(bk::archiver_program_file(kind));
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"})
        if (fs::exists(fs::path(dir) / program)) return rkit::char_to_wide(dir);
    return L"/usr/bin";
}

// Where the program is looked for (the same for both kinds), and what is
// wrong when it is not there.
TEST(ArchiverProgramPath, FolderProgramPathAndWhatIsWrong) {
    EXPECT_EQ(error_of([] { bk::create_archiver(3, L"", nullptr); }), "archiver not supported");
    bktest::TempDir empty;
    const std::wstring folder = program_folder(ARCHIVER_7ZIP), full = folder + L"/7z", missing = empty.wpath() + L"/7z";
    auto find = [&](const std::wstring& exe) {
        std::wstring found;
        const std::string error = error_of([&] { found = bk::Archiver_7z(exe, nullptr).find_executable(); });
        return found.empty() ? error : rkit::wide_to_char(found);
    };
    const std::string quoted = "\"" + rkit::wide_to_char(full) + "\"", not_found = "archiver not found at: ";
    const std::tuple<std::wstring, std::string, bool> cases[] = {
        {folder, quoted, true}, {folder + L"/", quoted, true}, {full, quoted, true},
        {L"", quoted, false},  // searched for in PATH
        {folder + L"/7zG", "invalid archiver filename: 7zG", false},
        {empty.wpath(), not_found + rkit::wide_to_char(missing), false},
        {missing, not_found + rkit::wide_to_char(missing), false}};
    for (const auto& [exe, outcome, valid] : cases) {
        EXPECT_EQ(find(exe), outcome);
        EXPECT_EQ(bk::is_valid_archiver_path(ARCHIVER_7ZIP, exe), valid) << rkit::wide_to_char(exe);
    }
    EXPECT_TRUE(bk::is_valid_archiver_path(ARCHIVER_RAR, program_folder(ARCHIVER_RAR)));
    const std::string path = getenv("PATH");
    setenv("PATH", (empty.path().string() + "::/nonexistent").c_str(), 1);
    EXPECT_EQ(find(L""), "archiver not found: 7z");
    setenv("PATH", path.c_str(), 1);
}

// What no run of the real archivers shows: the switch for files others hold
// open, the user's own options in their place, and every level mapped as the
// archiver's table says.
TEST(ArchiverCommandLine, OpenFilesOptionsAndLevels) {
    bk::Archiver_7z seven{L"", nullptr};
    bk::Archiver_Rar rar{L"", nullptr};
    auto args = rkit::split_command_line;
    const Args rar_args = args(rar.compress_command(L"/b/x.rar", L"/tmp/vdk1", L"-s -ma5", L"pw", 1 | 2 | 4, 9));
    const Args seven_args = args(seven.compress_command(L"/b/x.7z", L"s", L"-mmt=2", L"", 2, 5, L"/w"));
    for (const auto& [all, arg] : {std::pair{&rar_args, L"-dh"}, {&rar_args, L"-ma5"}, {&seven_args, L"-ssw"},
                                   {&seven_args, L"-mmt=2"}})
        EXPECT_EQ(std::count(all->begin(), all->end(), std::wstring(arg)), 1) << arg;

    std::wstring seven_levels, rar_levels;
    for (int32_t level = -1; level <= 10; ++level) {
        for (const std::wstring& arg : args(seven.compress_command(L"/a.7z", L"s", L"", L"", 0, level, L"/w")))
            if (arg.starts_with(L"-mx")) seven_levels += arg.substr(3);
        for (const std::wstring& arg : args(rar.compress_command(L"/a.rar", L"s", L"", L"", 0, level)))
            if (arg.starts_with(L"-m")) rar_levels += arg.substr(2);
        seven_levels += L' ', rar_levels += L' ';
    }
    EXPECT_EQ(seven_levels, L" 0 1 1 3 5 5 5 7 9 9  ");  // none outside 0..9
    EXPECT_EQ(rar_levels, L" 0 1 1 2 2 3 4 4 5 5  ");
}

// p7zip's 7z is told -l, to store what a link points to; 7-Zip's own, which
// refuses -l, is not. Stand-ins print the banner of each and note their arguments.
TEST(ArchiverCommandLine, OnlyP7zipIsToldToFollowLinks) {
    for (const auto& [banner, told] : {std::pair{"7-Zip [64] 16.02 : Igor Pavlov\np7zip Version 16.02", true},
                                       {"7-Zip (z) 24.08 (x64) : Igor Pavlov", false}}) {
        bktest::TempDir dir;
        const std::string log = (dir / "args").string();
        bktest::write_file(dir / "7z", "#!/bin/sh\necho \"$*\" >>'" + log + "'\nprintf '" + banner + "\\n'\n");
        fs::permissions(dir / "7z", fs::perms::owner_all);
        bk::ArchiverSettings settings;
        settings.exe_path = dir.wpath();
        bk::compress(settings, dir.wpath(), dir.wpath() + L"/x.7z", L"data");
        const std::string args = bktest::read_file(log);
        EXPECT_EQ(args.find(" -l ") != std::string::npos, told) << args;
    }
}

// Stops nobody asked for are failures, crashes show their code in
// hexadecimal, other codes in signed decimal (the archivers' own codes: the drivers' runs).
TEST(ArchiverExitCodes, StopsCrashesAndUnknownCodes) {
    bk::Archiver_7z seven(L"", nullptr);
    bk::Archiver_Rar rar(L"", nullptr);
    EXPECT_NO_THROW(seven.check_exit_code(1));
    EXPECT_NO_THROW(rar.check_exit_code(1));
    const std::tuple<bk::BaseArchiver*, int32_t, const char*> cases[] = {
        {&seven, bk::exit_code_ctrl_c, "7z: process aborted by Control+C"},
        {&seven, int32_t(0xC0000005u), "7z: aborted by exception (code: c0000005)"},
        {&seven, int32_t(0x80000000u), "7z: unknown exit code -2147483648"},
        {&seven, -1, "7z: archiver executable not found"},
        {&rar, bk::exit_code_signal_base + 11, "rar: aborted by exception (code: c000000b)"},
        {&rar, 12, "rar: unknown exit code 12"},
    };
    for (const auto& [archiver, code, text] : cases)
        EXPECT_EQ(error_of([&] { archiver->check_exit_code(code); }), text);
}

// The status after each line, which keeps what the lines before it showed;
// no text: not a progress line, and the status is left as it was.
TEST(ProgressLines, FileAndPercentOfBothArchivers) {
    bk::Archiver_7z seven(L"", nullptr);
    bk::Archiver_Rar rar(L"", nullptr);
    bk::ArchiveListing listing{1000, {{L"a.txt", 0}, {L"b.txt", 600}}};
    enum { plain, listed, rar_line };
    const std::tuple<int, const wchar_t*, const wchar_t*, int32_t> lines[] = {
        {plain, L"Everything is Ok", nullptr, 0},
        {plain, L" 45% 3 +   ", nullptr, 0},
        {plain, L"  7% 3 + home/u/a - b.txt  ", L"home/u/a - b.txt\n7%", 7},
        {plain, L"100% + x.dbf", L"x.dbf\n100%", 100},
        {plain, L"101% + файл.dbf", L"файл.dbf", 100},  // no percent over 100
        // The entry's start in the listing gives the percent when it is further on.
        {listed, L"40% 2 - b.txt", L"b.txt\n40%\n60%", 60},
        {listed, L"70% 2 - b.txt", L"b.txt\n70%\n70%", 70},
        {rar_line, L"Adding     OK ", nullptr, 70},
        {rar_line, L"Adding    /home/u/a b.txt                       250%", L"/home/u/a b.txt\n250%", 250},
        {rar_line, L"Adding    /home/u/отчёт.txt      OK ", L"/home/u/отчёт.txt", 250},
        {rar_line, L"Добавление  /home/u/x.txt  ОК", L"/home/u/x.txt", 250},
        {rar_line, L"Adding /home/u/two words", L"/home/u/two words", 250},  // no status token: the name runs
        {rar_line, L"Adding /home/u/x 5x%", L"/home/u/x 5x%", 250},          // to the end of the line
    };
    bk::TaskStatus status;
    for (const auto& [kind, line, text, progress] : lines) {
        const bk::TaskStatus before = status;
        const bool parsed = kind == rar_line
                                  ? rar.parse_progress_line(line, status)
                                  : seven.parse_progress_line(line, status, kind == listed ? &listing : nullptr);
        EXPECT_EQ(parsed, text != nullptr) << line;
        const std::wstring label = bk::load_string(bk::ids::STATUS_COMPRESSING) + L"\n";
        EXPECT_EQ(status, text ? bk::TaskStatus(label + text, progress) : before) << line;
    }
}

// Layouts "7z l" may print, as 7-Zip aligns its rows under the ruler.
TEST(Listing, EdgeLayouts) {
    const std::wstring header = L"   Date      Time    Attr         Size   Compressed  Name";
    const std::wstring ruler = L"------------------- ----- ------------ ------------  ------------------------";
    auto row = [](const wchar_t* attr, long long size, const std::wstring& name) {
        wchar_t cells[80];
        std::swprintf(cells, 80, L"2026-12-05 10:00:00 %5ls %12lld %12ls  ", attr, size, L"");
        return cells + name;
    };
    bk::ArchiveListing listing;
    auto parse = [&](const std::vector<std::wstring>& lines) {
        bk::ListingParser parser;
        for (const std::wstring& line : lines)
            if (!parser.add_line(line)) return false;
        listing = parser.listing();
        return true;
    };
    // An empty archive: the second ruler follows the first at once.
    ASSERT_TRUE(parse({L"Type = 7z", L"", header, ruler, ruler, row(L"", 0, L"0 files")}));
    EXPECT_EQ(listing.total, 0);
    // A name far longer than its column; a sum larger than the rows; what
    // follows the sum is not read; a row without a name breaks the listing.
    const std::wstring long_name = L"очень/длинное имя " + std::wstring(300, L'я') + L".txt";
    ASSERT_TRUE(parse({header, ruler, row(L"....A", 100, long_name), row(L"....A", 20, L"b.txt"), ruler,
                       row(L"", 5000, L"2 files"), L"trailing text"}));
    EXPECT_EQ(listing.offsets, (std::map<std::wstring, int64_t>{{long_name, 0}, {L"b.txt", 100}}));
    EXPECT_EQ(listing.total, 5000);
    ASSERT_TRUE(parse({header, ruler, row(L"....A", 100, L"a"), ruler, row(L"", 10, L"1 files")}));
    EXPECT_EQ(listing.total, 100);  // a smaller sum does not shrink it
    EXPECT_FALSE(parse({header, ruler, row(L"....A", 100, L"a"), L"2026-12-05 10:00:00 D....", ruler}));
}

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

    std::string error_of_extract(const std::wstring& entry = L"", const std::wstring& dest = L"") {
        bktest::TempDir fresh;
        return error_of([&] {
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
    const fs::path script = dir / "bin" / name;
    bktest::write_file(script, "#!/bin/sh\nprintf '%s\\n' \"$*\" >>'" + log + "'\nexec " + name + " \"$@\"\n");
    fs::permissions(script, fs::perms::owner_all);
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
    bk::extract_with_settings(settings, one.wpath(), archive, L"filelist.xml", nullptr);
    EXPECT_EQ(bktest::read_file(one / "filelist.xml"), "<filelist/>");
    EXPECT_EQ(std::distance(fs::directory_iterator(one.path()), fs::directory_iterator()), 1);
    // Asked whether to overwrite, the archiver reads end-of-file and stops.
    EXPECT_EQ(error_of_extract(L"", dest.wpath()), prefix() + "user stopped the process");
    if (GetParam() == ARCHIVER_RAR) {  // RAR 5 reports this with a code of its own
        EXPECT_EQ(error_of_extract(L"missing.txt"), "rar: no files to process: No files to extract");
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
    EXPECT_EQ(error_of_extract().substr(0, wrong.size()), wrong);
    // With none in the settings the question is seen after the archiver has
    // stopped, and the stop is reported as what it is, never a quiet cancel.
    settings.password.clear();
    EXPECT_EQ(error_of_extract(), prefix() + "wrong or missing password");
    // 7-Zip encrypts the names too.
    if (GetParam() == ARCHIVER_7ZIP) {
        EXPECT_EQ(error_of([&] { sorted_entries(); }), "7z: wrong or missing password");
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
        EXPECT_EQ(error_of_extract().substr(0, message.size()), message);
        EXPECT_EQ(error_of([&] { sorted_entries(); }).rfind(prefix(), 0), 0u);
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
    EXPECT_EQ(error_of([&] { bk::compress_files(settings, {wide(dir / "big.bin")}, target, nullptr); }),
              rar ? "rar: user stopped the process: Write error in the file " + rkit::wide_to_char(target)
                  : "7z: fatal error: errno=28 : No space left on device");
    EXPECT_TRUE(fs::is_empty(full));
}

INSTANTIATE_TEST_SUITE_P(Archivers, Driver, testing::Values(ARCHIVER_7ZIP, ARCHIVER_RAR),
                         [](const auto& info) { return rkit::wide_to_char(bk::archiver_name(info.param)); });

}  // namespace
