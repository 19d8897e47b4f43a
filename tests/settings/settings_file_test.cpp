#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "app/com_error.h"
#include "settings/settings_file.h"
#include "settings/xml.h"
#include "settings_test_util.h"
#include "support/temp_dir.h"

using namespace bk;
namespace fs = std::filesystem;

namespace settings_test {

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
    s.file_groups = {{L"ТЕК_ДИР", L"data", L"*.dbf", L"*.tmp", L"", GROUP_RECURSIVE, L"Данные", {L"main", L"extra"}},
                     {L"/etc", L"", L"*.conf", L"", L"etc", 0, L"", {}}};
    s.single_files = {{L"ТЕК_SHP", L"", L"база", {L"main"}}, {L"/home/u/notes.txt", L"notes", L"", {}}};
    s.components = {{L"main", L"Основные"}, {L"extra", L"Дополнительные"}};
    s.enter_param = {L"Вход", 7, AUTO_ONCE_A_DAY, {L"extra"}};
    s.exit_param = {L"Выход", 30, AUTO_DB_EXCLUSIVE, {}};
    s.timer_param = {L"Часы", KEEP_FOREVER, AUTO_ONCE_A_DAY | AUTO_DB_EXCLUSIVE, {L"main", L"extra"}};
    s.save_hour = 18;
    s.options = 0x1FFF;
    s.include_permission = {{1, 2}, {L"admin"}, {L"PC-1"}};
    s.exclude_permission = {{-3}, {}, {L"PC-2", L"PC-3"}};
    s.archiver = {ARCHIVER_RAR, 5, L"/usr/bin/rar", L"-y", L"-m5", L"-o+", L"секрет"};
    return s;
}

bool xmllint_accepts(const fs::path& file) {
    return std::system(("xmllint --noout '" + file.string() + "' 2>/dev/null").c_str()) == 0;
}

}  // namespace settings_test

void bk::PrintTo(const BackupSettings& settings, std::ostream* out) {
    bktest::TempDir dir;
    write_settings_file((dir / "print.xml").wstring(), settings);
    *out << bktest::read_file(dir / "print.xml");
}

namespace {

const std::string default_text =
    "<?xml version=\"1.0\"?>\n"
    "<root>"
    "<backup_folder node_value=\"backup\"/>"
    "<removable_path node_value=\"\"/>"
    "<cloud_settings service=\"\" login=\"\" password=\"\" eternal_only=\"0\"/>"
    "<filename_template node_value=\"vd_backup_%DATE%_%TIME%\"/>"
    "<backup_cmdline node_value=\"\"/>"
    "<expired_limit node_value=\"10\"/>"
    "<default_keeptime node_value=\"-1\"/>"
    "<last_at_week_keeptime node_value=\"30\"/>"
    "<last_at_month_keeptime node_value=\"365\"/>"
    "<file_groups/><single_files/><components/>"
    "<enter_param comment=\"Автоматически: при входе в программу\" keeptime=\"7\" once_a_day=\"0\" "
    "db_exclusive_access=\"0\"><excl_comp/></enter_param>"
    "<exit_param comment=\"Автоматически: при выходе из программы\" keeptime=\"7\" once_a_day=\"0\" "
    "db_exclusive_access=\"0\"><excl_comp/></exit_param>"
    "<timer_param comment=\"Автоматически: по часам\" keeptime=\"7\" once_a_day=\"0\" "
    "db_exclusive_access=\"0\"><excl_comp/></timer_param>"
    "<save_hour node_value=\"12\"/>"
    "<options node_value=\"\"/>"
    "<include_permission><workplaces/><logins/><workstations/></include_permission>"
    "<exclude_permission><workplaces/><logins/><workstations/></exclude_permission>"
    "<archiver_settings archiver=\"0\" compress_level=\"-1\" exe_path=\"\" common_options=\"\" "
    "compress_options=\"\" extract_options=\"\" password=\"\"/>"
    "</root>\n";

const std::string full_text =
    "<?xml version=\"1.0\"?>\n"
    "<root>"
    "<backup_folder node_value=\"/srv/копии\"/>"
    "<removable_path node_value=\"/media/user/STICK\"/>"
    "<cloud_settings service=\"custom\" url=\"https://dav.example.com/b\" login=\"иван\" "
    "password=\"p&amp;ss&quot;&lt;w>\" eternal_only=\"1\"/>"
    "<filename_template node_value=\"%DB%_%DATE%\"/>"
    "<backup_cmdline node_value=\"notify-send '%PATH%'\"/>"
    "<expired_limit node_value=\"5\"/>"
    "<default_keeptime node_value=\"30\"/>"
    "<last_at_week_keeptime node_value=\"90\"/>"
    "<last_at_month_keeptime node_value=\"-1\"/>"
    "<file_groups>"
    "<group basic_folder=\"ТЕК_ДИР\" relative_path=\"data\" include_mask=\"*.dbf\" exclude_mask=\"*.tmp\" "
    "flags=\"R\" comment=\"Данные\"><components><item0 node_value=\"main\"/><item1 node_value=\"extra\"/>"
    "</components></group>"
    "<group basic_folder=\"/etc\" relative_path=\"\" include_mask=\"*.conf\" exclude_mask=\"\" "
    "extract_folder=\"etc\" flags=\"\" comment=\"\"><components/></group>"
    "</file_groups>"
    "<single_files>"
    "<file path=\"ТЕК_SHP\" comment=\"база\"><components><item0 node_value=\"main\"/></components></file>"
    "<file path=\"/home/u/notes.txt\" extract_folder=\"notes\" comment=\"\"><components/></file>"
    "</single_files>"
    "<components>"
    "<component name=\"main\" display_text=\"Основные\"/>"
    "<component name=\"extra\" display_text=\"Дополнительные\"/>"
    "</components>"
    "<enter_param comment=\"Вход\" keeptime=\"7\" once_a_day=\"1\" db_exclusive_access=\"0\">"
    "<excl_comp><item0 node_value=\"extra\"/></excl_comp></enter_param>"
    "<exit_param comment=\"Выход\" keeptime=\"30\" once_a_day=\"0\" db_exclusive_access=\"1\">"
    "<excl_comp/></exit_param>"
    "<timer_param comment=\"Часы\" keeptime=\"-1\" once_a_day=\"1\" db_exclusive_access=\"1\">"
    "<excl_comp><item0 node_value=\"main\"/><item1 node_value=\"extra\"/></excl_comp></timer_param>"
    "<save_hour node_value=\"18\"/>"
    "<options node_value=\"RPEHLGTCBWMNX\"/>"
    "<include_permission><workplaces><item0 node_value=\"1\"/><item1 node_value=\"2\"/></workplaces>"
    "<logins><item0 node_value=\"admin\"/></logins><workstations><item0 node_value=\"PC-1\"/></workstations>"
    "</include_permission>"
    "<exclude_permission><workplaces><item0 node_value=\"-3\"/></workplaces><logins/>"
    "<workstations><item0 node_value=\"PC-2\"/><item1 node_value=\"PC-3\"/></workstations>"
    "</exclude_permission>"
    "<archiver_settings archiver=\"2\" compress_level=\"5\" exe_path=\"/usr/bin/rar\" common_options=\"-y\" "
    "compress_options=\"-m5\" extract_options=\"-o+\" password=\"секрет\"/>"
    "</root>\n";

class SettingsFile : public ::testing::Test {
protected:
    bktest::TempDir dir;
    fs::path file = dir / "backup_config.xml";

    BackupSettings read_text(const std::string& text) {
        bktest::write_file(file, text);
        BackupSettings s;
        read_settings_file(file.wstring(), s);
        return s;
    }
    std::string written(const BackupSettings& s) {
        write_settings_file(file.wstring(), s);
        return bktest::read_file(file);
    }
};

TEST_F(SettingsFile, DefaultAndFullRecordsAreWrittenExactly) {
    EXPECT_EQ(written(BackupSettings()), default_text);
    EXPECT_TRUE(settings_test::xmllint_accepts(file));
    EXPECT_EQ(written(settings_test::full_record()), full_text);
    EXPECT_TRUE(settings_test::xmllint_accepts(file));
}

TEST_F(SettingsFile, WrittenRecordsReadBackEqual) {
    EXPECT_EQ(read_text(default_text), BackupSettings());
    EXPECT_EQ(read_text(full_text), settings_test::full_record());
}

TEST_F(SettingsFile, UrlBelongsOnlyToCustomService) {
    BackupSettings s;
    s.cloud = {L"yandex.disk", L"https://ignored", L"me", L"", false};
    std::string text = written(s);
    EXPECT_EQ(text.find("url="), std::string::npos);

    s = read_text("<root><cloud_settings service='custom' url='https://mine' eternal_only='7'/></root>");
    EXPECT_EQ(s.cloud.url, L"https://mine");
    EXPECT_TRUE(s.cloud.eternal_only);
    s = read_text("<root><cloud_settings service='yandex.disk' url='https://mine' eternal_only='0'/></root>");
    EXPECT_EQ(s.cloud.service, L"yandex.disk");
    EXPECT_EQ(s.cloud.url, L"");
    EXPECT_FALSE(s.cloud.eternal_only);
}

TEST_F(SettingsFile, HandWrittenFilesKeepWhatTheyLack) {
    // Another document element name, and only the options.
    BackupSettings expected;
    expected.options = OPT_ON_ENTER | OPT_BY_CLOCK;
    EXPECT_EQ(read_text("<?xml version='1.0' encoding='UTF-8'?>\n<settings>\n  <options node_value='TE'/>\n</settings>"),
              expected);

    // Elements without node_value, attribute records with few attributes.
    BackupSettings s = read_text(
        "<root><backup_folder/><expired_limit other='3'/><save_hour node_value=' 7 '/>"
        "<enter_param keeptime='30'/><exit_param once_a_day='1'/>"
        "<archiver_settings archiver='-1'/></root>");
    expected = BackupSettings();
    expected.save_hour = 7;
    expected.enter_param.keeptime = 30;
    expected.exit_param.flags = AUTO_ONCE_A_DAY;
    expected.archiver.archiver = ARCHIVER_NONE;
    EXPECT_EQ(s, expected);
}

TEST_F(SettingsFile, FlagAttributesSetAndClearTheirBits) {
    BackupSettings s;
    s.timer_param.flags = AUTO_ONCE_A_DAY | AUTO_DB_EXCLUSIVE;
    write_settings_file(file.wstring(), s);
    BackupSettings back;
    back.timer_param.flags = 0;
    read_settings_file(file.wstring(), back);
    EXPECT_EQ(back.timer_param.flags, AUTO_ONCE_A_DAY | AUTO_DB_EXCLUSIVE);

    // Present and zero clears, missing keeps.
    bktest::write_file(file, "<root><timer_param once_a_day='0'/></root>");
    read_settings_file(file.wstring(), back);
    EXPECT_EQ(back.timer_param.flags, AUTO_DB_EXCLUSIVE);
}

TEST_F(SettingsFile, ContainersAndListsWhateverTheChildrenAreNamed) {
    BackupSettings s = read_text(
        "<root>"
        "<file_groups><folder basic_folder='ТЕК_ДИР' flags='xRx' extract_folder='sub'>"
        "<components><c node_value='main'/><c/></components></folder>"
        "<g relative_path='only'/></file_groups>"
        "<single_files><f path='/a'/></single_files>"
        "<components><x name='main'/></components>"
        "<enter_param><excl_comp><e node_value='main'/></excl_comp></enter_param>"
        "<include_permission><workplaces><w node_value='4'/></workplaces></include_permission>"
        "</root>");
    ASSERT_EQ(s.file_groups.size(), 2u);
    EXPECT_EQ(s.file_groups[0], (FileGroup{L"ТЕК_ДИР", L"", L"", L"", L"sub", GROUP_RECURSIVE, L"", {L"main"}}));
    EXPECT_EQ(s.file_groups[1], (FileGroup{L"", L"only", L"", L"", L"", 0, L"", {}}));
    EXPECT_EQ(s.single_files, (std::vector<SingleFile>{{L"/a", L"", L"", {}}}));
    EXPECT_EQ(s.components, (std::vector<Component>{{L"main", L""}}));
    EXPECT_EQ(s.enter_param.excl_comp, (std::vector<std::wstring>{L"main"}));
    EXPECT_EQ(s.include_permission.workplaces, (std::vector<int32_t>{4}));

    // A present but empty container empties; a missing one keeps.
    BackupSettings full = settings_test::full_record();
    bktest::write_file(file, "<root><file_groups/><include_permission><logins/></include_permission></root>");
    read_settings_file(file.wstring(), full);
    EXPECT_TRUE(full.file_groups.empty());
    EXPECT_EQ(full.single_files, settings_test::full_record().single_files);
    EXPECT_TRUE(full.include_permission.logins.empty());
    EXPECT_EQ(full.include_permission.workplaces, (std::vector<int32_t>{1, 2}));
}

TEST_F(SettingsFile, BadNumberFailsTheReadAfterEarlierFields) {
    bktest::write_file(file, "<root><backup_folder node_value='new'/><expired_limit node_value='ten'/>"
                             "<save_hour node_value='3'/></root>");
    BackupSettings s;
    EXPECT_THROW(read_settings_file(file.wstring(), s), com_error);
    EXPECT_EQ(s.backup_folder, L"new");
    EXPECT_EQ(s.save_hour, 12);
}

// Random records with the characters that need care in XML survive a write and a read.
class RandomRecords {
public:
    explicit RandomRecords(unsigned seed) : rng_(seed) {}

    BackupSettings make() {
        BackupSettings s;
        s.backup_folder = text();
        s.removable_path = text();
        s.cloud.service = pick(3) == 0 ? L"custom" : text();
        if (s.cloud.service == L"custom") s.cloud.url = text();
        s.cloud.login = text();
        s.cloud.password = text();
        s.cloud.eternal_only = pick(2);
        s.filename_template = text();
        s.backup_cmdline = text();
        s.expired_limit = number();
        s.default_keeptime = number();
        s.last_at_week_keeptime = number();
        s.last_at_month_keeptime = number();
        for (int i = pick(pick(4) == 0 ? 60 : 4); i > 0; --i)
            s.file_groups.push_back({text(), text(), text(), text(), text(), pick(2) ? GROUP_RECURSIVE : 0u, text(), texts()});
        for (int i = pick(5); i > 0; --i) s.single_files.push_back({text(), text(), text(), texts()});
        for (int i = pick(pick(4) == 0 ? 40 : 4); i > 0; --i) s.components.push_back({text(), text()});
        for (AutoParams* p : {&s.enter_param, &s.exit_param, &s.timer_param})
            *p = {text(), number(), static_cast<uint32_t>(pick(4)), texts()};
        s.save_hour = number();
        s.options = static_cast<uint32_t>(pick(0x2000));
        for (PermissionLists* p : {&s.include_permission, &s.exclude_permission}) {
            p->workplaces.clear();
            for (int i = pick(4); i > 0; --i) p->workplaces.push_back(number());
            p->logins = texts();
            p->workstations = texts();
        }
        s.archiver = {number(), number(), text(), text(), text(), text(), text()};
        return s;
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    int32_t number() {
        switch (pick(4)) {
        case 0: return std::uniform_int_distribution<int32_t>(INT32_MIN, INT32_MAX)(rng_);
        case 1: return pick(2) ? INT32_MIN : INT32_MAX;
        default: return pick(800) - 400;
        }
    }

    std::wstring text() {
        static const std::wstring alphabet =
            L"abcXYZ019 _-.%/\\:;,\"'<>&=!?*АБВЁЖЯабвёжяЙйЪъ\t\n\r€🙂";
        int length = pick(6) == 0 ? 0 : pick(4) == 0 ? 200 + pick(2000) : 1 + pick(20);
        std::wstring s;
        for (int i = 0; i < length; ++i) s += alphabet[static_cast<size_t>(pick(static_cast<int>(alphabet.size())))];
        return s;
    }

    std::vector<std::wstring> texts() {
        std::vector<std::wstring> v;
        for (int i = pick(4); i > 0; --i) v.push_back(text());
        return v;
    }

    std::mt19937 rng_;
};

TEST_F(SettingsFile, RandomRecordsSurviveWriteAndRead) {
    RandomRecords random(20240607);
    for (int i = 0; i < 300; ++i) {
        BackupSettings s = random.make();
        write_settings_file(file.wstring(), s);
        BackupSettings back;
        read_settings_file(file.wstring(), back);
        ASSERT_EQ(back, s) << "case " << i << ":\n" << bktest::read_file(file);
        if (i % 50 == 0) {
            EXPECT_TRUE(settings_test::xmllint_accepts(file)) << "case " << i;
        }
    }
}

}  // namespace
