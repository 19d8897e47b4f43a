// Lookups in the string table (its texts are shown where the messages are), and the formatter.
#include <gtest/gtest.h>

#include "core/string_table.h"

namespace {

using bk::load_string;

TEST(StringTable, KnownAndUnknownIds) {
    EXPECT_EQ(load_string(bk::ids::KEEP_WEEK), L"неделя");  // the first of the table
    for (int id : {0, 20000, 20005, 20089, 20108, 20163, -1}) EXPECT_EQ(load_string(id), L"") << id;
}

TEST(StringTable, Formatter) {
    EXPECT_EQ(bk::format_message(L"'%s' и '%s' за %d дней", {L"а", std::wstring(L"б"), 30}), L"'а' и 'б' за 30 дней");
    EXPECT_EQ(bk::format_message(L"%d%%, %d", {-7, 2147483648LL}), L"-7%, 2147483648");
    // Mismatched kinds still show the value; a missing argument gives nothing.
    EXPECT_EQ(bk::format_message(L"[%s][%d][%s]", {5, L"x"}), L"[5][x][]");
    // Other "%" sequences, a trailing "%" and "%" inside arguments stay as they are.
    EXPECT_EQ(bk::format_message(L"%DATE%_%x%", {}), L"%DATE%_%x%");
    EXPECT_EQ(bk::format_message(L"%s", {L"%s%d"}), L"%s%d");
    EXPECT_EQ(bk::format_string(20160, {L" Яндекс.Диск", 404, L"Not Found"}),
              L"Не удалось загрузить файл в облачное хранилище Яндекс.Диск.\n\nСетевая ошибка: 404\nNot Found.");
}

}  // namespace
