// backup_list.xml on disk: what is written, what is read back, and what a
// catalogue edited by hand or damaged gives.
#include <gtest/gtest.h>

#include "app/com_error.h"
#include "app/error_list.h"
#include "catalogue/catalogue.h"
#include "records.h"
#include "settings/xml.h"
#include "support/temp_dir.h"

using namespace bk;
using cattest::at;
using cattest::record;

namespace {

std::string error_text(int index) {
    char buffer[1024] = {};
    copy_error(index, buffer, sizeof buffer);
    return buffer;
}

}  // namespace

TEST(CatalogueFile, WritesAttributesInOrderAndReadsThemBack) {
    bktest::TempDir dir;
    BackupRecord full = record(at(5, 3, 2024, 14, 7), 30, L"архив 1.7z");
    full.comment = L"перед закрытием года";
    full.workplace = 12;
    full.username = L"Иванов";
    full.workstation = L"buh-1";
    const Catalogue written{full, record(at(1, 1, 2023), KEEP_FOREVER, L"b.rar")};
    const std::wstring path = catalogue_path(dir.wpath());
    write_catalogue(path, written);

    const std::string text = bktest::read_file(dir / "backup_list.xml");
    EXPECT_NE(text.find("<root><items><backup date=\"05.03.2024\" time=\"14:07:00\" keeptime=\"30\" "
                        "filename=\"архив 1.7z\" comment=\"перед закрытием года\" version_type=\"7.2\" "
                        "version_family=\"pro\" workplace=\"12\" dbname=\"base.shp\" username=\"Иванов\" "
                        "workstation=\"buh-1\"/>"),
              std::string::npos)
        << text;

    Catalogue read{record(at(1, 1, 2000), 1, L"left over")};
    read_catalogue(path, read);
    EXPECT_EQ(read, written);
}

TEST(CatalogueFile, HandWrittenEntriesKeepDefaultsForWhatIsMissing) {
    bktest::TempDir dir;
    bktest::write_file(dir / "backup_list.xml",
                       "<?xml version=\"1.0\"?>\n<root>\n  <items>\n"
                       "    <entry date=\"02.02.2022\" time=\"08:30:15\" filename=\"a.7z\"/>\n"
                       "    <!-- kept by hand -->\n"
                       "    <backup keeptime=\"7\" comment=\"no date\"/>\n"
                       "    <backup date=\"31.02.2022\" time=\"25:00:00\" keeptime=\"90\"/>\n"
                       "  </items>\n</root>\n");
    Catalogue read;
    read_catalogue(catalogue_path(dir.wpath()), read);
    ASSERT_EQ(read.size(), 3u);

    EXPECT_EQ(read[0].time.get(), at(2, 2, 2022, 8, 30).get() + 15000);
    EXPECT_EQ(read[0].keeptime, KEEP_FOREVER);
    EXPECT_EQ(read[0].workplace, 0);
    EXPECT_EQ(read[0].filename, L"a.7z");

    const BackupRecord defaults;
    EXPECT_EQ(read[1].time, defaults.time);
    EXPECT_EQ(read[1].keeptime, 7);
    EXPECT_EQ(read[1].comment, L"no date");
    // Text that is no date or time keeps the default moment, older than any backup.
    EXPECT_EQ(read[2].time, defaults.time);
    EXPECT_LT(read[2].time, at(1, 1, 1990));
}

TEST(CatalogueFile, DocumentWithoutItemsIsAnEmptyCatalogue) {
    bktest::TempDir dir;
    bktest::write_file(dir / "backup_list.xml", "<?xml version=\"1.0\"?><root><other/></root>");
    Catalogue read{record(at(1, 1, 2000), 1, L"x")};
    read_catalogue(catalogue_path(dir.wpath()), read);
    EXPECT_TRUE(read.empty());
}

TEST(CatalogueFile, BadNumbersAndBrokenFilesThrow) {
    bktest::TempDir dir;
    const std::wstring path = catalogue_path(dir.wpath());
    Catalogue read;
    bktest::write_file(dir / "backup_list.xml", "<root><items><backup workplace=\"7a\"/></items></root>");
    EXPECT_THROW(read_catalogue(path, read), com_error);
    bktest::write_file(dir / "backup_list.xml", "<root><items><backup date=");
    EXPECT_THROW(read_catalogue(path, read), xml_error);
}

TEST(CatalogueFile, LoadReportsInsteadOfThrowing) {
    bktest::TempDir dir;
    Catalogue read{record(at(1, 1, 2000), 1, L"x")};
    clear_errors();
    EXPECT_EQ(load_catalogue(dir.wpath(), read), BK_DONE);  // no file yet
    EXPECT_TRUE(read.empty());
    EXPECT_EQ(error_count(), 0);

    write_catalogue(catalogue_path(dir.wpath()), {record(at(1, 1, 2000), 1, L"x")});
    EXPECT_EQ(load_catalogue(dir.wpath(), read), BK_DONE);
    EXPECT_EQ(read.size(), 1u);

    bktest::write_file(dir / "backup_list.xml", "not xml at all");
    EXPECT_EQ(load_catalogue(dir.wpath(), read), BK_FAILED);
    EXPECT_TRUE(read.empty());
    ASSERT_EQ(error_count(), 2);
    const std::string path = (dir / "backup_list.xml").string();
    EXPECT_EQ(error_text(0), "error loading XML: " + path);
    EXPECT_EQ(error_text(1), "Ошибка загрузки списка резервных копий из файла: '" + path + "'.");
    clear_errors();
}
