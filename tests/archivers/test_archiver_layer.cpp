#include <gtest/gtest.h>
#include <stdlib.h>

#include <stdexcept>

#include "archiver_test_support.h"
#include "archivers/archiver_7z.h"
#include "archivers/archiver_rar.h"
#include "rkit/files.h"
#include "rkit/path.h"
#include "support/temp_dir.h"

namespace {

using bk::ARCHIVER_7ZIP;
using bk::ARCHIVER_RAR;

template <typename F>
std::string error_of(F&& f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "<no runtime_error>";
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = ::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_.empty())
            ::unsetenv(name_);
        else
            ::setenv(name_, old_.c_str(), 1);
    }

private:
    const char* name_;
    std::string old_;
};

TEST(ArchiverKinds, LookupsByNameExtensionAndKind) {
    EXPECT_EQ(bk::archiver_kind_from_name(L"7Z"), ARCHIVER_7ZIP);
    EXPECT_EQ(bk::archiver_kind_from_name(L"rAR"), ARCHIVER_RAR);
    EXPECT_EQ(bk::archiver_kind_from_name(L"zip"), -1);
    EXPECT_EQ(bk::archiver_kind_from_path(L"/b/копия.RAR"), ARCHIVER_RAR);
    EXPECT_EQ(bk::archiver_kind_from_path(L"/b/x.7z"), ARCHIVER_7ZIP);
    EXPECT_EQ(bk::archiver_kind_from_path(L"/b.7z/x"), -1);
    EXPECT_EQ(bk::archiver_name(0), L"7z");
    EXPECT_EQ(bk::archiver_extension(ARCHIVER_RAR), L".rar");
    EXPECT_EQ(bk::archiver_program_file(ARCHIVER_RAR), L"rar");
    EXPECT_EQ(bk::archiver_program_file(3), L"");
    EXPECT_EQ(bk::archiver_default_extension(L"/b/backup", ARCHIVER_RAR), L"/b/backup.rar");
    EXPECT_EQ(bk::archiver_default_extension(L"/b/backup.zip", ARCHIVER_RAR), L"/b/backup.zip");

    EXPECT_EQ(bk::create_archiver(0, L"", nullptr)->archiver_type(), ARCHIVER_7ZIP);
    EXPECT_EQ(bk::create_archiver(ARCHIVER_RAR, L"", nullptr)->archiver_type(), ARCHIVER_RAR);
    EXPECT_THROW(bk::create_archiver(-1, L"", nullptr), std::logic_error);
    try {
        bk::create_archiver(3, L"", nullptr);
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "archiver not supported");
    }
}

class ProgramPath : public testing::TestWithParam<bk::ArchiverKind> {
protected:
    std::wstring folder = bktest::program_folder(GetParam());
    std::wstring program = bk::archiver_program_file(GetParam());
    std::wstring quoted(const std::wstring& exe_path) {
        if (GetParam() == ARCHIVER_RAR) return bk::Archiver_Rar(exe_path, nullptr).find_executable();
        return bk::Archiver_7z(exe_path, nullptr).find_executable();
    }
};

TEST_P(ProgramPath, FolderProgramOtherNameMissingAndPath) {
    const std::wstring full = folder + L"/" + program;
    EXPECT_EQ(quoted(folder), L"\"" + full + L"\"");
    EXPECT_EQ(quoted(folder + L"/"), L"\"" + full + L"\"");
    EXPECT_EQ(quoted(full), L"\"" + full + L"\"");
    EXPECT_EQ(quoted(L""), L"\"" + full + L"\"");  // found in PATH
    EXPECT_TRUE(bk::is_valid_archiver_path(GetParam(), folder));
    EXPECT_TRUE(bk::is_valid_archiver_path(GetParam(), full));

    EXPECT_EQ(error_of([&] { quoted(folder + L"/7zG"); }), "invalid archiver filename: 7zG");
    EXPECT_EQ(error_of([&] { quoted(folder + L"/" + program + L".exe"); }),
              "invalid archiver filename: " + rkit::wide_to_char(program) + ".exe");
    EXPECT_FALSE(bk::is_valid_archiver_path(GetParam(), folder + L"/7zG"));

    bktest::TempDir empty;
    const std::string missing = rkit::wide_to_char(empty.wpath()) + "/" + rkit::wide_to_char(program);
    EXPECT_EQ(error_of([&] { quoted(empty.wpath()); }), "archiver not found at: " + missing);
    EXPECT_EQ(error_of([&] { quoted(rkit::char_to_wide(missing)); }), "archiver not found at: " + missing);
    EXPECT_FALSE(bk::is_valid_archiver_path(GetParam(), empty.wpath()));

    ScopedEnv path("PATH", empty.path().string() + "::/nonexistent");
    EXPECT_EQ(error_of([&] { quoted(L""); }), "archiver not found: " + rkit::wide_to_char(program));
}

INSTANTIATE_TEST_SUITE_P(Archivers, ProgramPath, testing::Values(ARCHIVER_7ZIP, ARCHIVER_RAR));

TEST(ArchiverTempNames, FilesAndFoldersInTmpdirOrItsNearestParent) {
    bktest::TempDir dir;
    std::wstring file, folder;
    {
        ScopedEnv tmp("TMPDIR", (dir.path() / "gone" / "deeper").string());
        bk::TempFile temp_file;
        bk::TempFolder temp_folder;
        file = temp_file.path();
        folder = temp_folder.path();
        EXPECT_EQ(rkit::extract_dir(file), dir.wpath());
        EXPECT_TRUE(rkit::extract_name_ext(file).starts_with(L"vdk"));
        EXPECT_TRUE(rkit::file_exists(file));
        EXPECT_TRUE(rkit::dir_exists(folder));
        EXPECT_NE(file, folder);
        bktest::write_file(dir.path() / rkit::wide_to_char(rkit::extract_name_ext(folder)) / "x" / "y.txt", "data");
    }
    EXPECT_FALSE(rkit::file_exists(file));
    EXPECT_FALSE(rkit::dir_exists(folder));
}

TEST(ArchiverCommandLine, QuotedArgumentsComeBackUnchanged) {
    for (const std::wstring arg : {L"/a b/Отчёт #1 & 'x'.7z", L"/end\\", L"/q\"uote\\\"d", L""}) {
        const auto args = bktest::arguments(L"prog " + bk::archiver_detail::quote(arg));
        ASSERT_EQ(args.size(), 2u) << rkit::wide_to_char(arg);
        EXPECT_EQ(args[1], arg);
    }
}

// The codes that need more than a line of a table: stops nobody asked for are
// failures, crashes show their code in hexadecimal, other codes in signed decimal.
TEST(ArchiverExitCodes, StopsCrashesAndUnknownCodes) {
    bk::Archiver_7z seven(L"", nullptr);
    bk::Archiver_Rar rar(L"", nullptr);
    EXPECT_NO_THROW(seven.check_exit_code(1));
    EXPECT_NO_THROW(rar.check_exit_code(1));
    const std::pair<int32_t, const char*> seven_codes[] = {
        {255, "7z: user stopped the process"},
        {bk::exit_code_ctrl_c, "7z: process aborted by Control+C"},
        {static_cast<int32_t>(0xC0000005u), "7z: aborted by exception (code: c0000005)"},
        {3, "7z: unknown exit code 3"},
        {static_cast<int32_t>(0x80000000u), "7z: unknown exit code -2147483648"},
        {-1, "7z: archiver executable not found"},
    };
    for (const auto& [code, text] : seven_codes) EXPECT_EQ(error_of([&] { seven.check_exit_code(code); }), text);
    const std::pair<int32_t, const char*> rar_codes[] = {
        {255, "rar: user stopped the process"},
        {bk::exit_code_signal_base + 11, "rar: aborted by exception (code: c000000b)"},
        {3, "rar: CRC error"},
        {12, "rar: unknown exit code 12"},
    };
    for (const auto& [code, text] : rar_codes) EXPECT_EQ(error_of([&] { rar.check_exit_code(code); }), text);
}

}  // namespace
