// The archiver layer without running an archive: the program path, the
// command lines, exit codes, progress lines, listings.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <tuple>

#include "core/string_table.h"
#include "archivers/archiver_7z.h"
#include "archivers/archiver_rar.h"
#include "rkit/command_line_split.h"
#include "rkit/text.h"
#include "support/temp_dir.h"

namespace {

using bk::ARCHIVER_7ZIP;
using bk::ARCHIVER_RAR;
using Args = std::vector<std::wstring>;

std::string error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no exception>";
}

// The folder that holds the real program of kind.
std::wstring program_folder(bk::ArchiverKind kind) {
    const std::string program = rkit::wide_to_char(bk::archiver_program_file(kind));
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"})
        if (std::filesystem::exists(std::filesystem::path(dir) / program)) return rkit::char_to_wide(dir);
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

TEST(ArchiverCommandLine, QuotedArgumentsComeBackUnchanged) {
    for (const std::wstring arg : {L"/a b/Отчёт #1 & 'x'.7z", L"/end\\", L"/q\"uote\\\"d", L""})
        EXPECT_EQ(rkit::split_command_line(L"prog " + bk::archiver_detail::quote(arg)), (Args{L"prog", arg}));
}

// What no run of the real archivers shows: the switch for files others hold
// open, the user's own options in their place, and every level mapped as the
// archiver's table says.
TEST(ArchiverCommandLine, OpenFilesOptionsAndLevels) {
    bk::Archiver_7z seven{L"", nullptr};
    bk::Archiver_Rar rar{L"", nullptr};
    auto args = rkit::split_command_line;
    EXPECT_EQ(args(rar.compress_command(L"/b/x.rar", L"/tmp/vdk1", L"-s -ma5", L"pw", 1 | 2 | 4, 9)),
              (Args{program_folder(ARCHIVER_RAR) + L"/rar", L"a", L"/b/x.rar", L"-r", L"-dh", L"-m5", L"-p", L"-s",
                    L"-ma5", L"@/tmp/vdk1"}));
    EXPECT_EQ(args(seven.extract_command(L"/b/x.7z", L"fileinfo.xml", L"-bd", L"pw", 1)),
              (Args{program_folder(ARCHIVER_7ZIP) + L"/7z", L"x", L"/b/x.7z", L"-y", L"-bd", L"fileinfo.xml"}));
    const Args seven_args = args(seven.compress_command(L"/b/x.7z", L"s", L"-mmt=2", L"", 2, 5, L"/w"));
    for (const wchar_t* arg : {L"-ssw", L"-mmt=2"}) EXPECT_EQ(std::count(seven_args.begin(), seven_args.end(), arg), 1);

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
        std::filesystem::permissions(dir / "7z", std::filesystem::perms::owner_all);
        bk::ArchiverSettings settings;
        settings.exe_path = dir.wpath();
        bk::compress(settings, dir.wpath(), dir.wpath() + L"/x.7z", L"data");
        const std::string args = bktest::read_file(log);
        EXPECT_EQ(args.find(" -l ") != std::string::npos, told) << args;
    }
}

// Stops nobody asked for are failures, crashes show their code in
// hexadecimal, other codes in signed decimal.
TEST(ArchiverExitCodes, StopsCrashesAndUnknownCodes) {
    bk::Archiver_7z seven(L"", nullptr);
    bk::Archiver_Rar rar(L"", nullptr);
    EXPECT_NO_THROW(seven.check_exit_code(1));
    EXPECT_NO_THROW(rar.check_exit_code(1));
    const std::tuple<bk::BaseArchiver*, int32_t, const char*> cases[] = {
        {&seven, 255, "7z: user stopped the process"},
        {&seven, bk::exit_code_ctrl_c, "7z: process aborted by Control+C"},
        {&seven, int32_t(0xC0000005u), "7z: aborted by exception (code: c0000005)"},
        {&seven, int32_t(0x80000000u), "7z: unknown exit code -2147483648"},
        {&seven, -1, "7z: archiver executable not found"},
        {&rar, 255, "rar: user stopped the process"},
        {&rar, bk::exit_code_signal_base + 11, "rar: aborted by exception (code: c000000b)"},
        {&rar, 3, "rar: CRC error"},
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
        {rar_line, L"Done", nullptr, 70},
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
    EXPECT_TRUE(listing.offsets.empty());

    // A name far longer than its column; a sum larger than the rows; what
    // follows the sum is not read.
    const std::wstring long_name = L"очень/длинное имя " + std::wstring(300, L'я') + L".txt";
    ASSERT_TRUE(parse({header, ruler, row(L"....A", 100, long_name), row(L"....A", 20, L"b.txt"), ruler,
                       row(L"", 5000, L"2 files"), L"trailing text"}));
    EXPECT_EQ(listing.offsets.at(long_name), 0);
    EXPECT_EQ(listing.offsets.at(L"b.txt"), 100);
    EXPECT_EQ(listing.total, 5000);

    // A smaller sum does not shrink the total; a row without a name breaks the listing.
    ASSERT_TRUE(parse({header, ruler, row(L"....A", 100, L"a"), ruler, row(L"", 10, L"1 files")}));
    EXPECT_EQ(listing.total, 100);
    EXPECT_FALSE(parse({header, ruler, row(L"....A", 100, L"a"), L"2026-12-05 10:00:00 D....", ruler}));
}

}  // namespace
