#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/error_list.h"
#include "catalogue/catalogue.h"
#include "fake_host.h"
#include "rkit/clock.h"
#include "rkit/text.h"
#include "sched/auto_backup.h"
#include "support/error_messages.h"
#include "support/temp_dir.h"

namespace {

using schedtest::g_host_params;
using schedtest::host_params;

rkit::timestamp at(int day, int hour, int minute = 0) {
    rkit::timestamp ts;
    ts.put(rkit::date(day, 3, 2024), rkit::time(hour, minute, 0));
    return ts;
}

bk::HostIdentity host() {
    bk::HostIdentity id;
    id.ver_type = L"7.2";
    id.ver_family = L"pro";
    id.dbname = L"base.shp";
    return id;
}

bk::BackupRecord backup_at(const rkit::timestamp& time, const std::wstring& dbname = L"base.shp") {
    bk::BackupRecord r;
    r.time = time;
    r.filename = L"b.7z";
    r.version_type = L"7.2";
    r.version_family = L"pro";
    r.dbname = dbname;
    return r;
}

class AutoBackup : public ::testing::Test {
protected:
    void SetUp() override {
        g_host_params = {{"root_path", dir_.path().string()}};
        bk::clear_clock_cache();
        bk::clear_errors();
        settings_.default_keeptime = 90;
    }
    void TearDown() override {
        rkit::clock::reset();
        bk::clear_clock_cache();
    }

    std::wstring backup_folder() const { return rkit::char_to_wide((dir_ / "backup").string()); }
    void write_catalogue(const bk::Catalogue& records) {
        std::filesystem::create_directories(dir_ / "backup");
        bk::write_catalogue(bk::catalogue_path(backup_folder()), records);
    }
    void break_catalogue() { bktest::write_file(dir_ / "backup" / "backup_list.xml", "<root><items>"); }

    uint32_t decide(uint32_t flags, const bk::HostIdentity& id = host()) {
        run_ = bk::AutoParams{L"from caller", -1, 0, {}};
        ask_first_ = false;
        return bk::decide_backup(flags, host_params, settings_, id, run_, ask_first_);
    }
    uint32_t clock_event() { return decide(BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_CLOCK)); }

    bktest::TempDir dir_;
    bk::BackupSettings settings_;
    bk::AutoParams run_;
    bool ask_first_ = false;
};

TEST_F(AutoBackup, WorkplacePermissions) {
    settings_.include_permission.workplaces = {1, 2};
    settings_.exclude_permission.workplaces = {2};
    bk::HostIdentity id = host();
    for (auto [workplace, allowed] : {std::pair{1, true}, {2, false}, {3, false}, {0, true}, {-1, true}}) {
        id.workplace = workplace;
        EXPECT_EQ(bk::is_permitted(settings_, id), allowed) << workplace;
    }
    settings_.include_permission.workplaces.clear();
    id.workplace = 3;
    EXPECT_TRUE(bk::is_permitted(settings_, id));  // only the exclude list is left
    id.workplace = 2;
    EXPECT_FALSE(bk::is_permitted(settings_, id));
}

TEST_F(AutoBackup, LoginAndComputerPermissions) {
    bk::HostIdentity id = host();
    settings_.include_permission.logins = {L"Администратор", L"buh"};
    id.username = L"администратор";  // logins compare exactly
    EXPECT_FALSE(bk::is_permitted(settings_, id));
    id.username = L"Администратор";
    EXPECT_TRUE(bk::is_permitted(settings_, id));
    id.username.clear();  // no login known: not tested
    EXPECT_TRUE(bk::is_permitted(settings_, id));

    settings_.include_permission.workstations = {L"SERVER2", L"Бух-ПК"};
    settings_.exclude_permission.workstations = {L"бух-пк"};
    id.computer = L"server2";  // computer names without regard to case
    EXPECT_TRUE(bk::is_permitted(settings_, id));
    id.computer = L"БУХ-ПК";  // in both lists: forbidden
    EXPECT_FALSE(bk::is_permitted(settings_, id));
    id.computer = L"laptop";
    EXPECT_FALSE(bk::is_permitted(settings_, id));

    // All three tests must pass.
    id.computer = L"SERVER2";
    id.username = L"buh";
    settings_.exclude_permission.workplaces = {5};
    id.workplace = 5;
    EXPECT_FALSE(bk::is_permitted(settings_, id));
    id.workplace = 4;
    EXPECT_TRUE(bk::is_permitted(settings_, id));
}

TEST_F(AutoBackup, ForbiddenMeansNothingToDoForEveryCaller) {
    settings_.options = bk::OPT_ON_ENTER | bk::OPT_ON_EXIT | bk::OPT_BY_CLOCK;
    settings_.exclude_permission.logins = {L"guest"};
    bk::HostIdentity id = host();
    id.username = L"guest";
    for (uint32_t flags : {0u, BKF_INTERACTIVE, BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_ENTERING),
                           BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_LEAVING),
                           BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_CLOCK)})
        EXPECT_EQ(decide(flags, id), BK_NOT_DONE) << flags;
}

TEST_F(AutoBackup, CallByTheUserTakesTheDefaultKeepTimeAndAsks) {
    settings_.options = 0;  // the automatic switches do not matter here
    for (uint32_t flags : {0u, BKF_INTERACTIVE, BKF_MAKE_EVENT(BK_EVENT_ENTERING),  // a kind without BKF_AUTOMATIC
                           BKF_AUTOMATIC | BKF_MAKE_EVENT(0x05), BKF_AUTOMATIC}) {
        EXPECT_EQ(decide(flags), BK_DONE) << flags;
        EXPECT_TRUE(ask_first_);
        EXPECT_EQ(run_, (bk::AutoParams{L"from caller", 90, 0, {}}));
    }
}

TEST_F(AutoBackup, EnteringAndLeaving) {
    settings_.enter_param = bk::AutoParams{L"вход", 7, bk::AUTO_ONCE_A_DAY, {L"docs"}};
    settings_.exit_param = bk::AutoParams{L"выход", 30, bk::AUTO_DB_EXCLUSIVE, {}};
    struct Case {
        uint32_t kind;
        uint32_t on, on_db_change, confirm;
        const bk::AutoParams& params;
    };
    const Case cases[] = {
        {BK_EVENT_ENTERING, bk::OPT_ON_ENTER, bk::OPT_ENTER_ON_DB_CHANGE, bk::OPT_ENTER_CONFIRM, settings_.enter_param},
        {BK_EVENT_LEAVING, bk::OPT_ON_EXIT, bk::OPT_EXIT_ON_DB_CHANGE, bk::OPT_EXIT_CONFIRM, settings_.exit_param},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        const uint32_t event = BKF_AUTOMATIC | BKF_MAKE_EVENT(c.kind);
        // Switched off, even with every other switch of both events on.
        settings_.options = (bk::OPT_ON_ENTER | bk::OPT_ON_EXIT | bk::OPT_ENTER_ON_DB_CHANGE |
                             bk::OPT_EXIT_ON_DB_CHANGE | bk::OPT_BY_CLOCK) & ~c.on;
        EXPECT_EQ(decide(event), BK_NOT_DONE);

        settings_.options = c.on;
        EXPECT_EQ(decide(event), BK_DONE);
        EXPECT_EQ(run_, c.params);
        EXPECT_FALSE(ask_first_);
        // A change of database needs its own switch.
        EXPECT_EQ(decide(event | BKF_DB_CHANGE), BK_NOT_DONE);
        settings_.options = c.on | c.on_db_change | c.confirm;
        EXPECT_EQ(decide(event | BKF_DB_CHANGE), BK_DONE);
        EXPECT_TRUE(ask_first_);
        EXPECT_EQ(run_, c.params);
        // The database switch alone does not switch the event on.
        settings_.options = c.on_db_change;
        EXPECT_EQ(decide(event | BKF_DB_CHANGE), BK_NOT_DONE);
    }
}

TEST_F(AutoBackup, ClockEventNeedsItsSwitchAndNeverAsks) {
    settings_.timer_param = bk::AutoParams{L"по часам", 14, 0, {L"big"}};
    settings_.options = bk::OPT_ON_ENTER | bk::OPT_ON_EXIT;
    g_host_params.clear();  // switched off, the check does not even need the root folder
    EXPECT_EQ(clock_event(), BK_NOT_DONE);

    g_host_params = {{"root_path", dir_.path().string()}};
    settings_.options = bk::OPT_BY_CLOCK | bk::OPT_ENTER_CONFIRM | bk::OPT_EXIT_CONFIRM;
    rkit::clock::set_fixed(at(10, 12));
    EXPECT_EQ(clock_event(), BK_DONE);  // no catalogue yet
    EXPECT_FALSE(ask_first_);
    EXPECT_EQ(run_, settings_.timer_param);
    rkit::clock::set_fixed(at(10, 11, 59));
    EXPECT_EQ(clock_event(), BK_NOT_DONE);
}

TEST_F(AutoBackup, DueOnceADayAfterTheSaveHour) {
    settings_.options = bk::OPT_BY_CLOCK;
    settings_.save_hour = 12;
    struct Case {
        rkit::timestamp last, now;
        uint32_t result;
    };
    const Case cases[] = {
        {at(9, 15), at(10, 11, 59), BK_NOT_DONE},  // yesterday after the hour, not yet time
        {at(9, 15), at(10, 12, 0), BK_DONE},
        {at(10, 9), at(10, 13), BK_DONE},          // today, but before the hour: does not count
        {at(10, 12, 30), at(10, 13), BK_NOT_DONE},  // today after the hour
        {at(10, 12, 0), at(10, 23, 59), BK_NOT_DONE},
        {at(10, 12, 30), at(11, 12, 0), BK_DONE},   // the next day
    };
    for (const Case& c : cases) {
        write_catalogue({backup_at(c.last)});
        rkit::clock::set_fixed(c.now);
        EXPECT_EQ(clock_event(), c.result) << c.last.get() << " " << c.now.get();
        EXPECT_EQ(bk::clock_backup_due(rkit::time(12, 0, 0), c.last, c.now), c.result == BK_DONE);
    }
}

TEST_F(AutoBackup, ClockLooksAtTheNewestBackupOfAnyDatabase) {
    settings_.options = bk::OPT_BY_CLOCK;
    settings_.save_hour = 8;
    rkit::clock::set_fixed(at(10, 9));
    // Not in time order in the file; the newest is another database's.
    write_catalogue({backup_at(at(10, 8, 30), L"other.shp"), backup_at(at(9, 10))});
    EXPECT_EQ(clock_event(), BK_NOT_DONE);
    // An absolute backup folder is used as it is.
    settings_.backup_folder = (dir_ / "elsewhere").wstring();
    EXPECT_EQ(clock_event(), BK_DONE);
}

TEST_F(AutoBackup, ClockCacheIsReadOnceADay) {
    settings_.options = bk::OPT_BY_CLOCK;
    settings_.save_hour = 12;
    EXPECT_TRUE(bk::clock_precheck());  // nothing known yet

    write_catalogue({backup_at(at(10, 12, 30))});
    rkit::clock::set_fixed(at(10, 13));
    EXPECT_EQ(clock_event(), BK_NOT_DONE);
    // The rest of the day the cache answers; the catalogue is not read again.
    std::filesystem::remove_all(dir_ / "backup");
    rkit::clock::set_fixed(at(10, 18));
    EXPECT_FALSE(bk::clock_precheck());
    rkit::clock::set_fixed(at(11, 11, 59));
    EXPECT_FALSE(bk::clock_precheck());
    // The next day after the hour the cache says due; the full check reads
    // the catalogue again and finds the backup someone made meanwhile.
    rkit::clock::set_fixed(at(11, 12, 5));
    EXPECT_TRUE(bk::clock_precheck());
    write_catalogue({backup_at(at(11, 12, 1))});
    EXPECT_EQ(clock_event(), BK_NOT_DONE);
    EXPECT_FALSE(bk::clock_precheck());

    // A backup clears the cache: the next event reads the catalogue.
    bk::clear_clock_cache();
    EXPECT_TRUE(bk::clock_precheck());

    // Changed settings take effect once the cache is cleared.
    settings_.save_hour = 14;
    EXPECT_EQ(clock_event(), BK_NOT_DONE);
    rkit::clock::set_fixed(at(12, 13));
    EXPECT_FALSE(bk::clock_precheck());
    rkit::clock::set_fixed(at(12, 14));
    EXPECT_TRUE(bk::clock_precheck());
}

TEST_F(AutoBackup, UnreadableCatalogueFailsAndKeepsTheCache) {
    settings_.options = bk::OPT_BY_CLOCK;
    write_catalogue({backup_at(at(10, 12, 30))});
    rkit::clock::set_fixed(at(10, 13));
    EXPECT_EQ(clock_event(), BK_NOT_DONE);

    break_catalogue();
    bk::clear_errors();
    EXPECT_EQ(clock_event(), BK_FAILED);
    const std::vector<std::string> messages = bktest::error_messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages.back().find("Ошибка загрузки списка резервных копий из файла:"), std::string::npos);
    EXPECT_FALSE(bk::clock_precheck());  // still what the last good read found

    // The same failure straight after a clear leaves the cache empty.
    bk::clear_clock_cache();
    EXPECT_EQ(bk::clock_check(host_params, settings_), BK_FAILED);
    EXPECT_TRUE(bk::clock_precheck());
}

TEST_F(AutoBackup, ExclusiveAccess) {
    // The flag comes with the event's parameters.
    settings_.options = bk::OPT_ON_EXIT | bk::OPT_ON_ENTER;
    settings_.exit_param.flags = bk::AUTO_DB_EXCLUSIVE;
    g_host_params["db_exclusive_acc"] = "0";
    ASSERT_EQ(decide(BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_LEAVING)), BK_DONE);
    EXPECT_TRUE(bk::lacks_exclusive_access(run_, host_params));
    g_host_params.erase("db_exclusive_acc");  // a host that says nothing has it
    EXPECT_FALSE(bk::lacks_exclusive_access(run_, host_params));
    g_host_params["db_exclusive_acc"] = "0";
    ASSERT_EQ(decide(BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_ENTERING)), BK_DONE);
    EXPECT_FALSE(bk::lacks_exclusive_access(run_, host_params));
}

TEST_F(AutoBackup, OnceADay) {
    const rkit::timestamp now = at(10, 18);
    EXPECT_FALSE(bk::backup_made_today(backup_folder(), host(), now));  // no catalogue
    write_catalogue({backup_at(at(9, 23, 59)), backup_at(at(10, 1), L"other.shp")});
    EXPECT_FALSE(bk::backup_made_today(backup_folder(), host(), now));
    bk::BackupRecord other_version = backup_at(at(10, 2));
    other_version.version_type = L"7.1";
    write_catalogue({backup_at(at(9, 23, 59)), other_version});
    EXPECT_FALSE(bk::backup_made_today(backup_folder(), host(), now));
    bk::BackupRecord same = backup_at(at(10, 0, 1));
    same.version_type = L"7.1, 7.2";
    write_catalogue({same});
    EXPECT_TRUE(bk::backup_made_today(backup_folder(), host(), now));
    break_catalogue();
    EXPECT_ANY_THROW(bk::backup_made_today(backup_folder(), host(), now));
}

}  // namespace
