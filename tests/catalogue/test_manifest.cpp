// fileinfo.xml and filelist.xml as the module writes them and as old or
// hand-written archives may hold them.
#include <gtest/gtest.h>

#include "core/com_error.h"
#include "catalogue/manifest.h"
#include "records.h"
#include "xml/xml.h"
#include "support/temp_dir.h"

using namespace bk;
using cattest::at;
using cattest::record;

namespace {
const std::string head = "<?xml version=\"1.0\"?>\n";
}  // namespace

TEST(ArcRelPath, FullPathWithoutRootOrDrive) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"/home/a/x.dbf", L"home/a/x.dbf"},
        {L"C:\\Data\\base\\x.dbf", L"Data\\base\\x.dbf"},
        {L"d:x.dbf", L"x.dbf"},
        {L"\\\\server\\share\\x.dbf", L"\\server\\share\\x.dbf"},
        {L"/Мои данные/отчёт 1.dbf", L"Мои данные/отчёт 1.dbf"}};
    for (const auto& [path, expected] : cases) EXPECT_EQ(arc_rel_path(path), expected);
}

TEST(FileList, WrittenAndReadBack) {
    bktest::TempDir dir;
    const std::vector<FileRecord> written{
        {L"ТЕК_ДИР", L"data\\x.dbf", L"C:\\Prog\\data\\x.dbf", 2},
        {L"/srv/db", L"Отчёты/март 2024.txt", L"/home/бух/Отчёты/март 2024.txt", 1}};
    const std::wstring path = (dir / "filelist.xml").wstring();
    write_filelist(path, written);
    EXPECT_EQ(bktest::read_file(dir / "filelist.xml")
                  .rfind(head + "<root><files><file base_symbolic_name=\"ТЕК_ДИР\" rel_path=\"data\\x.dbf\" "
                                "arc_rel_path=\"Prog\\data\\x.dbf\" ref_count=\"2\"/>",
                         0),
              0u);

    // Read back below the extraction folder; a Windows path keeps its Windows meaning.
    std::vector<FileRecord> read{{L"left", L"over", L"", 9}};
    read_filelist(path, L"/tmp/t1", read);
    EXPECT_EQ(read, (std::vector<FileRecord>{
                        {L"ТЕК_ДИР", L"data\\x.dbf", L"/tmp/t1/Prog/data/x.dbf", 2},
                        {L"/srv/db", L"Отчёты/март 2024.txt", L"/tmp/t1/home/бух/Отчёты/март 2024.txt", 1}}));
}

TEST(FileList, HandWrittenAndDamagedLists) {
    bktest::TempDir dir;
    const std::wstring path = (dir / "filelist.xml").wstring();
    auto read_text = [&](const std::string& files) {
        bktest::write_file(dir / "filelist.xml", head + "<root>" + files + "</root>");
        std::vector<FileRecord> read{{L"kept", L"", L"", 1}};
        read_filelist(path, L"/x", read);
        return read;
    };
    EXPECT_EQ(read_text("<other/>").at(0).base_symbolic_name, L"kept");  // no files element: left alone
    // Any element name; "..": read as written, left for the restore to refuse.
    const std::vector<FileRecord> read = read_text(
        "\n <files>\n  <entry base_symbolic_name=\"ДИР_DBF\" rel_path=\"a.dbf\" arc_rel_path=\"Учёт\\dbf\\a.dbf\" "
        "ref_count=\"1\"></entry>\n <file base_symbolic_name=\"A\" rel_path=\"a\" "
        "arc_rel_path=\"data\\..\\..\\etc\\passwd\" ref_count=\"1\"/></files>\n");
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].path, L"/x/Учёт/dbf/a.dbf");
    EXPECT_EQ(read[1].path, L"/x/data/../../etc/passwd");

    const std::string whole = "<file base_symbolic_name=\"A\" rel_path=\"a\" arc_rel_path=\"a\" ref_count=\"1\"/>";
    try {
        read_text("<files>" + whole + "<file base_symbolic_name=\"A\" arc_rel_path=\"a\" ref_count=\"1\"/></files>");
        ADD_FAILURE() << "rel_path missing";
    } catch (const xml_error& e) {
        EXPECT_EQ(e.what(), "XML: attribute not found: rel_path, element /root/files/file[2] in " +
                                (dir / "filelist.xml").string());
    }
    EXPECT_THROW(read_text("<files><file base_symbolic_name=\"A\" rel_path=\"a\" arc_rel_path=\"a\" "
                           "ref_count=\"x\"/></files>"),
                 com_error);
}

TEST(FileInfo, WrittenReadBackAndHandWritten) {
    bktest::TempDir dir;
    const std::wstring path = (dir / "fileinfo.xml").wstring();
    BackupRecord written = record(at(29, 2, 2024, 23, 59), 365, L"vd_backup_29.02.2024.7z");
    written.comment = L"Квартальный отчёт";
    written.identity.workplace = -3;
    written.identity.username = L"Петрова";
    written.identity.computer = L"ПК-бухгалтерия";
    write_fileinfo(path, written);
    EXPECT_EQ(bktest::read_file(dir / "fileinfo.xml").rfind(head + "<root><item date=\"29.02.2024\" time=\"23:59:00\"", 0),
              0u);
    BackupRecord read;
    read_fileinfo(path, read);
    EXPECT_EQ(read, written);

    // Missing attributes keep the defaults; a missing item keeps the record.
    bktest::write_file(dir / "fileinfo.xml", head + "<root><item filename=\"old.rar\"/></root>");
    read = BackupRecord();
    read_fileinfo(path, read);
    BackupRecord expected;
    expected.filename = L"old.rar";
    EXPECT_EQ(read, expected);
    bktest::write_file(dir / "fileinfo.xml", head + "<root/>");
    read_fileinfo(path, read);
    EXPECT_EQ(read, expected);
    bktest::write_file(dir / "fileinfo.xml", "<root><item");
    try {
        read_fileinfo(path, read);
        ADD_FAILURE() << "broken file read";
    } catch (const xml_error& e) {
        EXPECT_EQ(std::string(e.what()), "error loading XML: " + (dir / "fileinfo.xml").string() +
                                             ": Error parsing start element tag at line 1, column 11");
    }
}
