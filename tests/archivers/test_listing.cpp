// The "7z l" table: read from the real program and from layouts it may print.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>

#include "archiver_test_support.h"
#include "archivers/archiver_7z.h"
#include "support/temp_dir.h"

namespace {

const std::wstring header = L"   Date      Time    Attr         Size   Compressed  Name";
const std::wstring ruler = L"------------------- ----- ------------ ------------  ------------------------";

bool parse(const std::vector<std::wstring>& lines, bk::ArchiveListing& listing) {
    bk::ListingParser parser;
    for (const std::wstring& line : lines)
        if (!parser.add_line(line)) return false;
    listing = parser.listing();
    return true;
}

TEST(Listing, RealListingWithCyrillicNames) {
    bktest::TempDir dir;
    const std::map<std::wstring, size_t> sizes = {
        {L"Отчёт за май.txt", 1234}, {L"папка/файл с пробелом.dbf", 70000}, {L"a#b&c'd.txt", 0}, {L"z.bin", 5}};
    for (const auto& [name, size] : sizes)
        bktest::write_file(dir / "src" / rkit::wide_to_char(name), bktest::random_bytes(size, size));
    bk::ArchiverSettings settings;
    const std::wstring archive = dir.wpath() + L"/l.7z";
    bk::compress(settings, (dir / "src").wstring(), archive, L"*");

    bk::ArchiveListing listing;
    ASSERT_TRUE(bk::Archiver_7z(L"", nullptr).list(dir.wpath(), archive, listing));
    EXPECT_EQ(listing.total, 71239);
    // Every file is there, and each starts where the one listed before it ends.
    std::vector<std::pair<int64_t, std::wstring>> by_offset;
    for (const auto& [name, offset] : listing.offsets) by_offset.push_back({offset, name});
    std::sort(by_offset.begin(), by_offset.end());
    int64_t expected = 0;
    for (const auto& [offset, name] : by_offset) {
        if (name == L"папка") continue;  // the folder, of size 0
        ASSERT_TRUE(sizes.count(name)) << rkit::wide_to_char(name);
        EXPECT_EQ(offset, expected) << rkit::wide_to_char(name);
        expected += static_cast<int64_t>(sizes.at(name));
    }
    EXPECT_EQ(listing.offsets.size(), sizes.size() + 1);
}

// A row as 7-Zip aligns it under the ruler above.
std::wstring row(const wchar_t* attr, long long size, const std::wstring& name) {
    wchar_t cells[80];
    std::swprintf(cells, 80, L"2026-12-05 10:00:00 %5ls %12lld %12ls  ", attr, size, L"");
    return cells + name;
}

TEST(Listing, EdgeLayouts) {
    bk::ArchiveListing listing;
    // An empty archive: the second ruler follows the first at once.
    ASSERT_TRUE(parse({L"Type = 7z", L"", header, ruler, ruler, row(L"", 0, L"0 files")}, listing));
    EXPECT_EQ(listing.total, 0);
    EXPECT_TRUE(listing.offsets.empty());

    // A name far longer than its column; the sum 7-Zip prints may be larger
    // than the rows; what follows the sum is not read.
    const std::wstring long_name = L"очень/длинное имя " + std::wstring(300, L'я') + L".txt";
    ASSERT_TRUE(parse({header, ruler, row(L"....A", 100, long_name), row(L"....A", 20, L"b.txt"), ruler,
                       row(L"", 5000, L"2 files"), L"trailing text"},
                      listing));
    EXPECT_EQ(listing.offsets.at(long_name), 0);
    EXPECT_EQ(listing.offsets.at(L"b.txt"), 100);
    EXPECT_EQ(listing.total, 5000);

    // The "--" over the properties is no ruler; a smaller sum does not
    // shrink the total; a row that ends before the size column has size 0.
    ASSERT_TRUE(parse({L"", L"--", L"Path = x.7z", L"", header, ruler, row(L"....A", 100, L"a"),
                       L"2026-12-05 10:00:00 D....                             папка", ruler,
                       row(L"", 10, L"1 files")},
                      listing));
    EXPECT_EQ(listing.offsets.at(L"папка"), 100);
    EXPECT_EQ(listing.total, 100);

    // A row without a name breaks the listing.
    EXPECT_FALSE(parse({header, ruler, row(L"....A", 100, L"a"), L"2026-12-05 10:00:00 D....", ruler}, listing));
}

TEST(Listing, FilesReadAsTheArchiverWroteThem) {
    bktest::TempDir dir;
    bk::ArchiveListing listing{5, {{L"old", 0}}};
    bktest::write_file(dir / "empty.txt", "");
    ASSERT_TRUE(bk::read_listing_file((dir / "empty.txt").wstring(), listing));
    EXPECT_TRUE(listing.offsets.empty());
    bktest::write_file(dir / "crlf.txt", rkit::wide_to_char(header + L"\r\n" + ruler + L"\r\n") +
                                             "2026-12-05 10:00:00 ....A           42           42  Отчёт.txt\r\n");
    ASSERT_TRUE(bk::read_listing_file((dir / "crlf.txt").wstring(), listing));
    EXPECT_EQ(listing.total, 42);
    EXPECT_EQ(listing.offsets.count(L"Отчёт.txt"), 1u);
    EXPECT_FALSE(bk::read_listing_file((dir / "missing.txt").wstring(), listing));
}

}  // namespace
