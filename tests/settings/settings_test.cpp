// The settings record and its file: exact text with the characters that need
// care in XML, reading rules, and load_settings/save_settings with the
// messages of their failures; then backup file names.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <tuple>

#include "rkit/clock.h"
#include "settings/filename_template.h"
#include "settings/settings_file.h"
#include "settings/settings_store.h"
#include "support/error_messages.h"
#include "support/temp_dir.h"
#include "support/values.h"

using namespace bk;
namespace fs = std::filesystem;

namespace {

BackupSettings full_record() {
    BackupSettings s;
    s.backup_folder = L"/srv/копии";
    s.removable_path = L"/media/user/STICK";
    s.cloud = {L"custom", L"https://dav.example.com/b", L"иван", L"p&ss\"<w>", true};
    s.filename_template = L"%DB%_%DATE%";
    s.backup_cmdline = L"notify-send '%PATH%'";
    s.expired_limit = 5;
    s.default_keeptime = 30;
    s.last_at_week_keeptime = 90;
    s.last_at_month_keeptime = KEEP_FOREVER;
    s.file_groups = {{L"ТЕК_ДИР", L"data", L"*.dbf", L"*.tmp", L"", GROUP_RECURSIVE, L"Данные\tза\r\nгод €🙂",
                      {L"main", L"extra"}},
                     {L"/etc", L"", L"*.conf", L"", L"etc", 0, L"", {}}};
    s.single_files = {{L"ТЕК_SHP", L"", L"база", {L"main"}}, {L"/home/u/notes.txt", L"notes", L"", {}}};
    s.components = {{L"main", L"Основные"}, {L"extra", L"Дополнительные"}};
    s.enter_param = {L"Вход", 7, AUTO_ONCE_A_DAY, {L"extra"}};
    s.exit_param = {L"Выход", 30, AUTO_DB_EXCLUSIVE, {}};
    s.timer_param = {L"Часы", KEEP_FOREVER, AUTO_ONCE_A_DAY | AUTO_DB_EXCLUSIVE, {L"main", L"extra"}};
    s.save_hour = 18;
    s.options = 0x1FFF;
    s.include_permission = {{1, 2}, {L"admin"}, {L"PC-1"}};
    s.exclude_permission = {{INT32_MIN, INT32_MAX}, {}, {L"PC-2", L"PC-3"}};
    s.archiver = {ARCHIVER_RAR, 5, L"/usr/bin/rar", L"-y", L"-m5", L"-o+", L"секрет"};
    return s;
}

const std::string full_text =
    "<?xml version=\"1.0\"?>\n"
    "<root><backup_folder node_value=\"/srv/копии\"/><removable_path node_value=\"/media/user/STICK\"/>"
    "<cloud_settings service=\"custom\" url=\"https://dav.example.com/b\" login=\"иван\" "
    "password=\"p&amp;ss&quot;&lt;w>\" eternal_only=\"1\"/>"
    "<filename_template node_value=\"%DB%_%DATE%\"/><backup_cmdline node_value=\"notify-send '%PATH%'\"/>"
    "<expired_limit node_value=\"5\"/><default_keeptime node_value=\"30\"/>"
    "<last_at_week_keeptime node_value=\"90\"/><last_at_month_keeptime node_value=\"-1\"/>"
    "<file_groups>"
    "<group basic_folder=\"ТЕК_ДИР\" relative_path=\"data\" include_mask=\"*.dbf\" exclude_mask=\"*.tmp\" "
    "flags=\"R\" comment=\"Данные&#09;за&#13;&#10;год €🙂\">"
    "<components><item0 node_value=\"main\"/><item1 node_value=\"extra\"/></components></group>"
    "<group basic_folder=\"/etc\" relative_path=\"\" include_mask=\"*.conf\" exclude_mask=\"\" "
    "extract_folder=\"etc\" flags=\"\" comment=\"\"><components/></group>"
    "</file_groups>"
    "<single_files>"
    "<file path=\"ТЕК_SHP\" comment=\"база\"><components><item0 node_value=\"main\"/></components></file>"
    "<file path=\"/home/u/notes.txt\" extract_folder=\"notes\" comment=\"\"><components/></file>"
    "</single_files>"
    "<components><component name=\"main\" display_text=\"Основные\"/>"
    "<component name=\"extra\" display_text=\"Дополнительные\"/></components>"
    "<enter_param comment=\"Вход\" keeptime=\"7\" once_a_day=\"1\" db_exclusive_access=\"0\">"
    "<excl_comp><item0 node_value=\"extra\"/></excl_comp></enter_param>"
    "<exit_param comment=\"Выход\" keeptime=\"30\" once_a_day=\"0\" db_exclusive_access=\"1\"><excl_comp/></exit_param>"
    "<timer_param comment=\"Часы\" keeptime=\"-1\" once_a_day=\"1\" db_exclusive_access=\"1\">"
    "<excl_comp><item0 node_value=\"main\"/><item1 node_value=\"extra\"/></excl_comp></timer_param>"
    "<save_hour node_value=\"18\"/><options node_value=\"RPEHLGTCBWMNX\"/>"
    "<include_permission><workplaces><item0 node_value=\"1\"/><item1 node_value=\"2\"/></workplaces>"
    "<logins><item0 node_value=\"admin\"/></logins><workstations><item0 node_value=\"PC-1\"/></workstations>"
    "</include_permission>"
    "<exclude_permission><workplaces><item0 node_value=\"-2147483648\"/><item1 node_value=\"2147483647\"/>"
    "</workplaces><logins/><workstations><item0 node_value=\"PC-2\"/><item1 node_value=\"PC-3\"/></workstations>"
    "</exclude_permission>"
    "<archiver_settings archiver=\"2\" compress_level=\"5\" exe_path=\"/usr/bin/rar\" common_options=\"-y\" "
    "compress_options=\"-m5\" extract_options=\"-o+\" password=\"секрет\"/>"
    "</root>\n";

std::map<std::string, std::string> g_params;

int32_t BK_CALL host(const char* key, char* buffer, int32_t size) {
    auto it = g_params.find(key);
    if (it == g_params.end()) return -1;
    std::memcpy(buffer, it->second.data(), std::min<size_t>(static_cast<size_t>(size), it->second.size()));
    return static_cast<int32_t>(it->second.size());
}

class SettingsFile : public ::testing::Test {
protected:
    bktest::TempDir dir;
    fs::path file = dir / "backup_config.xml";

    void SetUp() override {
        g_params = {{"root_path", dir.path().string()}};
        clear_errors();
    }
    BackupSettings read_text(const std::string& text, BackupSettings s = {}) {
        bktest::write_file(file, text);
        read_settings_file(file.wstring(), s);
        return s;
    }
    std::string written(const BackupSettings& s) {
        write_settings_file(file.wstring(), s);
        return bktest::read_file(file);
    }
    // The cause first, then the message naming the file.
    void expect_failure(const char* message, const std::string& cause_start, const fs::path& path) {
        const std::vector<std::string> list = bktest::error_messages();
        ASSERT_EQ(list.size(), 2u);
        EXPECT_EQ(list[0].rfind(cause_start, 0), 0u) << list[0];
        EXPECT_EQ(list[1], message + path.string() + "'.");
    }
};

// The default record writes every field too: read over the full one, it
// leaves nothing of it but the address, which only a server of the user's own has.
TEST_F(SettingsFile, FullRecordWrittenExactlyAndEveryFieldReadBack) {
    EXPECT_EQ(written(full_record()), full_text);
    EXPECT_EQ(read_text(full_text), full_record());
    const std::string default_text = written(BackupSettings());
    EXPECT_EQ(default_text.find("url="), std::string::npos);
    BackupSettings expected;
    expected.cloud.url = full_record().cloud.url;
    EXPECT_EQ(read_text(default_text, full_record()), expected);
}

TEST_F(SettingsFile, HandWrittenFiles) {
    // Another document element, children of any name, missing values and attributes keep the default;
    // an address is read only for a server of the user's own.
    BackupSettings expected;
    expected.cloud = {L"yandex.disk", L"", L"", L"", true};
    expected.options = OPT_ON_ENTER | OPT_BY_CLOCK;  // unknown and lowercase letters are ignored
    expected.save_hour = 7;
    expected.enter_param.keeptime = 30;
    expected.enter_param.excl_comp = {L"main"};
    expected.exit_param.flags = AUTO_ONCE_A_DAY;
    expected.archiver.archiver = ARCHIVER_NONE;
    expected.file_groups = {{L"ТЕК_ДИР", L"", L"", L"", L"sub", GROUP_RECURSIVE, L"", {L"main"}},
                            {L"", L"only", L"", L"", L"", 0, L"", {}}};
    EXPECT_EQ(read_text("<?xml version='1.0' encoding='UTF-8'?>\n<settings>\n  <options node_value='TTE-e?r'/>\n"
                        "<backup_folder/><expired_limit other='3'/><save_hour node_value=' 7 '/>"
                        "<enter_param keeptime='30'><excl_comp><e node_value='main'/></excl_comp></enter_param>"
                        "<exit_param once_a_day='1'/><archiver_settings archiver='-1'/>"
                        "<cloud_settings service='yandex.disk' url='https://mine' eternal_only='7'/>"
                        "<file_groups><folder basic_folder='ТЕК_ДИР' flags='xRx' extract_folder='sub'>"
                        "<components><c node_value='main'/><c/></components></folder>"
                        "<g relative_path='only'/></file_groups>"
                        "</settings>"),
              expected);

    // A present but empty list empties, a missing one keeps; a zero flag clears only its bit.
    expected = full_record();
    expected.file_groups.clear();
    expected.timer_param.flags = AUTO_DB_EXCLUSIVE;
    EXPECT_EQ(read_text("<root><file_groups/><timer_param once_a_day='0'/></root>", full_record()), expected);
}

TEST(SettingsModel, LettersAndUsability) {
    EXPECT_EQ(options_to_letters(0xFFFFE000 | OPT_REMOVABLE | OPT_EXIT_ON_DB_CHANGE), L"RX");  // thirteen bits only
    // Something to save and an archiver; an incomplete cloud account only
    // matters when uploading is on (what makes one complete: the cloud dialog's tests).
    const std::tuple<bool, int32_t, uint32_t, CloudSettings, bool> cases[] = {
        {false, ARCHIVER_RAR, 0, {}, false},
        {true, ARCHIVER_NONE, 0, {}, false},
        {true, ARCHIVER_RAR, 0, {L"custom", L"", L"me", L"", false}, true},
        {true, ARCHIVER_RAR, OPT_CLOUD, {L"custom", L"", L"me", L"", false}, false},
        {true, ARCHIVER_RAR, OPT_CLOUD, {L"yandex.disk", L"", L"me", L"", false}, true},
        {true, ARCHIVER_RAR, OPT_CLOUD, {L"", L"", L"me", L"", false}, false},
    };
    for (const auto& [group, archiver, options, cloud, usable] : cases) {
        BackupSettings s;
        if (group) s.file_groups.push_back({});
        s.archiver.archiver = archiver;
        s.options = options;
        s.cloud = cloud;
        EXPECT_EQ(is_usable(s), usable) << archiver << " " << options << " " << cloud.service << " " << cloud.url;
    }
}

const char* const load_failed = "Ошибка загрузки настроек резервного копирования из файла: '";
const char* const save_failed = "Ошибка сохранения настроек резервного копирования в файл: '";

// A missing file is the defaults; in batch mode the file is batch_config's,
// relative to the root, if there is one. What a failed save leaves behind is the XML layer's to show.
TEST_F(SettingsFile, MissingFileGivesDefaultsAndBatchUsesItsOwnFile) {
    BackupSettings s;
    g_params["batch"] = "1";
    EXPECT_EQ(load_settings(host, s), BK_DONE);
    EXPECT_EQ(s, BackupSettings());
    EXPECT_EQ(error_count(), 0);
    g_params = {{"root_path", dir.path().string()}, {"batch_config", "другие/настройки.xml"}};  // not in batch mode
    EXPECT_EQ(save_settings(host, BackupSettings()), BK_DONE);
    EXPECT_TRUE(fs::exists(file));
    g_params["batch"] = "1";
    fs::create_directory(dir / "другие");
    EXPECT_EQ(save_settings(host, full_record()), BK_DONE);
    EXPECT_TRUE(fs::exists(dir / "другие/настройки.xml"));
    EXPECT_EQ(load_settings(host, s), BK_DONE);
    EXPECT_EQ(s, full_record());

    bktest::write_file(dir / "plain", "plain file");
    g_params["batch_config"] = "plain/backup_config.xml";
    EXPECT_EQ(save_settings(host, BackupSettings()), BK_FAILED);
    expect_failure(save_failed, "can't write " + (dir / "plain/backup_config.xml").string() + ": Not a directory",
                   dir / "plain" / "backup_config.xml");
}

// Not XML, cut short, or a number that is not a whole int32 value.
TEST_F(SettingsFile, UnreadableFilesFailWithTheCause) {
    const std::string not_xml = "error loading XML: " + file.string() + ": ";
    std::vector<std::pair<std::string, std::string>> cases = {
        {"this is not XML", not_xml + "No document element found at line 1, column 1"},
        {"<?xml version=\"1.0\"?>\n<root><backup_folder node_value=\"Архив\"/><file_gr",  // truncated
         not_xml + "Error parsing start element tag at line 2, column 49"}};
    for (const auto& [value, error] : std::vector<std::pair<std::string, std::string>>{
             {"ten", "Type mismatch."}, {"", "Type mismatch."}, {"1.5", "Type mismatch."},
             {"2147483648", "Out of present range."}, {"-2147483649", "Out of present range."}})
        cases.emplace_back("<root><expired_limit node_value=\"" + value + "\"/></root>",
                           "XML: attribute node_value=\"" + value + "\" of element /root/expired_limit in " +
                               file.string() + ": " + error);
    for (const auto& [text, cause] : cases) {
        clear_errors();
        bktest::write_file(file, text);
        BackupSettings s;
        EXPECT_EQ(load_settings(host, s), BK_FAILED) << text;
        expect_failure(load_failed, cause, file);
        EXPECT_EQ(bktest::read_file(file), text);
    }
}

// Backup file names from templates, and unique names (the follow-up command: see the desktop tests).
const HostIdentity identity{L"prof", L"8.1", 12, L"base.shp", L"Иванов", L"PC-7"};

TEST(FilenameTemplate, Macros) {
    rkit::clock::set_fixed(bktest::moment(4, 12, 2026, 9, 5, 7));  // the names are of the present moment
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
        {L"vd_backup_%DATE%_%TIME%", L"base.shp", L"vd_backup_2026_12_04_09_05_07"},
        {L"%SHORT_TIME%|%YEAR%|%SHORT_YEAR%|%MONTH%|%MONTH_STR%|%DAY%|%WEEKDAY%|%HOUR%|%MIN%|%SEC%", L"base.shp",
         L"09_05|2026|26|12|Dec|4|Fri|9|5|7"},
        {L"%VERTYPE%-%VERFAMILY%-%WORKPLACE%-%WORKSTATION%-%USER%", L"base.shp", L"prof-8_1-12-PC-7-Иванов"},
        {L"%SHORT_DB% (%DB%)", L"Бухгалтерия 2026.v1.shp", L"Бухгалтерия 2026_v1 (Бухгалтерия 2026_v1_shp)"},
        {L"[%DB%][%SHORT_DB%]", L"", L"[][]"},
        // First occurrence only; names are case-sensitive; unknown macros and a lone "%" stay.
        {L"%DATE%%DATE%", L"base.shp", L"2026_12_04%DATE%"},
        {L"%date%_%Db%_%NOPE%_100%", L"base.shp", L"%date%_%Db%_%NOPE%_100%"},
        {L"a.b*c?", L"base.shp", L"a_b_c_"},
        {L"x/y\\z:%WEEKDAY%", L"base.shp", L"x_y_z:Fri"},  // one name in the backup folder; other characters stay
    };
    for (const auto& [templ, dbname, name] : cases) {
        HostIdentity id = identity;
        id.dbname = dbname;
        EXPECT_EQ(expand_filename_template(templ, id), name) << templ;
    }
    rkit::clock::reset();

    // A value put in earlier is searched by the later macros, not the other way round.
    EXPECT_EQ(expand_macros(L"%A%", {{L"A", L"%B%"}, {L"B", L"b"}}), L"b");
    EXPECT_EQ(expand_macros(L"%B%", {{L"A", L"a"}, {L"B", L"%A%"}}), L"%A%");
}

// Each name is taken by creating it: whoever creates it first owns it.
TEST(FilenameTemplate, ReservedNamesBuildOnTheCandidateBefore) {
    bktest::TempDir dir;
    const std::wstring x = dir.wpath() + L"/x.7z";
    EXPECT_EQ(reserve_unique_path(x, 0600), x);
    EXPECT_EQ(std::filesystem::status(dir / "x.7z").permissions(), std::filesystem::perms(0600));
    for (const char* taken : {"x(1).7z", "x(1)(2).7z"}) bktest::write_file(dir / taken, "");
    EXPECT_EQ(reserve_unique_path(x, 0600), dir.wpath() + L"/x(1)(2)(3).7z");

    // A folder of that name is taken too; Cyrillic names without extension.
    std::filesystem::create_directory(dir / "folder.7z");
    EXPECT_EQ(reserve_unique_path(dir.wpath() + L"/folder.7z", 0600), dir.wpath() + L"/folder(1).7z");
    bktest::write_file(dir / "копия_базы", "");
    EXPECT_EQ(reserve_unique_path(dir.wpath() + L"/копия_базы", 0600), dir.wpath() + L"/копия_базы(1)");
    EXPECT_THROW(reserve_unique_path(dir.wpath() + L"/missing/x.7z", 0600), std::runtime_error);
}

}  // namespace
