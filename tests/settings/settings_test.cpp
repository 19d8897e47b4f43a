#include <gtest/gtest.h>

#include "settings/settings.h"
#include "settings_test_util.h"

using namespace bk;

TEST(SettingsModel, DefaultRecord) {
    BackupSettings s;
    EXPECT_EQ(s.backup_folder, L"backup");
    EXPECT_EQ(s.filename_template, L"vd_backup_%DATE%_%TIME%");
    EXPECT_EQ(s.expired_limit, 10);
    EXPECT_EQ(s.default_keeptime, KEEP_FOREVER);
    EXPECT_EQ(s.last_at_week_keeptime, 30);
    EXPECT_EQ(s.last_at_month_keeptime, 365);
    EXPECT_EQ(s.save_hour, 12);
    EXPECT_EQ(s.options, 0u);
    EXPECT_EQ(s.archiver, (ArchiverSettings{0, -1, L"", L"", L"", L"", L""}));
    EXPECT_EQ(s.cloud, CloudSettings());
    EXPECT_EQ(s.enter_param, (AutoParams{L"Автоматически: при входе в программу", 7, 0, {}}));
    EXPECT_EQ(s.exit_param, (AutoParams{L"Автоматически: при выходе из программы", 7, 0, {}}));
    EXPECT_EQ(s.timer_param, (AutoParams{L"Автоматически: по часам", 7, 0, {}}));
    EXPECT_TRUE(s.file_groups.empty() && s.single_files.empty() && s.components.empty());
    EXPECT_EQ(s.include_permission, PermissionLists());
    EXPECT_EQ(s.exclude_permission, PermissionLists());
}

TEST(SettingsModel, RecordsCompareEveryField) {
    BackupSettings a = settings_test::full_record();
    BackupSettings b = a;
    EXPECT_EQ(a, b);
    b.file_groups[1].components.push_back(L"x");
    EXPECT_NE(a, b);
    b = a;
    b.exclude_permission.workplaces[0] = 4;
    EXPECT_NE(a, b);
    b = a;
    b.cloud.eternal_only = false;
    EXPECT_NE(a, b);
}

TEST(SettingsModel, OptionLetters) {
    EXPECT_EQ(options_to_letters(0x1FFF), L"RPEHLGTCBWMNX");
    EXPECT_EQ(options_to_letters(0), L"");
    EXPECT_EQ(options_to_letters(0x1001), L"RX");
    EXPECT_EQ(options_to_letters(0xFFFFE000), L"");  // bits above the thirteen are not stored
    EXPECT_EQ(options_from_letters(L"XR"), 0x1001u);
    EXPECT_EQ(options_from_letters(L""), 0u);
    EXPECT_EQ(options_from_letters(L"r x t"), 0u);
    EXPECT_EQ(options_from_letters(L"TTE-e?"), OPT_BY_CLOCK | OPT_ON_ENTER);
    for (uint32_t bit = 1; bit <= 0x1000; bit <<= 1) EXPECT_EQ(options_from_letters(options_to_letters(bit)), bit);

    EXPECT_EQ(group_flags_to_letters(GROUP_RECURSIVE | 0x6), L"R");
    EXPECT_EQ(group_flags_to_letters(0x6), L"");
    EXPECT_EQ(group_flags_from_letters(L"xRy"), GROUP_RECURSIVE);
    EXPECT_EQ(group_flags_from_letters(L"r"), 0u);
}

TEST(SettingsModel, Usability) {
    BackupSettings s;
    EXPECT_FALSE(is_usable(s));  // nothing to save
    s.single_files.push_back({L"/a.txt", L"", L"", {}});
    EXPECT_TRUE(is_usable(s));
    s.archiver.archiver = ARCHIVER_NONE;
    EXPECT_FALSE(is_usable(s));
    s.archiver.archiver = ARCHIVER_RAR;

    // An incomplete cloud account only matters when uploading is on.
    s.cloud = {L"custom", L"", L"me", L"", false};
    EXPECT_TRUE(is_usable(s));
    s.options = OPT_CLOUD;
    EXPECT_FALSE(is_usable(s));  // custom without url
    s.cloud.url = L"https://dav";
    EXPECT_TRUE(is_usable(s));
    s.cloud.login.clear();
    EXPECT_FALSE(is_usable(s));
    s.cloud = {L"yandex.disk", L"", L"me", L"", false};  // a known service needs no url
    EXPECT_TRUE(is_usable(s));
    s.cloud.service.clear();
    EXPECT_FALSE(is_usable(s));

    s = BackupSettings();
    s.file_groups.push_back({});
    EXPECT_TRUE(is_usable(s));
}
