// Whether a backup is due: permissions, the automatic events, the clock rule
// and its cache, once a day and exclusive access.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "core/error_list.h"
#include "catalogue/catalogue.h"
#include "rkit/clock.h"
#include "rkit/text.h"
#include "sched/auto_backup.h"
#include "support/error_messages.h"
#include "support/temp_dir.h"
#include "support/values.h"

namespace {

std::map<std::string, std::string> g_host_params;

int32_t BK_CALL host_params(const char* key, char* buffer, int32_t size) {
    const auto it = g_host_params.find(key);
    if (it == g_host_params.end()) return -1;
    std::memcpy(buffer, it->second.data(), std::min<size_t>(static_cast<size_t>(size), it->second.size()));
    return static_cast<int32_t>(it->second.size());
}

rkit::timestamp at(int day, int hour, int minute = 0) { return bktest::moment(day, 3, 2024, hour, minute); }

bk::HostIdentity host(const std::wstring& dbname = L"base.shp") { return {L"7.2", L"pro", 0, dbname, L"", L""}; }
bk::BackupRecord backup_at(const rkit::timestamp& time, const std::wstring& dbname = L"base.shp") {
    return {time, 7, L"b.7z", L"", host(dbname)};
}

const uint32_t kEnter = BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_ENTERING);
const uint32_t kLeave = BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_LEAVING);
const uint32_t kClock = BKF_AUTOMATIC | BKF_MAKE_EVENT(BK_EVENT_CLOCK);

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

    bktest::TempDir dir_;
    bk::BackupSettings settings_;
    bk::AutoParams run_;
    bool ask_first_ = false;
};

// Workplaces by number (0 and -1: none known), logins exactly, computers
// without regard to case (Cyrillic too); the exclude list wins. Forbidden
// means nothing to do, for every caller.
TEST_F(AutoBackup, Permissions) {
    settings_.include_permission = {{1, 2}, {L"Администратор", L"buh"}, {L"SERVER2", L"Бух-ПК"}};
    settings_.exclude_permission = {{2}, {}, {L"бух-пк"}};
    settings_.options = bk::OPT_ON_ENTER | bk::OPT_ON_EXIT | bk::OPT_BY_CLOCK;
    const std::tuple<int, std::wstring, std::wstring, bool> cases[] = {
        {1, L"buh", L"server2", true},          {2, L"buh", L"SERVER2", false}, {3, L"buh", L"SERVER2", false},
        {0, L"", L"SERVER2", true},             {-1, L"buh", L"SERVER2", true}, {1, L"администратор", L"SERVER2", false},
        {1, L"Администратор", L"SERVER2", true}, {1, L"buh", L"БУХ-ПК", false}, {1, L"buh", L"laptop", false}};
    for (const auto& [workplace, login, computer, allowed] : cases) {
        const bk::HostIdentity id{L"7.2", L"pro", workplace, L"base.shp", login, computer};
        EXPECT_EQ(bk::is_permitted(settings_, id), allowed) << workplace << " " << allowed;
        if (allowed) continue;
        for (uint32_t flags : {0u, BKF_INTERACTIVE, kEnter, kLeave, kClock})
            EXPECT_EQ(decide(flags, id), BK_NOT_DONE) << flags;
    }
}

// Calls by the user (any kind without BKF_AUTOMATIC, or an unknown kind) take the
// default keep time and ask; entering and leaving need their own switches.
TEST_F(AutoBackup, WhichCallBacksUpWithWhatParameters) {
    settings_.enter_param = bk::AutoParams{L"вход", 7, bk::AUTO_ONCE_A_DAY, {L"docs"}};
    settings_.exit_param = bk::AutoParams{L"выход", 30, bk::AUTO_DB_EXCLUSIVE, {}};
    const bk::AutoParams by_user{L"from caller", 90, 0, {}}, *enter = &settings_.enter_param,
        *leave = &settings_.exit_param;
    const uint32_t all = bk::OPT_ON_ENTER | bk::OPT_ON_EXIT | bk::OPT_ENTER_ON_DB_CHANGE | bk::OPT_EXIT_ON_DB_CHANGE |
                         bk::OPT_BY_CLOCK;
    const uint32_t on_both = bk::OPT_ON_ENTER | bk::OPT_ON_EXIT;
    struct Case {
        uint32_t options, flags;
        const bk::AutoParams* params;  // none: not done
        bool ask;
    };
    const Case cases[] = {
        {0, BKF_INTERACTIVE, &by_user, true},
        {0, BKF_MAKE_EVENT(BK_EVENT_ENTERING), &by_user, true},
        {0, BKF_AUTOMATIC | BKF_MAKE_EVENT(0x05), &by_user, true},
        {all & ~bk::OPT_ON_ENTER, kEnter, nullptr, false},
        {all & ~bk::OPT_ON_EXIT, kLeave, nullptr, false},
        {bk::OPT_ON_ENTER, kEnter, enter, false},
        {bk::OPT_ON_EXIT, kLeave, leave, false},
        {on_both, kEnter | BKF_DB_CHANGE, nullptr, false},
        {on_both, kLeave | BKF_DB_CHANGE, nullptr, false},
        {bk::OPT_ENTER_ON_DB_CHANGE, kEnter | BKF_DB_CHANGE, nullptr, false},
        {bk::OPT_EXIT_ON_DB_CHANGE, kLeave | BKF_DB_CHANGE, nullptr, false},
        {bk::OPT_ON_ENTER | bk::OPT_ENTER_ON_DB_CHANGE | bk::OPT_ENTER_CONFIRM, kEnter | BKF_DB_CHANGE, enter, true},
        {bk::OPT_ON_EXIT | bk::OPT_EXIT_ON_DB_CHANGE | bk::OPT_EXIT_CONFIRM, kLeave | BKF_DB_CHANGE, leave, true},
    };
    for (const Case& c : cases) {
        settings_.options = c.options;
        EXPECT_EQ(decide(c.flags), c.params ? BK_DONE : BK_NOT_DONE) << c.options << " " << c.flags;
        if (!c.params) continue;
        EXPECT_EQ(std::tie(run_, ask_first_), std::tie(*c.params, c.ask)) << c.options << " " << c.flags;
    }
}

TEST_F(AutoBackup, ClockIsDueOnceADayAfterTheSaveHour) {
    settings_.timer_param = bk::AutoParams{L"по часам", 14, 0, {L"big"}};
    settings_.options = bk::OPT_ON_ENTER | bk::OPT_ON_EXIT;
    g_host_params.clear();  // switched off, the check does not even need the root folder
    EXPECT_EQ(decide(kClock), BK_NOT_DONE);
    g_host_params = {{"root_path", dir_.path().string()}};
    settings_.options = bk::OPT_BY_CLOCK | bk::OPT_ENTER_CONFIRM | bk::OPT_EXIT_CONFIRM;
    settings_.save_hour = 12;
    rkit::clock::set_fixed(at(10, 12));
    EXPECT_EQ(decide(kClock), BK_DONE);  // no catalogue yet
    EXPECT_EQ(std::tie(run_, ask_first_), std::make_tuple(settings_.timer_param, false));  // the clock never asks

    const std::tuple<rkit::timestamp, rkit::timestamp, uint32_t> cases[] = {  // last backup, now, result
        {at(9, 15), at(10, 11, 59), BK_NOT_DONE},  // yesterday after the hour, not yet time
        {at(9, 15), at(10, 12, 0), BK_DONE},
        {at(10, 9), at(10, 13), BK_DONE},  // today, but before the hour: does not count
        {at(10, 12, 30), at(10, 13), BK_NOT_DONE},
        {at(10, 12, 0), at(10, 23, 59), BK_NOT_DONE},
        {at(10, 12, 30), at(11, 12, 0), BK_DONE},
    };
    for (const auto& [last, now, result] : cases) {
        write_catalogue({backup_at(last)});
        rkit::clock::set_fixed(now);
        EXPECT_EQ(decide(kClock), result) << last.get() << " " << now.get();
    }

    // The newest backup of any database counts, wherever it stands in the file.
    settings_.save_hour = 8;
    rkit::clock::set_fixed(at(10, 9));
    write_catalogue({backup_at(at(10, 8, 30), L"other.shp"), backup_at(at(9, 10))});
    EXPECT_EQ(decide(kClock), BK_NOT_DONE);
}

TEST_F(AutoBackup, ClockCacheIsReadOnceADay) {
    settings_.options = bk::OPT_BY_CLOCK;
    settings_.save_hour = 12;
    EXPECT_TRUE(bk::clock_precheck());  // nothing known yet
    write_catalogue({backup_at(at(10, 12, 30))});
    rkit::clock::set_fixed(at(10, 13));
    EXPECT_EQ(decide(kClock), BK_NOT_DONE);
    // Until the next day's hour the cache answers, whatever happens to the catalogue.
    std::filesystem::remove_all(dir_ / "backup");
    rkit::clock::set_fixed(at(11, 11, 59));
    EXPECT_FALSE(bk::clock_precheck());
    // Then it says due; the full check reads the catalogue again and finds
    // the backup someone made meanwhile.
    rkit::clock::set_fixed(at(11, 12, 5));
    EXPECT_TRUE(bk::clock_precheck());
    write_catalogue({backup_at(at(11, 12, 1))});
    EXPECT_EQ(decide(kClock), BK_NOT_DONE);
    EXPECT_FALSE(bk::clock_precheck());
    // Changed settings take effect once the cache is cleared (as a backup does).
    bk::clear_clock_cache();
    EXPECT_TRUE(bk::clock_precheck());
    settings_.save_hour = 14;
    EXPECT_EQ(decide(kClock), BK_NOT_DONE);
    rkit::clock::set_fixed(at(12, 13));
    EXPECT_FALSE(bk::clock_precheck());

    // An unreadable catalogue fails the event and keeps what the last good read found.
    break_catalogue();
    bk::clear_errors();
    EXPECT_EQ(decide(kClock), BK_FAILED);
    const std::vector<std::string> messages = bktest::error_messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(messages.back().find("Ошибка загрузки списка резервных копий из файла:"), std::string::npos);
    EXPECT_FALSE(bk::clock_precheck());
    // The same failure straight after a clear leaves the cache empty.
    bk::clear_clock_cache();
    EXPECT_EQ(bk::clock_check(host_params, settings_), BK_FAILED);
    EXPECT_TRUE(bk::clock_precheck());
}

// Once a day counts today's backups of this database and version; exclusive
// access is lacking only when the run asks for it and the host says no.
TEST_F(AutoBackup, OnceADayAndExclusiveAccess) {
    const rkit::timestamp now = at(10, 18);
    EXPECT_FALSE(bk::backup_made_today(backup_folder(), host(), now));  // no catalogue
    bk::BackupRecord other_version = backup_at(at(10, 2));
    other_version.identity.ver_type = L"7.1";
    write_catalogue({backup_at(at(9, 23, 59)), backup_at(at(10, 1), L"other.shp"), other_version});
    EXPECT_FALSE(bk::backup_made_today(backup_folder(), host(), now));
    bk::BackupRecord same = backup_at(at(10, 0, 1));
    same.identity.ver_type = L"7.1, 7.2";
    write_catalogue({same});
    EXPECT_TRUE(bk::backup_made_today(backup_folder(), host(), now));
    break_catalogue();
    EXPECT_ANY_THROW(bk::backup_made_today(backup_folder(), host(), now));

    g_host_params["db_exclusive_acc"] = "0";
    EXPECT_TRUE(bk::lacks_exclusive_access({L"", 7, bk::AUTO_DB_EXCLUSIVE, {}}, host_params));
    EXPECT_FALSE(bk::lacks_exclusive_access({L"", 7, bk::AUTO_ONCE_A_DAY, {}}, host_params));
    g_host_params.erase("db_exclusive_acc");  // a host that says nothing has it
    EXPECT_FALSE(bk::lacks_exclusive_access({L"", 7, bk::AUTO_DB_EXCLUSIVE, {}}, host_params));
}

}  // namespace
