// The host parameter protocol and what the command tests do not reach of the
// rest: numbers, macro names, network databases, version lists (missing
// parameters and the identity a backup is stamped with are theirs). Then
// string-table lookups (the texts are shown with the messages) and the formatter.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "core/host_params.h"
#include "core/string_table.h"

namespace {

// What the fake host answers, and the sizes it was offered with the byte just past them.
std::map<std::string, std::string> g_params;
std::vector<std::pair<int32_t, char>> g_calls;

int32_t BK_CALL host(const char* key, char* buffer, int32_t size) {
    g_calls.push_back({size, buffer[size]});
    auto it = g_params.find(key);
    if (it == g_params.end()) return -1;
    std::memcpy(buffer, it->second.data(), std::min<size_t>(size, it->second.size()));
    return static_cast<int32_t>(it->second.size());
}

// A broken host: every key exists, its buffer filled with 'x', its lengths taken in turn from g_lengths.
std::vector<int32_t> g_lengths;
int32_t BK_CALL garbage_host(const char*, char* buffer, int32_t size) {
    std::memset(buffer, 'x', size);
    const int32_t length = g_lengths.front();
    if (g_lengths.size() > 1) g_lengths.erase(g_lengths.begin());
    return length;
}

TEST(HostParams, ReadParamProtocol) {
    // 300 bytes with a NUL inside: a zero-filled 255-byte buffer first, then one of 301 bytes.
    std::string value(300, 'a');
    value[10] = '\0';
    value[299] = 'z';
    g_params = {{"long", value}, {"exact", std::string(254, 'b')}, {"empty", ""}, {"cyr", "ТЕК"}};
    g_calls.clear();
    std::wstring out;
    ASSERT_TRUE(bk::read_param(host, "long", out));
    EXPECT_EQ(g_calls, (std::vector<std::pair<int32_t, char>>{{254, '\0'}, {300, '\0'}}));
    EXPECT_EQ(out, std::wstring(value.begin(), value.end()));

    for (const auto& [key, expected] : std::vector<std::pair<const char*, std::wstring>>{
             {"exact", std::wstring(254, L'b')}, {"empty", L""}, {"cyr", L"ТЕК"}}) {
        g_calls.clear();
        EXPECT_TRUE(bk::read_param(host, key, out)) << key;
        EXPECT_EQ(out, expected);
        EXPECT_EQ(g_calls.size(), 1u);
    }
    EXPECT_FALSE(bk::read_param(host, "none", out));
    EXPECT_FALSE(bk::read_param(nullptr, "cyr", out));
    EXPECT_EQ(out, L"ТЕК");  // untouched when absent

    // A broken host: negative lengths other than -1 count as absent.
    out = L"untouched";
    for (int32_t bad : {-2, -1000, INT32_MIN}) {
        g_lengths = {bad};
        EXPECT_FALSE(bk::read_param(garbage_host, "k", out)) << bad;
    }
    EXPECT_EQ(out, L"untouched");
    // The second answer is not trusted: the value is as long as the first said.
    g_lengths = {400, 100000};
    ASSERT_TRUE(bk::read_param(garbage_host, "k", out));
    EXPECT_EQ(out, std::wstring(400, L'x'));
}

// Numbers are whole int32 values, nothing around them.
TEST(HostParams, IntegerValues) {
    g_params.clear();
    int32_t n = 77;
    using namespace std::string_literals;
    for (const std::string& bad : {"12a"s, ""s, "2147483648"s, "99999999999999999999"s, "0x10"s, "12\0" "3"s}) {
        g_params["n"] = bad;
        EXPECT_FALSE(bk::read_int_param(host, "n", n)) << bad;
    }
    EXPECT_EQ(n, 77);
    g_params["n"] = "-2147483648";
    EXPECT_TRUE(bk::read_int_param(host, "n", n) && n == INT32_MIN);
}

// Macro names are compared exactly; anything else is relative to the root.
// A network database has no local files, and its name is db_path's; a
// workplace that is not a number is none.
TEST(HostParams, MacroNamesNetworkDatabasesAndVersionLists) {
    g_params.clear();
    for (const bk::BasicFolderKey& folder : bk::basic_folder_keys()) g_params[folder.key] = "/host/root";
    g_params["vdx_path"] = "";  // empty is a value
    bk::BasicFolders folders;
    ASSERT_EQ(bk::load_basic_folders(host, folders), BK_DONE);
    EXPECT_EQ(bk::resolve_folder(L"тек_дир", folders), L"/host/root/тек_дир");
    EXPECT_EQ(bk::resolve_folder(L"ТЕК_ДИР ", folders), L"/host/root/ТЕК_ДИР ");

    g_params = {{"network", "1"}, {"db_path", "/srv/data/main.dcf"}, {"shp_path", "/b.shp"}, {"workplace", "12a"}};
    bk::FileLocations locations;
    ASSERT_EQ(bk::load_file_locations(host, locations), BK_DONE);
    EXPECT_EQ(bk::resolve_file(L"ТЕК_SHP", folders, locations), L"");
    bk::HostIdentity id;
    id.workplace = 5;
    EXPECT_EQ(bk::read_host_identity(host, id), BK_DONE);
    EXPECT_EQ(id.dbname + L" " + std::to_wstring(id.workplace), L"main.dcf 0");

    // Version lists match when they share an item, blanks and case aside; an empty one matches any.
    for (const auto& [a, b, match] : std::vector<std::tuple<const wchar_t*, const wchar_t*, bool>>{
             {L"\t7.2\t", L"7.3,7.2 ", true}, {L"7.1", L"7.3", false}, {L"", L"7.3", true},
             {L"7.3", L"", true},             {L"7.1", L"7.1.1", false}})
        EXPECT_EQ(bk::versions_match(a, b), match) << a << " " << b;
}

TEST(StringTable, UnknownIdsAndTheFormatter) {
    for (int id : {0, 20000, 20005, 20089, 20108, 20163, -1}) EXPECT_EQ(bk::load_string(id), L"") << id;
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
