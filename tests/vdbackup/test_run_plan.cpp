// How vdbackup turns its command line and the host profile into one call of
// the module.
#include <gtest/gtest.h>

#include <memory>

#include "run_plan.h"
#include "vardobk/command_line.h"

namespace {

vdbackup::RunPlan plan_for(const std::wstring& command_line, const bk::HostProfile& profile) {
    std::unique_ptr<bk::IBkCommandLineInfo> info(bk::factoryBkCommandLineInfo());
    bk::WinappParseCommandLine(command_line, *info);
    return vdbackup::plan_run(*info, profile);
}

const bk::HostProfile profile = {{"root_path", L"/srv/учёт"},
                                 {"shp_path", L"/srv/учёт/main.shp"},
                                 {"username", L"профиль"},
                                 {"workplace", L"1"}};

TEST(RunPlan, ScheduledBackupIsABatchBackupWithTheCommandLinesValues) {
    const auto plan = plan_for(
        L"vdbackup /opt/vd/prog /Q /B /T=30 /O /C=\"ночная копия\" /E=\"a;b\" /D=\"/srv/учёт/other.shp\" "
        L"/U=\"Иванов\" /W=3",
        profile);
    EXPECT_EQ(plan.command, BK_CMD_BACKUP);
    EXPECT_EQ(plan.flags, 0u);
    EXPECT_EQ(plan.params.at("batch"), "1");
    EXPECT_EQ(plan.params.at("batch_keeptime"), "30");
    EXPECT_EQ(plan.params.at("batch_once_a_day"), "1");
    EXPECT_EQ(plan.params.at("batch_comment"), "ночная копия");
    EXPECT_EQ(plan.params.at("batch_excl_comp"), "a;b");
    EXPECT_EQ(plan.params.at("shp_path"), "/srv/учёт/other.shp");
    EXPECT_EQ(plan.params.at("username"), "Иванов");
    EXPECT_EQ(plan.params.at("workplace"), "3");
    EXPECT_EQ(plan.params.at("root_path"), "/srv/учёт");
}

TEST(RunPlan, TheProfileSpeaksWhereTheCommandLineIsSilent) {
    const auto plan = plan_for(L"vdbackup /B", profile);
    EXPECT_EQ(plan.params.count("batch_keeptime") +  // none, or 0: the batch backup's own default, forever
                  plan_for(L"vdbackup /B /T=0", profile).params.count("batch_keeptime"), 0u);
    EXPECT_EQ(plan.params.at("shp_path"), "/srv/учёт/main.shp");
    EXPECT_EQ(plan.params.at("username"), "профиль");
    EXPECT_EQ(plan.params.at("workplace"), "1");

    bk::HostProfile network = profile;
    network["network"] = L"1";
    const auto networked = plan_for(L"vdbackup /B /D=\"/net/base\"", network);
    EXPECT_EQ(networked.params.at("db_path"), "/net/base");
    EXPECT_EQ(networked.params.at("shp_path"), "/srv/учёт/main.shp");
}

TEST(RunPlan, RestoreWaitsForTheHostAndStartsItAgain) {
    const auto plan = plan_for(
        L"vdbackup \"/opt/vd/prog\" /Q /P=4242 /R /A=\"/b/копия 1.7z\" /X /K1=\"-db\" /K2=\"main base\"", profile);
    EXPECT_EQ(plan.command, BK_CMD_RESTORE);
    EXPECT_EQ(plan.wait_for_pid, 4242u);
    EXPECT_EQ(plan.params.at("batch"), "1");
    EXPECT_EQ(plan.params.at("batch_archive"), "/b/копия 1.7z");
    EXPECT_EQ(plan.restart, (std::vector<std::wstring>{L"/opt/vd/prog", L"-db", L"main base"}));

    EXPECT_TRUE(plan_for(L"vdbackup \"/opt/vd/prog\" /R /A=\"x.7z\"", profile).restart.empty());
}

TEST(RunPlan, EndOfWorkIsTheAutomaticBackupOnLeaving) {
    const auto plan = plan_for(L"vdbackup \"/opt/vd/prog\" /Q /P=17 /Z /X", profile);
    EXPECT_EQ(plan.command, BK_CMD_BACKUP);
    EXPECT_EQ(plan.wait_for_pid, 17u);
    EXPECT_EQ(plan.flags, BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_LEAVING));
    EXPECT_EQ(plan.params.count("batch"), 0u);
}

TEST(RunPlan, HelpAndMissingModes) {
    EXPECT_TRUE(plan_for(L"vdbackup /?", {}).show_help);
    EXPECT_TRUE(plan_for(L"vdbackup -H", {}).show_help);
    EXPECT_EQ(plan_for(L"vdbackup /S", profile).command, BK_CMD_SETTINGS);
    EXPECT_THROW(plan_for(L"vdbackup /Q", profile), std::runtime_error);
    EXPECT_NE(vdbackup::usage_text().find("/R /A="), std::string::npos);
}

}  // namespace
