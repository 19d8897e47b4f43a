// Scheduled backups in root's real crontab and in autostart entries: what is
// written reads back, tasks move between the stores, other lines of the
// crontab are never touched, and the guarded calls report failures. The
// crontab found at the start is put back at the end.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "sched/crontab.h"
#include "sched/task_command.h"
#include "sched/task_manager.h"
#include "support/cron.h"
#include "support/temp_dir.h"

namespace {

const std::string FOREIGN = "MAILTO=\"\"\n# nightly report of another program\n"
                            "0 5 * * 1 /usr/bin/report --all\n# vd8_backup_look_alike but no schedule\n";

class TaskManagerTest : public testing::Test {
protected:
    void SetUp() override {
        if (unavailable_) return;
        std::filesystem::create_directory(dir_ / "work dir");
        setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        sched::write_crontab(FOREIGN);
    }
    void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }

    sched::TaskDefinition definition(int32_t kind) const {
        sched::TaskDefinition d;
        d.kind = kind;
        d.time = rkit::time(7, 5, 0);
        d.comment = L"ночная копия 50% done";
        d.application = L"/opt/vd 8/vdbackup";
        d.parameters = L"\"/opt/host/app\" /Q /B /T=30 /C=\"it's 100%\" /D=\"/db/base.shp\" /E=\"a;b\"";
        d.working_directory = (dir_ / "work dir").wstring();
        return d;
    }
    // What was written, with the parameters as reading joins them again.
    static sched::TaskDefinition as_read(sched::TaskDefinition d) {
        d.parameters = sched::join_parameters(sched::split_parameters(d.parameters));
        if (d.kind != sched::TASK_DAILY) d.time = rkit::time(0, 0, 0);
        return d;
    }
    std::string autostart(const std::wstring& name) const {
        return bktest::read_file(dir_ / "config" / "autostart" / (std::filesystem::path(name).string() + ".desktop"));
    }

    const bool unavailable_ = bktest::crontab_unavailable();
    bktest::KeptCrontab kept_;
    bktest::TempDir dir_;
    std::unique_ptr<sched::ITaskManager> manager_ = sched::create_task_manager(sched::TASK_PREFIX);
};

TEST_F(TaskManagerTest, WhatIsCreatedReadsBackAndOtherLinesStayAsTheyWere) {
    if (unavailable_) return;
    std::wstring name;
    ASSERT_TRUE(manager_->create_task(definition(sched::TASK_DAILY), name));
    EXPECT_TRUE(name.starts_with(L"vd8_backup_")) << name;
    const std::string written = sched::read_crontab();
    EXPECT_TRUE(written.starts_with(FOREIGN)) << written;
    EXPECT_NE(written.find("\n5 7 * * * cd '"), std::string::npos) << written;

    sched::TaskDefinition read;
    ASSERT_TRUE(manager_->read_task(name, read));
    EXPECT_EQ(read, as_read(definition(sched::TASK_DAILY)));
    std::wstring text;
    EXPECT_TRUE(manager_->get_trigger_text(name, 0, text));
    EXPECT_EQ(text, L"Ежедневно в 07:05");

    std::wstring upper = L"VD8_BACKUP_upper";
    ASSERT_TRUE(manager_->create_task(definition(sched::TASK_AT_LOGON), upper));
    EXPECT_THROW(manager_->create_task(definition(sched::TASK_DAILY), upper), std::runtime_error);
    std::vector<std::wstring> names;
    manager_->list_tasks(names);
    EXPECT_EQ(names, (std::vector<std::wstring>{name, upper}));

    EXPECT_TRUE(manager_->delete_task(name));
    EXPECT_TRUE(manager_->delete_task(upper));
    EXPECT_FALSE(manager_->task_exists(name));
    EXPECT_EQ(sched::read_crontab(), FOREIGN);
    // Another program's entry is never the module's to change, whatever name is asked for.
    bktest::write_file(dir_ / "config/autostart/other.desktop", "[Desktop Entry]\nExec=other\n");
    std::wstring other = L"other";
    EXPECT_THROW(manager_->create_task(definition(sched::TASK_AT_LOGON), other), std::runtime_error);
    EXPECT_FALSE(manager_->delete_task(other));
    EXPECT_EQ(autostart(other), "[Desktop Entry]\nExec=other\n");
}

TEST_F(TaskManagerTest, UpdatesMoveTasksBetweenTheStoresAndKeepHandWrittenSchedules) {
    if (unavailable_) return;
    std::wstring name;
    ASSERT_TRUE(manager_->create_task(definition(sched::TASK_DAILY), name));
    sched::TaskDefinition logon = definition(sched::TASK_AT_LOGON);
    logon.enabled = false;
    ASSERT_TRUE(manager_->update_task(name, logon));
    EXPECT_EQ(sched::read_crontab(), FOREIGN);
    EXPECT_NE(autostart(name).find("\nHidden=true\n"), std::string::npos);
    sched::TaskDefinition read;
    ASSERT_TRUE(manager_->read_task(name, read));
    EXPECT_EQ(read, as_read(logon));
    std::wstring text;
    EXPECT_TRUE(manager_->get_trigger_text(name, 0, text));
    EXPECT_EQ(text, L"При входе в систему");

    ASSERT_TRUE(manager_->update_task(name, definition(sched::TASK_DAILY)));
    EXPECT_TRUE(autostart(name).empty());

    // A user makes it run every half hour and on workday nights.
    std::string crontab = sched::read_crontab();
    const size_t line = crontab.find("5 7 * * * ");
    const std::string command = crontab.substr(line + 10);
    crontab = crontab.substr(0, line) + "*/30 * * * * " + command + "15 2  * * 1-5 " + command;
    sched::write_crontab(crontab);
    ASSERT_TRUE(manager_->read_task(name, read));
    EXPECT_EQ(read.kind, sched::TASK_OTHER);
    EXPECT_EQ(bk::scheduled_task_text(name, {}), L"*/30 * * * *; 15 2 * * 1-5");

    sched::TaskDefinition other = definition(sched::TASK_OTHER);
    other.enabled = false;
    other.comment = L"changed";
    ASSERT_TRUE(manager_->update_task(name, other));
    crontab = sched::read_crontab();
    EXPECT_NE(crontab.find("\n#*/30 * * * * cd "), std::string::npos) << crontab;
    EXPECT_NE(crontab.find("\n#15 2  * * 1-5 cd "), std::string::npos) << crontab;
    ASSERT_TRUE(manager_->read_task(name, read));
    EXPECT_EQ(read, as_read(other));

    ASSERT_TRUE(manager_->update_task(name, definition(sched::TASK_DAILY)));
    int32_t count = 0;
    EXPECT_TRUE(manager_->get_trigger_count(name, count) && count == 1);  // the two hand-written lines are one again
    EXPECT_TRUE(manager_->delete_task(name));
    EXPECT_EQ(sched::read_crontab(), FOREIGN);
}

TEST_F(TaskManagerTest, TheEditorSeesTheRawTaskAndItsChangesAreSaved) {
    if (unavailable_) return;
    std::wstring name;
    ASSERT_TRUE(manager_->create_task(definition(sched::TASK_DAILY), name));
    std::vector<sched::RawTask> seen;
    auto editor = [&](sched::RawTask& raw) {
        seen.push_back(raw);
        raw = {false, {L"0 12 * * *", L"@reboot"}, true, L"/bin/vdbackup \"a b\" 100%"};
        return true;
    };
    ASSERT_TRUE(bk::edit_scheduled_task(name, editor, {}));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].schedules, std::vector<std::wstring>{L"5 7 * * *"});
    EXPECT_EQ(seen[0].command, L"\"/opt/vd 8/vdbackup\" /opt/host/app /Q /B /T=30 \"/C=it's 100%\" "
                               L"/D=/db/base.shp /E=a;b");
    EXPECT_EQ(bk::scheduled_task_text(name, {}), L"Ежедневно в 12:00; @reboot");
    sched::TaskDefinition read;
    ASSERT_TRUE(manager_->read_task(name, read));
    EXPECT_EQ(read.parameters, L"\"a b\" 100%");
    EXPECT_EQ(read.working_directory, definition(0).working_directory);
}

TEST_F(TaskManagerTest, GuardedCallsWriteTheProfileFilterTasksAndReportFailures) {
    if (unavailable_) return;
    std::wstring name;
    std::vector<std::wstring> reports;
    const auto report = [&](const std::wstring& text) { reports.push_back(text); };
    ASSERT_TRUE(bk::create_scheduled_task(definition(sched::TASK_DAILY), name, {{"DBPATH", L"/db"}}, report))
        << testing::PrintToString(reports);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "work dir" / "vdbackup_host.xml"));

    std::vector<bk::ScheduledBackupTask> tasks;  // which tasks the page shows: the scheduler page's tests
    ASSERT_TRUE(bk::load_scheduled_tasks(L"/opt/host/app", L"/db/base.shp", 6, tasks, report));
    ASSERT_EQ(tasks.size(), 1u);
    EXPECT_EQ(tasks[0].run, (bk::AutoParams{definition(0).comment, 30, 0, {L"a", L"b"}}));

    const std::string path = getenv("PATH");
    setenv("PATH", dir_.path().c_str(), 1);
    EXPECT_FALSE(bk::delete_scheduled_task(name, report));
    setenv("PATH", path.c_str(), 1);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], L"Sheduler error:\ncrontab: cannot run it: No such file or directory");
    EXPECT_TRUE(bk::delete_scheduled_task(name, report));
}

TEST(CronCommand, WordsSurviveQuotingForShellAndCron) {
    const sched::TaskCommand command{L"/a dir", L"/bin/prog", {L"it's", L"50%", L"a\\%b", L"\\\\%", L"", L"$HOME *"}};
    const std::string text = sched::cron_command(command);
    EXPECT_EQ(sched::parse_cron_command(text), command) << text;
    EXPECT_EQ(sched::parse_cron_command("cd /x && /bin/prog \"a b\" c\\ d"),
              (sched::TaskCommand{L"/x", L"/bin/prog", {L"a b", L"c d"}}));
    for (const char* foreign : {"/bin/prog 50%", "/bin/prog; rm x", "echo $HOME", "cd /x"})
        EXPECT_FALSE(sched::parse_cron_command(foreign)) << foreign;
}

}  // namespace
