// The host parameter protocol, the typed readers, and what is built from the
// parameters: basic folders, file locations, identity, resolved paths.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "core/error_list.h"
#include "core/host_params.h"
#include "rkit/system.h"
#include "support/error_messages.h"

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

class HostParams : public ::testing::Test {
protected:
    void SetUp() override {
        g_params.clear();
        g_calls.clear();
        bk::clear_errors();
    }
    void set_all_folders() {
        for (const bk::BasicFolderKey& folder : bk::basic_folder_keys())
            g_params[folder.key] = std::string("/host/") + folder.key;
        g_params["root_path"] = "/host/root";
        g_params["exe_path"] = "prog\\bin";
    }
};

TEST_F(HostParams, ReadParamProtocol) {
    // 300 bytes with a NUL inside: a zero-filled 255-byte buffer first, then one of 301 bytes.
    std::string value(300, 'a');
    value[10] = '\0';
    value[299] = 'z';
    g_params = {{"long", value}, {"exact", std::string(254, 'b')}, {"empty", ""}, {"cyr", "ТЕК"}};
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

    EXPECT_EQ(bk::require_param(host, "cyr"), L"ТЕК");
    try {
        bk::require_param(host, "batch_archive");
        FAIL() << "no exception";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "batch_archive parameter not found");
    }
}

TEST_F(HostParams, GarbageLengthsFromTheHost) {
    // Negative lengths other than -1 count as absent.
    std::wstring out = L"untouched";
    for (int32_t bad : {-2, -1000, INT32_MIN}) {
        g_lengths = {bad};
        EXPECT_FALSE(bk::read_param(garbage_host, "k", out)) << bad;
    }
    EXPECT_EQ(out, L"untouched");
    g_lengths = {254};
    ASSERT_TRUE(bk::read_param(garbage_host, "k", out));
    EXPECT_EQ(out, std::wstring(254, L'x'));
    // The second answer is not trusted: the value is as long as the first said.
    g_lengths = {400, 100000};
    ASSERT_TRUE(bk::read_param(garbage_host, "k", out));
    EXPECT_EQ(out, std::wstring(400, L'x'));
}

TEST_F(HostParams, TypedReaders) {
    // db_exclusive_acc is yes unless "0"; batch is on only for "1".
    EXPECT_TRUE(bk::db_exclusive_access(host));
    EXPECT_FALSE(bk::is_batch(host));
    for (const auto& [value, exclusive, batch] : std::vector<std::tuple<std::string, bool, bool>>{
             {"yes", true, false}, {"true", true, false}, {"0", false, false}, {"1", true, true}}) {
        g_params["db_exclusive_acc"] = g_params["batch"] = value;
        EXPECT_EQ(bk::db_exclusive_access(host), exclusive) << value;
        EXPECT_EQ(bk::is_batch(host), batch) << value;
    }

    bool flag = true;
    g_params["b"] = "";
    EXPECT_FALSE(bk::read_bool_param(host, "b", flag));
    EXPECT_TRUE(flag);

    int32_t n = 77;
    for (const std::string& bad : std::vector<std::string>{"12a", "", "2147483648", "-2147483649",
                                                           "99999999999999999999", "0x10", std::string("12\0" "3", 4)}) {
        g_params["n"] = bad;
        EXPECT_FALSE(bk::read_int_param(host, "n", n)) << bad;
    }
    EXPECT_EQ(n, 77);
    for (const int32_t good : {INT32_MAX, INT32_MIN}) {
        g_params["n"] = std::to_string(good);
        EXPECT_TRUE(bk::read_int_param(host, "n", n));
        EXPECT_EQ(n, good);
    }
}

TEST_F(HostParams, BasicFoldersAndFileLocations) {
    set_all_folders();
    bk::BasicFolders folders;
    ASSERT_EQ(bk::load_basic_folders(host, folders), BK_DONE);
    ASSERT_EQ(folders.size(), 15u);
    EXPECT_EQ(folders[0].name + L"=" + folders[0].path, L"ТЕК_ДИР=/host/root");
    EXPECT_EQ(folders[1].name, L"ОБЩ_ДИР");
    EXPECT_EQ(folders[3].name, L"ДИР_БАЗЫ");
    EXPECT_EQ(folders[14].name + L"=" + folders[14].path, L"ТЕК_OPR_ДИР=/host/opr_dir_path");
    EXPECT_EQ(bk::error_count(), 0);

    g_params["vdx_path"] = "";  // empty is a value
    g_params.erase("common_path");
    EXPECT_EQ(bk::load_basic_folders(host, folders), BK_FAILED);
    EXPECT_EQ(folders.size(), 1u);
    EXPECT_EQ(bktest::error_messages(), std::vector<std::string>{"Ошибка получения базовой папки ОБЩ_ДИР."});

    // Local files need all three paths; a network database has none.
    bk::clear_errors();
    g_params = {{"shp_path", "/db/base.shp"}, {"rek_path", "/db/base.rek"}};
    bk::FileLocations locations;
    EXPECT_EQ(bk::load_file_locations(host, locations), BK_FAILED);
    EXPECT_EQ(bktest::error_messages(), std::vector<std::string>{"Ошибка получения расположения файла ТЕК_OPR."});
    EXPECT_EQ(locations.size(), 2u);
    g_params = {{"network", "1"}, {"db_path", "/srv/data/main.dcf"}};
    bk::clear_errors();
    ASSERT_EQ(bk::load_file_locations(host, locations), BK_DONE);
    ASSERT_EQ(locations.size(), 3u);
    EXPECT_EQ(locations[1].file_macro + L" " + locations[1].folder_macro, L"ТЕК_REK ТЕК_REK_ДИР");
    for (const auto& l : locations) EXPECT_EQ(l.path, L"");
}

TEST_F(HostParams, HostIdentity) {
    g_params = {{"ver_type", "7.1, 7.2"}, {"ver_family", "Бюджет"}, {"workplace", "12a"}, {"username", "Иванов"},
                {"shp_path", "/db/base.shp"}, {"db_path", "/srv/other.dcf"}};
    bk::HostIdentity id;
    id.workplace = 5;
    EXPECT_EQ(bk::read_host_identity(host, id), BK_DONE);
    EXPECT_EQ(id.ver_type, L"7.1, 7.2");
    EXPECT_EQ(id.ver_family, L"Бюджет");
    EXPECT_EQ(id.workplace, 0);  // not a number
    EXPECT_EQ(id.username, L"Иванов");
    EXPECT_EQ(id.dbname, L"base.shp");
    EXPECT_EQ(id.computer, rkit::get_system_name());
    g_params["workplace"] = "12";
    g_params["network"] = "1";  // the database is db_path's
    bk::read_host_identity(host, id);
    EXPECT_EQ(id.workplace, 12);
    EXPECT_EQ(id.dbname, L"other.dcf");
}

TEST(HostIdentityMatch, VersionListsAndSameDatabase) {
    EXPECT_TRUE(bk::versions_match(L"7.1, 7.2", L" 7.2"));
    EXPECT_TRUE(bk::versions_match(L"\t7.2\t", L"7.3,7.2 "));
    EXPECT_FALSE(bk::versions_match(L"7.1", L"7.3"));
    EXPECT_TRUE(bk::versions_match(L"", L"7.3"));
    EXPECT_TRUE(bk::versions_match(L"7.3", L""));
    EXPECT_TRUE(bk::versions_match(L"бюджет", L"БЮДЖЕТ"));
    EXPECT_FALSE(bk::versions_match(L"7.1", L"7.1.1"));

    const bk::HostIdentity a{L"7.1", L"", 1, L"base.shp", L"u", L"pc"};
    bk::HostIdentity b{L"7.1, 7.2", L"Бюджет", 2, L"base.shp", L"v", L"other"};
    EXPECT_TRUE(bk::same_database(a, b));
    b.dbname = L"other.shp";
    EXPECT_FALSE(bk::same_database(a, b));
    b.dbname = a.dbname;
    b.ver_type = L"7.3";
    EXPECT_FALSE(bk::same_database(a, b));
}

TEST_F(HostParams, ResolveFoldersAndFiles) {
    set_all_folders();
    g_params["shp_path"] = "/db/base.shp";
    g_params["rek_path"] = "/db/base.rek";
    g_params["opr_path"] = "/db/base.opr";
    bk::BasicFolders folders;
    bk::FileLocations locations;
    ASSERT_EQ(bk::load_basic_folders(host, folders), BK_DONE);
    ASSERT_EQ(bk::load_file_locations(host, locations), BK_DONE);

    // Macro names are compared exactly; anything else is relative to the root.
    EXPECT_EQ(bk::resolve_folder(L"ПРОГ_ДИР", folders), L"prog\\bin");  // as the host gave it
    EXPECT_EQ(bk::resolve_folder(L"data\\in", folders), L"/host/root/data/in");
    EXPECT_EQ(bk::resolve_folder(L"тек_дир", folders), L"/host/root/тек_дир");
    EXPECT_EQ(bk::resolve_folder(L"ТЕК_ДИР ", folders), L"/host/root/ТЕК_ДИР ");
    EXPECT_EQ(bk::resolve_file(L"ТЕК_REK", folders, locations), L"/db/base.rek");
    EXPECT_EQ(bk::resolve_file(L"ТЕК_REK_ДИР", folders, locations), L"/host/root/ТЕК_REK_ДИР");
    EXPECT_EQ(bk::resolve_file(L"x/y.txt", folders, locations), L"/host/root/x/y.txt");
    bk::BasicFolders no_root(folders.begin() + 1, folders.end());
    EXPECT_THROW(bk::resolve_folder(L"a", no_root), std::logic_error);
}

TEST_F(HostParams, PathsAndTheSettingsFile) {
    EXPECT_EQ(bk::absolute_path(L"/a/b", L"../c"), L"/a/c");
    EXPECT_EQ(bk::relative_path(L"/a/b", L"/a/b/c/d"), L"c/d");
    try {
        bk::absolute_path(L"/a", L"../../..");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(),
                     "Невозможно получить полный путь.\n\tБазовый путь: '/a'.\n\tОтносительный путь: '../../..'.");
    }
    EXPECT_THROW(bk::host_exe_path(host), std::runtime_error);  // no exe_path, no exe_fname
    g_params = {{"exe_path", "/opt/host"}, {"exe_fname", "host.bin"}};
    EXPECT_EQ(bk::host_exe_path(host), L"/opt/host/host.bin");

    // backup_config.xml in the root, or in batch mode batch_config relative to it.
    EXPECT_THROW(bk::settings_file_path(host), std::logic_error);
    g_params = {{"root_path", "/host/root"}, {"batch_config", "cfg/batch.xml"}};
    EXPECT_EQ(bk::settings_file_path(host), L"/host/root/backup_config.xml");
    g_params["batch"] = "1";
    EXPECT_EQ(bk::settings_file_path(host), L"/host/root/cfg/batch.xml");
    g_params.erase("batch_config");
    EXPECT_EQ(bk::settings_file_path(host), L"/host/root/backup_config.xml");
}

}  // namespace
