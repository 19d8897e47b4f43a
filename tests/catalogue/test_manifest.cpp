// fileinfo.xml and filelist.xml as the module writes them and as old or
// hand-written archives may hold them.
#include <gtest/gtest.h>

#include <functional>

#include "app/com_error.h"
#include "catalogue/manifest.h"
#include "records.h"
#include "settings/xml.h"
#include "support/temp_dir.h"

using namespace bk;
using cattest::at;
using cattest::record;

namespace {

const std::string head = "<?xml version=\"1.0\"?>\n";

std::string xml_error_text(const std::function<void()>& f) {
    try {
        f();
    } catch (const xml_error& e) {
        return e.what();
    }
    return "no xml_error";
}

}  // namespace

TEST(ArcRelPath, FullPathWithoutRootOrDrive) {
    EXPECT_EQ(arc_rel_path(L"/home/a/x.dbf"), L"home/a/x.dbf");
    EXPECT_EQ(arc_rel_path(L"C:\\Data\\base\\x.dbf"), L"Data\\base\\x.dbf");
    EXPECT_EQ(arc_rel_path(L"d:x.dbf"), L"x.dbf");
    EXPECT_EQ(arc_rel_path(L"\\\\server\\share\\x.dbf"), L"\\server\\share\\x.dbf");
    EXPECT_EQ(arc_rel_path(L"/Мои данные/отчёт 1.dbf"), L"Мои данные/отчёт 1.dbf");
    const std::wstring long_part(300, L'ж');
    EXPECT_EQ(arc_rel_path(L"/" + long_part + L"/" + long_part + L"." + long_part),
              long_part + L"/" + long_part + L"." + long_part);
}

TEST(FileList, WrittenAndReadBack) {
    bktest::TempDir dir;
    const std::wstring long_name(300, L'д');
    const std::vector<FileRecord> written{
        {L"ТЕК_ДИР", L"data\\x.dbf", L"C:\\Prog\\data\\x.dbf", 2},
        {L"ДИР_БАЗЫ", L"Отчёты/март 2024.txt", L"/home/бух/Отчёты/март 2024.txt", 1},
        {L"/srv/db", long_name + L"." + long_name, L"/srv/db/" + long_name + L"." + long_name, 1}};
    const std::wstring path = (dir / "filelist.xml").wstring();
    write_filelist(path, written);

    const std::string text = bktest::read_file(dir / "filelist.xml");
    EXPECT_EQ(text.rfind(head + "<root><files><file base_symbolic_name=\"ТЕК_ДИР\" rel_path=\"data\\x.dbf\" "
                                "arc_rel_path=\"Prog\\data\\x.dbf\" ref_count=\"2\"/>",
                         0),
              0u)
        << text;

    std::vector<FileRecord> read{{L"left", L"over", L"", 9}};
    read_filelist(path, L"/tmp/t1", read);
    ASSERT_EQ(read.size(), written.size());
    EXPECT_EQ(read[0], (FileRecord{L"ТЕК_ДИР", L"data\\x.dbf", L"/tmp/t1/Prog/data/x.dbf", 2}));
    EXPECT_EQ(read[1], (FileRecord{L"ДИР_БАЗЫ", L"Отчёты/март 2024.txt", L"/tmp/t1/home/бух/Отчёты/март 2024.txt", 1}));
    EXPECT_EQ(read[2].rel_path, written[2].rel_path);
    EXPECT_EQ(read[2].path, L"/tmp/t1/srv/db/" + long_name + L"." + long_name);
}

TEST(FileList, HandWrittenAndDamagedLists) {
    bktest::TempDir dir;
    const std::wstring path = (dir / "filelist.xml").wstring();
    std::vector<FileRecord> read{{L"kept", L"", L"", 1}};

    bktest::write_file(dir / "filelist.xml", head + "<root><other/></root>");
    read_filelist(path, L"/x", read);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].base_symbolic_name, L"kept");

    bktest::write_file(dir / "filelist.xml",
                       head + "<root>\n <files>\n  <entry base_symbolic_name=\"ДИР_DBF\" rel_path=\"a.dbf\" "
                              "arc_rel_path=\"Учёт\\dbf\\a.dbf\" ref_count=\"1\"></entry>\n </files>\n</root>");
    read_filelist(path, L"/x", read);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].path, L"/x/Учёт/dbf/a.dbf");

    bktest::write_file(dir / "filelist.xml",
                       head + "<root><files><file base_symbolic_name=\"A\" arc_rel_path=\"a\" ref_count=\"1\"/>"
                              "</files></root>");
    EXPECT_EQ(xml_error_text([&] { read_filelist(path, L"/x", read); }), "XML: attribute not found: rel_path");

    bktest::write_file(dir / "filelist.xml",
                       head + "<root><files><file base_symbolic_name=\"A\" rel_path=\"a\" arc_rel_path=\"a\" "
                              "ref_count=\"x\"/></files></root>");
    EXPECT_THROW(read_filelist(path, L"/x", read), com_error);

    bktest::write_file(dir / "filelist.xml",
                       head + "<root><files><file base_symbolic_name=\"A\" rel_path=\"a\" "
                              "arc_rel_path=\"data\\..\\..\\etc\\passwd\" ref_count=\"1\"/></files></root>");
    read_filelist(path, L"/x", read);
    ASSERT_EQ(read.size(), 1u);
    // Left for the restore to refuse: read as written, never resolved here.
    EXPECT_EQ(read[0].path, L"/x/data/../../etc/passwd");
}

TEST(FileInfo, WrittenAndReadBack) {
    bktest::TempDir dir;
    const std::wstring path = (dir / "fileinfo.xml").wstring();
    BackupRecord written = record(at(29, 2, 2024, 23, 59), 365, L"vd_backup_29.02.2024.7z");
    written.comment = L"Квартальный отчёт";
    written.workplace = -3;
    written.username = L"Петрова";
    written.workstation = L"ПК-бухгалтерия";
    write_fileinfo(path, written);
    EXPECT_EQ(bktest::read_file(dir / "fileinfo.xml").rfind(head + "<root><item date=\"29.02.2024\" time=\"23:59:00\"", 0),
              0u);
    BackupRecord read;
    read_fileinfo(path, read);
    EXPECT_EQ(read, written);
}

TEST(FileInfo, MissingPartsKeepTheRecord) {
    bktest::TempDir dir;
    const std::wstring path = (dir / "fileinfo.xml").wstring();
    bktest::write_file(dir / "fileinfo.xml", head + "<root><item filename=\"old.rar\"/></root>");
    BackupRecord read;
    read_fileinfo(path, read);
    BackupRecord expected;
    expected.filename = L"old.rar";
    EXPECT_EQ(read, expected);

    bktest::write_file(dir / "fileinfo.xml", head + "<root/>");
    read_fileinfo(path, read);
    EXPECT_EQ(read, expected);

    bktest::write_file(dir / "fileinfo.xml", "<root><item");
    EXPECT_EQ(xml_error_text([&] { read_fileinfo(path, read); }), "error loading XML: " + (dir / "fileinfo.xml").string());
}
