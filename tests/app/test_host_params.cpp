#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/error_list.h"
#include "app/host_params.h"
#include "app/string_table.h"
#include "rkit/path.h"
#include "rkit/system.h"

namespace {

// What the fake host answers, and what it was asked.
std::map<std::string, std::string> g_params;
struct Call {
    std::string key;
    int32_t size;
    char byte_after;  // buffer[size]: the module promises a byte there
};
std::vector<Call> g_calls;

int32_t BK_CALL host_params(const char* key, char* buffer, int32_t size) {
    auto it = g_params.find(key);
    g_calls.push_back({key, size, buffer[size]});
    if (it == g_params.end()) return -1;
    std::memcpy(buffer, it->second.data(), std::min<size_t>(size, it->second.size()));
    return static_cast<int32_t>(it->second.size());
}

// A broken host: every key exists, with a length that makes no sense.
int32_t g_garbage_length = 0;
int32_t BK_CALL garbage_host(const char*, char* buffer, int32_t size) {
    std::memset(buffer, 'x', size);
    return g_garbage_length;
}

// A host whose value grows between the two calls.
int g_growing_calls = 0;
int32_t BK_CALL growing_host(const char*, char* buffer, int32_t size) {
    std::memset(buffer, 'g', size);
    return ++g_growing_calls == 1 ? 400 : 100000;
}

class HostParams : public ::testing::Test {
protected:
    void SetUp() override {
        g_params.clear();
        g_calls.clear();
        bk::clear_errors();
    }
    void set_all_folders() {
        const char* keys[] = {"root_path", "common_path", "exe_path",     "db_path",      "dbf_path",
                              "top_path",  "flt_path",    "blw_path",     "bar_path",     "vdl_path",
                              "src_path",  "vdx_path",    "shp_dir_path", "rek_dir_path", "opr_dir_path"};
        for (const char* k : keys) g_params[k] = std::string("/host/") + k;
        g_params["root_path"] = "/host/root";
        g_params["exe_path"] = "prog\\bin";
    }
    std::string error(int i) {
        std::string text(bk::copy_error(i, nullptr, 0), '\0');
        bk::copy_error(i, text.data(), static_cast<int32_t>(text.size()));
        return text;
    }
};

TEST_F(HostParams, LongValueIsReadWholeThroughSecondCall) {
    std::string value(300, 'a');
    value[10] = '\0';
    value[299] = 'z';
    g_params["long"] = value;
    std::wstring out;
    ASSERT_TRUE(bk::read_param(host_params, "long", out));
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].size, 254);
    EXPECT_EQ(g_calls[1].size, 300);
    EXPECT_EQ(g_calls[1].byte_after, '\0');  // a 301-byte zero-filled buffer
    ASSERT_EQ(out.size(), 300u);
    EXPECT_EQ(out[10], L'\0');
    EXPECT_EQ(out[299], L'z');
    EXPECT_EQ(out, std::wstring(value.begin(), value.end()));
}

TEST_F(HostParams, ShortValuesAndAbsence) {
    g_params["empty"] = "";
    g_params["cyr"] = "ТЕК";
    g_params["exact"] = std::string(254, 'b');
    std::wstring out = L"untouched";
    EXPECT_FALSE(bk::read_param(host_params, "none", out));
    EXPECT_EQ(out, L"untouched");
    EXPECT_FALSE(bk::read_param(nullptr, "cyr", out));
    EXPECT_TRUE(bk::read_param(host_params, "empty", out));
    EXPECT_EQ(out, L"");
    EXPECT_TRUE(bk::read_param(host_params, "cyr", out));
    EXPECT_EQ(out, L"ТЕК");
    g_calls.clear();
    EXPECT_TRUE(bk::read_param(host_params, "exact", out));
    EXPECT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(out, std::wstring(254, L'b'));
}

TEST_F(HostParams, GarbageLengthsFromTheHost) {
    std::wstring out = L"untouched";
    for (int32_t bad : {-2, -1000, INT32_MIN}) {
        g_garbage_length = bad;
        EXPECT_FALSE(bk::read_param(garbage_host, "k", out)) << bad;
    }
    EXPECT_EQ(out, L"untouched");
    // A length under the offered size but beyond what was written: zero-filled.
    g_garbage_length = 254;
    ASSERT_TRUE(bk::read_param(garbage_host, "k", out));
    EXPECT_EQ(out, std::wstring(254, L'x'));
    // The second answer is not trusted: the value is as long as the first said.
    g_growing_calls = 0;
    ASSERT_TRUE(bk::read_param(growing_host, "k", out));
    EXPECT_EQ(out, std::wstring(400, L'g'));
}

TEST_F(HostParams, RequireParamNamesTheMissingKey) {
    g_params["root_path"] = "/r";
    EXPECT_EQ(bk::require_param(host_params, "root_path"), L"/r");
    try {
        bk::require_param(host_params, "batch_archive");
        FAIL() << "no exception";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "batch_archive parameter not found");
    }
}

TEST_F(HostParams, TypedReaders) {
    EXPECT_TRUE(bk::db_exclusive_access(host_params));
    g_params["db_exclusive_acc"] = "yes";
    EXPECT_TRUE(bk::db_exclusive_access(host_params));
    g_params["db_exclusive_acc"] = "0";
    EXPECT_FALSE(bk::db_exclusive_access(host_params));

    EXPECT_FALSE(bk::is_batch(host_params));
    g_params["batch"] = "true";
    EXPECT_FALSE(bk::is_batch(host_params));
    g_params["batch"] = "1";
    EXPECT_TRUE(bk::is_batch(host_params));

    bool flag = true;
    g_params["b"] = "";
    EXPECT_FALSE(bk::read_bool_param(host_params, "b", flag));
    EXPECT_TRUE(flag);

    int32_t n = 77;
    for (const char* bad : {"12a", "", "2147483648", "-2147483649", "99999999999999999999", "0x10"}) {
        g_params["n"] = bad;
        EXPECT_FALSE(bk::read_int_param(host_params, "n", n)) << bad;
    }
    g_params["n"] = std::string("12\0" "3", 4);
    EXPECT_FALSE(bk::read_int_param(host_params, "n", n));
    EXPECT_EQ(n, 77);
    g_params["n"] = "2147483647";
    EXPECT_TRUE(bk::read_int_param(host_params, "n", n));
    EXPECT_EQ(n, 2147483647);
    g_params["n"] = "-2147483648";
    EXPECT_TRUE(bk::read_int_param(host_params, "n", n));
    EXPECT_EQ(n, INT32_MIN);
}

TEST_F(HostParams, BasicFoldersInOrderAndMissingOne) {
    set_all_folders();
    bk::BasicFolders folders;
    ASSERT_EQ(bk::load_basic_folders(host_params, folders), BK_DONE);
    ASSERT_EQ(folders.size(), 15u);
    EXPECT_EQ(folders[0].name, L"ТЕК_ДИР");
    EXPECT_EQ(folders[0].path, L"/host/root");
    EXPECT_EQ(folders[1].name, L"ОБЩ_ДИР");
    EXPECT_EQ(folders[3].name, L"ДИР_БАЗЫ");
    EXPECT_EQ(folders[14].name, L"ТЕК_OPR_ДИР");
    EXPECT_EQ(folders[14].path, L"/host/opr_dir_path");
    EXPECT_EQ(bk::error_count(), 0);

    g_params["vdx_path"] = "";  // empty is a value
    g_params.erase("common_path");
    EXPECT_EQ(bk::load_basic_folders(host_params, folders), BK_FAILED);
    ASSERT_EQ(folders.size(), 1u);
    ASSERT_EQ(bk::error_count(), 1);
    EXPECT_EQ(error(0), "Ошибка получения базовой папки ОБЩ_ДИР.");
}

TEST_F(HostParams, FileLocationsLocalAndNetwork) {
    g_params["shp_path"] = "/db/base.shp";
    g_params["rek_path"] = "/db/base.rek";
    bk::FileLocations locations;
    EXPECT_EQ(bk::load_file_locations(host_params, locations), BK_FAILED);
    ASSERT_EQ(bk::error_count(), 1);
    EXPECT_EQ(error(0), "Ошибка получения расположения файла ТЕК_OPR.");
    EXPECT_EQ(locations.size(), 2u);

    g_params.clear();
    g_params["network"] = "1";
    g_params["db_path"] = "/srv/data/main.dcf";
    bk::clear_errors();
    ASSERT_EQ(bk::load_file_locations(host_params, locations), BK_DONE);
    ASSERT_EQ(locations.size(), 3u);
    EXPECT_EQ(locations[1].file_macro, L"ТЕК_REK");
    EXPECT_EQ(locations[1].folder_macro, L"ТЕК_REK_ДИР");
    for (const auto& l : locations) EXPECT_EQ(l.path, L"");

    bk::HostIdentity id;
    id.workplace = 5;
    EXPECT_EQ(bk::read_host_identity(host_params, id), BK_DONE);
    EXPECT_EQ(id.dbname, L"main.dcf");
    EXPECT_EQ(id.workplace, 0);
}

TEST_F(HostParams, HostIdentity) {
    g_params["ver_type"] = "7.1, 7.2";
    g_params["ver_family"] = "Бюджет";
    g_params["workplace"] = "12a";
    g_params["username"] = "Иванов";
    g_params["shp_path"] = "/db/base.shp";
    g_params["db_path"] = "/srv/other.dcf";
    bk::HostIdentity id;
    bk::read_host_identity(host_params, id);
    EXPECT_EQ(id.ver_type, L"7.1, 7.2");
    EXPECT_EQ(id.ver_family, L"Бюджет");
    EXPECT_EQ(id.workplace, 0);
    EXPECT_EQ(id.username, L"Иванов");
    EXPECT_EQ(id.dbname, L"base.shp");
    EXPECT_EQ(id.computer, rkit::get_system_name());
    g_params["workplace"] = "12";
    bk::read_host_identity(host_params, id);
    EXPECT_EQ(id.workplace, 12);
}

TEST(HostIdentityMatch, VersionLists) {
    EXPECT_TRUE(bk::versions_match(L"7.1, 7.2", L" 7.2"));
    EXPECT_TRUE(bk::versions_match(L"\t7.2\t", L"7.3,7.2 "));
    EXPECT_FALSE(bk::versions_match(L"7.1", L"7.3"));
    EXPECT_TRUE(bk::versions_match(L"", L"7.3"));
    EXPECT_TRUE(bk::versions_match(L"7.3", L""));
    EXPECT_TRUE(bk::versions_match(L"бюджет", L"БЮДЖЕТ"));
    EXPECT_FALSE(bk::versions_match(L"7.1", L"7.1.1"));
}

TEST(HostIdentityMatch, SameDatabase) {
    bk::HostIdentity a{L"7.1", L"", 1, L"base.shp", L"u", L"pc"};
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
    ASSERT_EQ(bk::load_basic_folders(host_params, folders), BK_DONE);
    ASSERT_EQ(bk::load_file_locations(host_params, locations), BK_DONE);

    EXPECT_EQ(bk::root_folder(folders), L"/host/root");
    EXPECT_EQ(bk::resolve_folder(L"ПРОГ_ДИР", folders), L"prog\\bin");  // unchanged
    EXPECT_EQ(bk::resolve_folder(L"data\\in", folders), L"/host/root/data/in");
    EXPECT_EQ(bk::resolve_folder(L"тек_дир", folders), L"/host/root/тек_дир");
    EXPECT_EQ(bk::resolve_folder(L"ТЕК_ДИР ", folders), L"/host/root/ТЕК_ДИР ");
    EXPECT_EQ(bk::resolve_file(L"ТЕК_REK", folders, locations), L"/db/base.rek");
    EXPECT_EQ(bk::resolve_file(L"ТЕК_REK_ДИР", folders, locations), L"/host/root/ТЕК_REK_ДИР");
    EXPECT_EQ(bk::resolve_file(L"x/y.txt", folders, locations), L"/host/root/x/y.txt");

    bk::BasicFolders no_root(folders.begin() + 1, folders.end());
    EXPECT_THROW(bk::root_folder(no_root), std::logic_error);
    EXPECT_THROW(bk::resolve_folder(L"a", no_root), std::logic_error);
}

TEST_F(HostParams, PathsThatCannotBeMade) {
    EXPECT_EQ(bk::absolute_path(L"/a/b", L"../c"), L"/a/c");
    EXPECT_EQ(bk::relative_path(L"/a/b", L"/a/b/c/d"), L"c/d");
    try {
        bk::absolute_path(L"/a", L"../../..");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(),
                     "Невозможно получить полный путь.\n\tБазовый путь: '/a'.\n\tОтносительный путь: "
                     "'../../..'.");
    }
    // With no exe_path and no exe_fname there is nothing to make absolute.
    EXPECT_THROW(bk::host_exe_path(host_params), std::runtime_error);
    g_params["exe_path"] = "/opt/host";
    g_params["exe_fname"] = "host.bin";
    EXPECT_EQ(bk::host_exe_path(host_params), L"/opt/host/host.bin");
}

TEST_F(HostParams, SettingsFilePath) {
    EXPECT_THROW(bk::settings_file_path(host_params), std::logic_error);
    g_params["root_path"] = "/host/root";
    g_params["batch_config"] = "cfg/batch.xml";
    EXPECT_EQ(bk::settings_file_path(host_params), L"/host/root/backup_config.xml");
    g_params["batch"] = "1";
    EXPECT_EQ(bk::settings_file_path(host_params), L"/host/root/cfg/batch.xml");
    g_params.erase("batch_config");
    EXPECT_EQ(bk::settings_file_path(host_params), L"/host/root/backup_config.xml");
}

}  // namespace
