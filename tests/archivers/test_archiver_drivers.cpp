// Both drivers against the real 7z and rar.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <stdexcept>

#include "app/string_table.h"
#include "archiver_test_support.h"
#include "archivers/archiver_7z.h"
#include "archivers/archiver_rar.h"
#include "rkit/files.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using bk::ARCHIVER_7ZIP;
using bk::ARCHIVER_RAR;

class Driver : public testing::TestWithParam<bk::ArchiverKind> {
protected:
    Driver() {
        settings.archiver = GetParam();
        archive = dir.wpath() + L"/backup" + bk::archiver_extension(GetParam());
    }

    // Files with the names users give them, with data of several sizes.
    std::vector<std::wstring> make_files() {
        const char* names[] = {"Отчёт за май.txt", "a#b&c'd.txt", "папка с пробелом/файл.dbf",
                               "two  spaces/it's & #1", "data.bin"};
        std::vector<std::wstring> paths;
        size_t size = 0;
        for (const char* name : names) {
            const fs::path path = dir / "src" / name;
            bktest::write_file(path, bktest::random_bytes(size, size + 1));
            files[path] = bktest::read_file(path);
            paths.push_back(bktest::wide(path));
            size = size * 7 + 3000;
        }
        return paths;
    }

    // "<program> t" on the archive, with a password or none: its exit code,
    // and whether its output asked for a password.
    std::pair<int32_t, bool> test_archive(const std::wstring& password) {
        const bk::TempFile output;
        std::wstring line = bk::archiver_detail::quote(bk::archiver_program_file(GetParam())) + L" t " +
                            bk::archiver_detail::quote(archive);
        if (!password.empty()) line += L" -p" + password;
        const int32_t code = bk::run_process_to_file(line, L"", output.path());
        bk::ConsoleScreen screen;
        screen.write(bktest::read_file(rkit::native_path(output.path())));
        return {code, bk::shows_password_prompt(screen)};
    }

    std::string failure_of_extract(const std::wstring& dest) {
        try {
            bk::extract_with_settings(settings, dest, archive, L"", nullptr);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "<no failure>";
    }

    // "7z: " or "rar: ", how the driver's messages begin.
    std::string prefix() const { return rkit::wide_to_char(bk::archiver_program_file(GetParam())) + ": "; }

    bktest::TempDir dir;
    bk::ArchiverSettings settings;
    std::wstring archive;
    std::map<fs::path, std::string> files;  // full path -> content
};

TEST_P(Driver, OddNamesComeBackIdenticalAndOneEntryAlone) {
    bktest::write_file(dir / "staging" / "filelist.xml", "<filelist/>");
    bk::compress(settings, (dir / "staging").wstring(), archive, L"filelist.xml");
    bk::compress_files(settings, make_files(), archive, nullptr);

    bktest::TempDir dest;
    bk::extract_with_settings(settings, dest.wpath(), archive, L"", nullptr);
    for (const auto& [path, content] : files) {
        const fs::path back = dest.path() / path.relative_path();
        ASSERT_TRUE(fs::is_regular_file(back)) << back;
        EXPECT_EQ(bktest::read_file(back), content) << back;
    }
    EXPECT_EQ(bktest::read_file(dest / "filelist.xml"), "<filelist/>");

    bktest::TempDir one;
    bk::extract_with_settings(settings, one.wpath(), archive, L"filelist.xml", nullptr);
    EXPECT_EQ(bktest::read_file(one / "filelist.xml"), "<filelist/>");
    EXPECT_EQ(std::distance(fs::directory_iterator(one.path()), fs::directory_iterator()), 1);
}

TEST_P(Driver, PasswordProtectsTheArchive) {
    settings.password = L"s3cr#t";
    bk::compress_files(settings, make_files(), archive, nullptr);
    EXPECT_EQ(test_archive(L"s3cr#t"), std::make_pair(0, false));
    EXPECT_NE(test_archive(L"wrong").first, 0);
    // Without a password the archiver asks for one and, reading end-of-file,
    // stops with the code of a stop.
    EXPECT_EQ(test_archive(L""), std::make_pair(255, true));

    bktest::TempDir dest;
    settings.password = L"wrong";
    EXPECT_EQ(failure_of_extract(dest.wpath()), prefix() + (GetParam() == ARCHIVER_RAR ? "wrong password" : "fatal error"));
    // With none in the settings the archiver's question is seen after it has
    // stopped, and the stop is reported as what it is, never a quiet cancel.
    settings.password.clear();
    bktest::TempDir fresh;
    EXPECT_EQ(failure_of_extract(fresh.wpath()), prefix() + "wrong or missing password");
}

TEST_P(Driver, EveryLevelIsAcceptedByTheArchiver) {
    bktest::write_file(dir / "small.txt", std::string(5000, 'x'));
    for (int32_t level = -1; level <= 10; ++level) {
        settings.compress_level = level;
        const std::wstring one = dir.wpath() + L"/level" + std::to_wstring(level) + bk::archiver_extension(GetParam());
        ASSERT_NO_THROW(bk::compress(settings, dir.wpath(), one, L"small.txt")) << level;
        EXPECT_TRUE(rkit::file_exists(one));
    }
}

TEST_P(Driver, CancelDuringALargeFileLeavesNoArchive) {
    const fs::path big = dir / "big.bin";
    bktest::write_file(big, bktest::random_bytes(64 << 20, 7));
    settings.compress_level = 9;
    bktest::RecordingStatus status;
    status.cancel_on_percent = true;
    EXPECT_THROW(bk::compress_files(settings, {big.wstring()}, archive, &status), bk::task_canceled);
    EXPECT_FALSE(fs::exists(archive));

    // The status that made the cancel came from the archiver's own progress line.
    ASSERT_FALSE(status.shown.empty());
    const bk::TaskStatus& last = status.shown.back();
    const std::wstring shown_name = GetParam() == ARCHIVER_RAR ? big.wstring() : big.relative_path().wstring();
    EXPECT_EQ(last.text, bk::load_string(bk::ids::STATUS_COMPRESSING) + L"\n" + shown_name + L"\n" +
                             std::to_wstring(last.progress) + L"%");
    EXPECT_GE(last.progress, 0);
    EXPECT_LE(last.progress, 100);
}

// Gathering hands the archiver links to files; the archive must hold what
// they point to, or a restore would put back a link to a file that may be gone.
TEST_P(Driver, ALinkToAFileIsSavedAsTheFile) {
    bktest::write_file(dir / "src" / "real.dbf", "balance 100");
    fs::create_symlink(dir / "src" / "real.dbf", dir / "src" / "link.dbf");
    bk::compress_files(settings, {bktest::wide(dir / "src" / "link.dbf")}, archive, nullptr);
    fs::remove(dir / "src" / "real.dbf");

    bktest::TempDir dest;
    bk::extract_with_settings(settings, dest.wpath(), archive, L"", nullptr);
    const fs::path back = dest.path() / (dir / "src" / "link.dbf").relative_path();
    EXPECT_FALSE(fs::is_symlink(back));
    EXPECT_EQ(bktest::read_file(back), "balance 100");
}

INSTANTIATE_TEST_SUITE_P(Archivers, Driver, testing::Values(ARCHIVER_7ZIP, ARCHIVER_RAR),
                         [](const auto& info) { return rkit::wide_to_char(bk::archiver_name(info.param)); });

TEST(SevenZipDriver, ExtractionShowsFileAndPercentOfTheListing) {
    // PPMd at its top level decodes slowly enough for several polls.
    bktest::TempDir dir;
    for (int i = 0; i < 4; ++i) {
        std::string text;
        const std::string noise = bktest::random_bytes(600000, i);
        for (unsigned char c : noise) text += static_cast<char>('a' + c % 26);
        bktest::write_file(dir / "src" / ("part " + std::to_string(i) + ".txt"), text);
    }
    bk::ArchiverSettings settings;
    settings.compress_options = L"-m0=PPMd -mx9";
    const std::wstring archive = dir.wpath() + L"/slow.7z";
    bk::compress(settings, (dir / "src").wstring(), archive, L"*.txt");

    bktest::RecordingStatus status;
    bktest::TempDir dest;
    bk::extract_with_settings(settings, dest.wpath(), archive, L"", &status);
    ASSERT_FALSE(status.shown.empty());
    const std::wstring label = bk::load_string(bk::ids::STATUS_EXTRACTING) + L"\npart ";
    bool listed_percent = false;
    for (const bk::TaskStatus& s : status.shown) {
        EXPECT_TRUE(s.text.starts_with(label)) << rkit::wide_to_char(s.text);
        // The entry's start in the listing gives a percent of its own.
        listed_percent |= s.text.ends_with(L"\n" + std::to_wstring(s.progress) + L"%") && s.progress > 0;
    }
    EXPECT_TRUE(listed_percent);
}

TEST(RarDriver, NothingToExtractIsReported) {
    bktest::TempDir dir;
    bktest::write_file(dir / "a.txt", "a");
    bk::ArchiverSettings settings;
    settings.archiver = ARCHIVER_RAR;
    const std::wstring archive = dir.wpath() + L"/a.rar";
    bk::compress(settings, dir.wpath(), archive, L"a.txt");
    try {
        bk::extract_with_settings(settings, dir.wpath(), archive, L"missing.txt", nullptr);
        ADD_FAILURE() << "no failure";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "rar: no files to process");
    }
}

}  // namespace
