// How vdbackup turns its command line and the host profile into one call of
// the module.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <tuple>

#include "run_plan.h"
#include "vardobk/command_line.h"

namespace {

using Params = std::map<std::string, std::string>;

vdbackup::RunPlan plan_for(const std::wstring& command_line, const bk::HostProfile& profile) {
    std::unique_ptr<bk::IBkCommandLineInfo> info(bk::factoryBkCommandLineInfo());
    bk::WinappParseCommandLine(command_line, *info);
    return vdbackup::plan_run(*info, profile);
}

const bk::HostProfile profile = {
    {"root_path", L"/srv/учёт"}, {"shp_path", L"/srv/учёт/main.shp"}, {"username", L"профиль"}, {"workplace", L"1"}};

// The command line speaks where it has a value, the profile elsewhere.
TEST(RunPlan, ABackupIsABatchBackupWithTheCommandLinesValues) {
    auto plan = plan_for(L"vdbackup /opt/vd/prog /Q /B /T=30 /O /C=\"ночная копия\" /E=\"a;b\" "
                         L"/D=\"/srv/учёт/other.shp\" /U=\"Иванов\" /W=3",
                         profile);
    EXPECT_EQ(std::tie(plan.command, plan.flags), std::make_tuple(BK_CMD_BACKUP, 0u));
    EXPECT_EQ(plan.params, (Params{{"root_path", "/srv/учёт"}, {"shp_path", "/srv/учёт/other.shp"},
                                   {"username", "Иванов"}, {"workplace", "3"}, {"batch", "1"},
                                   {"batch_keeptime", "30"}, {"batch_once_a_day", "1"},
                                   {"batch_comment", "ночная копия"}, {"batch_excl_comp", "a;b"}}));

    // Without /T= or with 0 no keep time: the batch backup's own default, forever.
    plan = plan_for(L"vdbackup /B /T=0", profile);
    EXPECT_EQ(plan.params, (Params{{"root_path", "/srv/учёт"}, {"shp_path", "/srv/учёт/main.shp"},
                                   {"username", "профиль"}, {"workplace", "1"}, {"batch", "1"},
                                   {"batch_once_a_day", "0"}, {"batch_comment", ""}, {"batch_excl_comp", ""}}));
    bk::HostProfile network = profile;
    network["network"] = L"1";
    plan = plan_for(L"vdbackup /B /D=\"/net/base\"", network);
    EXPECT_EQ(std::tie(plan.params.at("db_path"), plan.params.at("shp_path")),
              std::make_tuple("/net/base", "/srv/учёт/main.shp"));
}

TEST(RunPlan, RestoreAndEndOfWorkWaitForTheHost) {
    auto plan = plan_for(
        L"vdbackup \"/opt/vd/prog\" /Q /P=4242 /R /A=\"/b/копия 1.7z\" /X /K1=\"-db\" /K2=\"main base\"", profile);
    EXPECT_EQ(std::tie(plan.command, plan.wait_for_pid, plan.params.at("batch"), plan.params.at("batch_archive")),
              std::make_tuple(BK_CMD_RESTORE, 4242u, "1", "/b/копия 1.7z"));
    EXPECT_EQ(plan.restart, (std::vector<std::wstring>{L"/opt/vd/prog", L"-db", L"main base"}));
    EXPECT_TRUE(plan_for(L"vdbackup \"/opt/vd/prog\" /R /A=\"x.7z\"", profile).restart.empty());  // no /X

    // The end of work is the automatic backup on leaving.
    plan = plan_for(L"vdbackup \"/opt/vd/prog\" /Q /P=17 /Z /X", profile);
    EXPECT_EQ(std::tie(plan.command, plan.wait_for_pid, plan.flags),
              std::make_tuple(BK_CMD_BACKUP, 17u, BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_LEAVING)));
    EXPECT_EQ(plan.params.count("batch"), 0u);
}

TEST(RunPlan, HelpSettingsAndMissingModes) {
    EXPECT_TRUE(plan_for(L"vdbackup /?", {}).show_help && plan_for(L"vdbackup -H", {}).show_help);
    EXPECT_EQ(plan_for(L"vdbackup /S", profile).command, BK_CMD_SETTINGS);
    EXPECT_THROW(plan_for(L"vdbackup /Q", profile), std::runtime_error);
    EXPECT_NE(vdbackup::usage_text().find("/R /A="), std::string::npos);
}

}  // namespace
