// The archiver layer without running an archive: lookups, the program path,
// temporary names, the command lines, exit codes, progress lines, listings.
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
#include "rkit/files.h"
#include "rkit/path.h"
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

TEST(ArchiverKinds, LookupsAndUnsupportedKinds) {
    EXPECT_EQ(bk::archiver_kind_from_path(L"/b/копия.RAR"), ARCHIVER_RAR);
    EXPECT_EQ(bk::archiver_kind_from_path(L"/b.7z/x"), -1);
    EXPECT_EQ(bk::archiver_default_extension(L"/b/backup", ARCHIVER_RAR), L"/b/backup.rar");
    EXPECT_EQ(error_of([] { bk::create_archiver(3, L"", nullptr); }), "archiver not supported");
}

TEST(ArchiverProgramPath, FolderProgramOtherNameAndMissing) {
    for (const bk::ArchiverKind kind : {ARCHIVER_7ZIP, ARCHIVER_RAR}) {
        const std::wstring folder = program_folder(kind), program = bk::archiver_program_file(kind);
        const std::wstring full = folder + L"/" + program;
        auto find = [&](const std::wstring& exe) {
            return kind == ARCHIVER_RAR ? bk::Archiver_Rar(exe, nullptr).find_executable()
                                        : bk::Archiver_7z(exe, nullptr).find_executable();
        };
        for (const std::wstring& exe_path : {folder, folder + L"/", full, std::wstring()})  // empty: PATH
            EXPECT_EQ(find(exe_path), L"\"" + full + L"\"");
        EXPECT_TRUE(bk::is_valid_archiver_path(kind, full));

        EXPECT_EQ(error_of([&] { find(folder + L"/7zG"); }), "invalid archiver filename: 7zG");
        EXPECT_EQ(error_of([&] { find(full + L".exe"); }),
                  "invalid archiver filename: " + rkit::wide_to_char(program) + ".exe");
        EXPECT_FALSE(bk::is_valid_archiver_path(kind, folder + L"/7zG"));

        bktest::TempDir empty;
        const std::string missing = rkit::wide_to_char(empty.wpath() + L"/" + program);
        EXPECT_EQ(error_of([&] { find(empty.wpath()); }), "archiver not found at: " + missing);
        EXPECT_EQ(error_of([&] { find(rkit::char_to_wide(missing)); }), "archiver not found at: " + missing);
        EXPECT_FALSE(bk::is_valid_archiver_path(kind, empty.wpath()));

        const std::string path = getenv("PATH");
        setenv("PATH", (empty.path().string() + "::/nonexistent").c_str(), 1);
        EXPECT_EQ(error_of([&] { find(L""); }), "archiver not found: " + rkit::wide_to_char(program));
        setenv("PATH", path.c_str(), 1);
    }
}

TEST(ArchiverTempNames, InTmpdirOrItsNearestParentAndDeletedWithTheirHolders) {
    bktest::TempDir dir;
    const std::string tmpdir = getenv("TMPDIR") ? getenv("TMPDIR") : "";
    setenv("TMPDIR", (dir.path() / "gone" / "deeper").c_str(), 1);
    std::wstring file, folder;
    {
        rkit::TempFile temp_file;
        rkit::TempFolder temp_folder;
        file = temp_file.path();
        folder = temp_folder.path();
        EXPECT_EQ(rkit::extract_dir(file), dir.wpath());
        EXPECT_TRUE(rkit::extract_name_ext(file).starts_with(L"vdk"));
        EXPECT_TRUE(rkit::file_exists(file));
        EXPECT_TRUE(rkit::dir_exists(folder));
        EXPECT_NE(file, folder);
        bktest::write_file(dir.path() / rkit::wide_to_char(rkit::extract_name_ext(folder)) / "x" / "y.txt", "data");
    }
    tmpdir.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", tmpdir.c_str(), 1);
    EXPECT_FALSE(rkit::file_exists(file));
    EXPECT_FALSE(rkit::dir_exists(folder));
}

TEST(ArchiverCommandLine, QuotedArgumentsComeBackUnchanged) {
    for (const std::wstring arg : {L"/a b/Отчёт #1 & 'x'.7z", L"/end\\", L"/q\"uote\\\"d", L""})
        EXPECT_EQ(rkit::split_command_line(L"prog " + bk::archiver_detail::quote(arg)), (Args{L"prog", arg}));
}

// The switches in their order, and every level mapped as the archiver's table says.
TEST(ArchiverCommandLine, SwitchesAndLevels) {
    const std::wstring folder7 = program_folder(ARCHIVER_7ZIP), folder_rar = program_folder(ARCHIVER_RAR);
    bk::Archiver_7z seven{folder7, nullptr};
    bk::Archiver_Rar rar{folder_rar, nullptr};
    // p7zip's 7z needs -l to store what a link points to; 7-Zip's own does so anyway.
    const bool p7zip = std::system("7z 2>/dev/null | grep -q 'p7zip Version'") == 0;
    auto links = [&](Args args) {
        if (p7zip) args.insert(std::find_if(args.begin(), args.end(), [](auto& a) { return a.starts_with(L"-w"); }), L"-l");
        return args;
    };
    auto args = rkit::split_command_line;
    EXPECT_EQ(args(seven.compress_command(L"/b/x y.7z", L"/tmp/vdk1", L"", L"", 2 | 4, 5, L"/tmp/w d")),
              links({folder7 + L"/7z", L"a", L"/b/x y.7z", L"-ssw", L"-mx5", L"-w/tmp/w d", L"-scsUTF-8", L"@/tmp/vdk1"}));
    EXPECT_EQ(args(seven.compress_command(L"/b/x.7z", L"data dir", L"-t7z -mmt=2", L"pw", 1, 9, L"/tmp/w")),
              links({folder7 + L"/7z", L"a", L"/b/x.7z", L"-r", L"-mx9", L"-p", L"-mhe=on", L"-t7z", L"-mmt=2",
                     L"-w/tmp/w", L"data dir"}));
    // A password is asked for (bare -p), never written out; 7-Zip asks by itself when it reads.
    EXPECT_EQ(args(seven.extract_command(L"/b/x.7z", L"fileinfo.xml", L"-bd", L"pw", 1)),
              (Args{folder7 + L"/7z", L"x", L"/b/x.7z", L"-y", L"-bd", L"fileinfo.xml"}));
    EXPECT_EQ(args(rar.compress_command(L"/b/x.rar", L"/tmp/vdk1", L"-s -ma5", L"pw", 1 | 2 | 4, 9)),
              (Args{folder_rar + L"/rar", L"a", L"/b/x.rar", L"-r", L"-dh", L"-m5", L"-p", L"-s", L"-ma5",
                    L"@/tmp/vdk1"}));
    EXPECT_EQ(args(rar.extract_command(L"/b/x.rar", L"fileinfo.xml", L"", L"pw", 1)),
              (Args{folder_rar + L"/rar", L"x", L"/b/x.rar", L"-y", L"-p", L"fileinfo.xml"}));

    auto level_switch = [](const std::wstring& command_line, const std::wstring& prefix) {
        for (const std::wstring& arg : rkit::split_command_line(command_line))
            if (arg.starts_with(prefix) && arg.size() == prefix.size() + 1) return arg;
        return std::wstring();
    };
    const wchar_t* seven_levels[] = {L"", L"-mx0", L"-mx1", L"-mx1", L"-mx3", L"-mx5", L"-mx5",
                                     L"-mx5", L"-mx7", L"-mx9", L"-mx9", L""};
    const wchar_t* rar_levels[] = {L"", L"-m0", L"-m1", L"-m1", L"-m2", L"-m2", L"-m3", L"-m4", L"-m4", L"-m5", L"-m5", L""};
    for (int32_t level = -1; level <= 10; ++level) {
        EXPECT_EQ(level_switch(seven.compress_command(L"/a.7z", L"s", L"", L"", 0, level, L"/w"), L"-mx"),
                  seven_levels[level + 1]) << level;
        EXPECT_EQ(level_switch(rar.compress_command(L"/a.rar", L"s", L"", L"", 0, level), L"-m"),
                  rar_levels[level + 1]) << level;
    }
}

// p7zip's 7z is told -l, to store what a link points to; 7-Zip's own, which
// refuses -l, is not. Stand-ins print the banner of each and note their arguments.
TEST(ArchiverCommandLine, OnlyP7zipIsToldToFollowLinks) {
    for (const auto& [banner, told] : {std::pair{"7-Zip [64] 16.02 : Igor Pavlov\np7zip Version 16.02 (locale=C)", true},
                                       {"7-Zip (z) 24.08 (x64) : Copyright (c) 1999-2024 Igor Pavlov", false}}) {
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
    for (const auto& [archiver, code, text] : cases) EXPECT_EQ(error_of([&] { archiver->check_exit_code(code); }), text);
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
        {plain, L"Creating archive: /b/vd_backup_2026-12-05.7z", nullptr, 0},
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
        const bool parsed = kind == rar_line ? rar.parse_progress_line(line, status)
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
