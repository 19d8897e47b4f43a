// Automatic backups through command 1: the events on entering, on leaving
// and by the clock with the settings that switch them on, who may make
// backups at all, once a day, exclusive access, and the clock cache that
// answers most clock events without reading anything.
#include <gtest/gtest.h>

#include "app/string_table.h"
#include "commands/test_host.h"
#include "rkit/clock.h"
#include "rkit/system.h"
#include "rkit/text.h"

namespace cmdtest {
namespace {

const uint32_t kEntering = BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_ENTERING);
const uint32_t kLeaving = BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_LEAVING);
const uint32_t kClock = BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_CLOCK);

rkit::timestamp at(int day, int hour, int minute) {
    rkit::timestamp t;
    t.put(rkit::date(day, 3, 2024), rkit::time(hour, minute, 0));
    return t;
}

class AutomaticBackup : public ::testing::Test {
protected:
    void SetUp() override { settings = host.standard_settings(); }
    uint32_t run(uint32_t flags) {
        host.save(settings);
        return host.run(BK_CMD_BACKUP, flags);
    }
    size_t backups() const { return host.catalogue().size(); }

    TestHost host;
    bk::BackupSettings settings;
};

TEST_F(AutomaticBackup, OnEnteringWithTheEventsParameters) {
    EXPECT_EQ(run(kEntering), BK_NOT_DONE);  // switched off
    EXPECT_EQ(backups(), 0u);

    settings.options |= bk::OPT_ON_ENTER;
    settings.enter_param.keeptime = 90;
    settings.enter_param.excl_comp = {kDocs};
    EXPECT_EQ(run(kEntering), BK_DONE) << ::testing::PrintToString(host.messages());
    ASSERT_EQ(backups(), 1u);
    EXPECT_EQ(host.catalogue()[0].comment, bk::load_string(bk::ids::COMMENT_ON_ENTER));
    EXPECT_EQ(host.catalogue()[0].keeptime, 90);
    EXPECT_TRUE(host.ui.backup_dialogs.empty());

    // A change of database counts only when asked for.
    EXPECT_EQ(run(kEntering | BKF_DB_CHANGE), BK_NOT_DONE);
    settings.options |= bk::OPT_ENTER_ON_DB_CHANGE;
    EXPECT_EQ(run(kEntering | BKF_DB_CHANGE), BK_DONE);
    EXPECT_EQ(backups(), 2u);
    // Leaving is switched on separately.
    EXPECT_EQ(run(kLeaving), BK_NOT_DONE);
    EXPECT_EQ(backups(), 2u);
}

TEST_F(AutomaticBackup, OnLeavingAskingFirst) {
    settings.options |= bk::OPT_ON_EXIT | bk::OPT_EXIT_CONFIRM;
    settings.exit_param.comment = L"при выходе";
    host.ui.backup_dialog_cancel();
    EXPECT_EQ(run(kLeaving), BK_NOT_DONE);
    ASSERT_EQ(host.ui.backup_dialogs.size(), 1u);
    EXPECT_EQ(host.ui.backup_dialogs[0].params.comment, L"при выходе");
    EXPECT_EQ(backups(), 0u);

    host.ui.backup_dialog_ok();
    EXPECT_EQ(run(kLeaving), BK_DONE) << ::testing::PrintToString(host.messages());
    ASSERT_EQ(backups(), 1u);
    EXPECT_EQ(host.catalogue()[0].comment, L"при выходе");

    EXPECT_EQ(run(kLeaving | BKF_DB_CHANGE), BK_NOT_DONE);
    settings.options |= bk::OPT_EXIT_ON_DB_CHANGE;
    host.ui.backup_dialog_ok();
    EXPECT_EQ(run(kLeaving | BKF_DB_CHANGE), BK_DONE);
    EXPECT_EQ(backups(), 2u);
}

TEST_F(AutomaticBackup, AnUnknownEventIsACallByTheUser) {
    settings.default_keeptime = 365;
    host.ui.backup_dialog_ok();
    EXPECT_EQ(run(BKF_AUTOMATIC | BKF_MAKE_EVENT(0x05)), BK_DONE) << ::testing::PrintToString(host.messages());
    ASSERT_EQ(host.ui.backup_dialogs.size(), 1u);
    EXPECT_EQ(host.ui.backup_dialogs[0].params.keeptime, 365);
}

TEST_F(AutomaticBackup, CheckOnlyAnswersWhetherTheEventWouldBackUp) {
    EXPECT_EQ(run(kEntering | BKF_CHECK_ONLY), BK_NOT_DONE);
    settings.options |= bk::OPT_ON_ENTER | bk::OPT_ENTER_CONFIRM;
    EXPECT_EQ(run(kEntering | BKF_CHECK_ONLY), BK_DONE);
    EXPECT_TRUE(host.ui.backup_dialogs.empty());
    EXPECT_EQ(backups(), 0u);
}

TEST_F(AutomaticBackup, OnceADayCountsTodaysBackupsOfThisDatabase) {
    settings.options |= bk::OPT_ON_ENTER;
    settings.enter_param.flags = bk::AUTO_ONCE_A_DAY;
    EXPECT_EQ(run(kEntering), BK_DONE) << ::testing::PrintToString(host.messages());
    EXPECT_EQ(run(kEntering), BK_NOT_DONE);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(backups(), 1u);

    host.params["shp_path"] = (host.root() / "base/other.shp").string();
    EXPECT_EQ(run(kEntering), BK_DONE);
    EXPECT_EQ(backups(), 2u);
}

TEST_F(AutomaticBackup, ExclusiveAccessWhenTheEventAsksForIt) {
    settings.options |= bk::OPT_ON_ENTER;
    host.params["db_exclusive_acc"] = "0";
    EXPECT_EQ(run(kEntering), BK_DONE);  // not asked for

    settings.enter_param.flags = bk::AUTO_DB_EXCLUSIVE;
    EXPECT_EQ(run(kEntering), BK_NOT_DONE);
    EXPECT_TRUE(host.messages().empty());
    EXPECT_EQ(backups(), 1u);

    host.params.erase("db_exclusive_acc");  // a host that does not say has it
    EXPECT_EQ(run(kEntering), BK_DONE);
    EXPECT_EQ(backups(), 2u);
}

TEST_F(AutomaticBackup, ByTheClockOnceADayReadingTheCatalogueOnceADay) {
    settings.save_hour = 12;
    rkit::clock::set_fixed(at(4, 12, 30));
    EXPECT_EQ(run(kClock), BK_NOT_DONE);  // switched off

    settings.options |= bk::OPT_BY_CLOCK;
    rkit::clock::set_fixed(at(4, 11, 59));
    EXPECT_EQ(run(kClock), BK_NOT_DONE);
    rkit::clock::set_fixed(at(4, 12, 0));
    ASSERT_EQ(run(kClock), BK_DONE) << ::testing::PrintToString(host.messages());
    ASSERT_EQ(backups(), 1u);
    EXPECT_EQ(host.catalogue()[0].comment, bk::load_string(bk::ids::COMMENT_BY_CLOCK));
    EXPECT_EQ(host.catalogue()[0].time, at(4, 12, 0));
    EXPECT_TRUE(host.ui.backup_dialogs.empty());

    // A backup clears the cache: the next event reads the catalogue again...
    rkit::clock::set_fixed(at(4, 13, 0));
    host.questions = 0;
    EXPECT_EQ(host.run(BK_CMD_BACKUP, kClock), BK_NOT_DONE);
    EXPECT_GT(host.questions, 0);
    // ...and the rest of the day, and the next morning, are answered from the
    // cache without asking the host anything.
    host.questions = 0;
    for (const auto& moment : {at(4, 14, 0), at(4, 23, 59), at(5, 0, 0), at(5, 11, 59)}) {
        rkit::clock::set_fixed(moment);
        EXPECT_EQ(host.run(BK_CMD_BACKUP, kClock), BK_NOT_DONE);
    }
    EXPECT_EQ(host.questions, 0);
    EXPECT_EQ(backups(), 1u);

    // Once the save hour has come, the full check runs and finds it due.
    rkit::clock::set_fixed(at(5, 12, 0));
    EXPECT_EQ(host.run(BK_CMD_BACKUP, kClock), BK_DONE);
    EXPECT_GT(host.questions, 0);
    EXPECT_EQ(backups(), 2u);
}

TEST_F(AutomaticBackup, AnUnreadableCatalogueFailsTheClockEvent) {
    settings.options |= bk::OPT_BY_CLOCK;
    bktest::write_file(host.backup_folder() / "backup_list.xml", "not xml");
    rkit::clock::set_fixed(at(4, 12, 30));
    EXPECT_EQ(run(kClock), BK_FAILED);
    ASSERT_FALSE(host.messages().empty());
    EXPECT_EQ(host.messages().back(),
              message(bk::ids::ERR_LOAD_CATALOGUE, {wide(host.backup_folder() / "backup_list.xml")}));
}

// Whether a call by the user would be let through.
TEST_F(AutomaticBackup, PermissionsOfWorkplacesLoginsAndComputers) {
    auto permitted = [&] {
        const uint32_t result = run(BKF_CHECK_ONLY);
        EXPECT_TRUE(host.messages().empty());
        return result == BK_DONE;
    };
    settings.include_permission.workplaces = {1, 3};
    settings.exclude_permission.workplaces = {1};
    EXPECT_TRUE(permitted());
    host.params["workplace"] = "1";  // in both lists: forbidden
    EXPECT_FALSE(permitted());
    host.params["workplace"] = "2";  // not included
    EXPECT_FALSE(permitted());
    // A forbidden user is not even asked, and automatic events are bound too.
    EXPECT_EQ(run(BKF_INTERACTIVE), BK_NOT_DONE);
    EXPECT_TRUE(host.ui.backup_dialogs.empty());
    settings.options |= bk::OPT_ON_ENTER;
    EXPECT_EQ(run(kEntering), BK_NOT_DONE);
    EXPECT_EQ(backups(), 0u);
    host.params.erase("workplace");  // a host without workplaces
    EXPECT_TRUE(permitted());

    // Logins compare exactly.
    settings.include_permission.logins = {L"иванов"};
    EXPECT_FALSE(permitted());
    settings.include_permission.logins = {L"Иванов", L"Петров"};
    EXPECT_TRUE(permitted());
    settings.exclude_permission.logins = {L"Иванов"};
    EXPECT_FALSE(permitted());
    host.params.erase("username");
    EXPECT_TRUE(permitted());

    // Computers compare without regard to case.
    const std::wstring computer = rkit::get_system_name();
    settings.include_permission.workstations = {L"ДРУГОЙ-ПК"};
    EXPECT_FALSE(permitted());
    settings.include_permission.workstations = {L"ДРУГОЙ-ПК", rkit::to_upper(computer)};
    EXPECT_TRUE(permitted());
    settings.exclude_permission.workstations = {computer};
    EXPECT_FALSE(permitted());
}

}  // namespace
}  // namespace cmdtest
