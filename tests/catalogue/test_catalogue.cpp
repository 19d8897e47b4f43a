// backup_list.xml as written, hand-written and damaged; keep times and the
// week and month rules in memory; the catalogue step of a backup on real
// folders: deletion, a year of daily backups, workplaces finishing together.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "core/error_list.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_lock.h"
#include "records.h"
#include "rkit/clock.h"
#include "xml/xml.h"
#include "support/temp_dir.h"

using namespace bk;
using cattest::at;
using cattest::record;
namespace fs = std::filesystem;

namespace {

std::vector<std::wstring> names(const Catalogue& records) {
    std::vector<std::wstring> out;
    for (const BackupRecord& r : records) out.push_back(r.filename);
    return out;
}

int keeptime_of(const Catalogue& records, const std::wstring& filename) {
    for (const BackupRecord& r : records)
        if (r.filename == filename) return r.keeptime;
    ADD_FAILURE() << "no record";
    return -100;
}

BackupSettings rules(uint32_t options, int week = 30, int month = 365) {
    BackupSettings s;
    s.options = options;
    s.last_at_week_keeptime = week;
    s.last_at_month_keeptime = month;
    return s;
}

std::set<std::wstring> listed(const bktest::TempDir& dir) {
    Catalogue c;
    read_catalogue(catalogue_path(dir.wpath()), c);
    std::set<std::wstring> out;
    for (const BackupRecord& r : c) out.insert(r.filename);
    return out;
}

std::vector<std::wstring> in_order(const bktest::TempDir& dir) {
    Catalogue c;
    read_catalogue(catalogue_path(dir.wpath()), c);
    return names(c);
}

std::set<std::wstring> archives_on_disk(const bktest::TempDir& dir) {
    std::set<std::wstring> out;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().extension() == ".7z") out.insert(entry.path().filename().wstring());
    return out;
}

BackupRecord new_backup(const rkit::timestamp& time, const bktest::TempDir& dir, const std::wstring& name,
                        int keeptime = 7) {
    bktest::write_file(dir.path() / name, "7z");
    return record(time, keeptime, name);
}

std::wstring day_name(int i) { return L"old" + std::to_wstring(i) + L".7z"; }

}  // namespace

TEST(CatalogueFile, WritesAttributesInOrderAndReadsThemBack) {
    bktest::TempDir dir;
    BackupRecord full = record(at(5, 3, 2024, 14, 7), 30, L"архив 1.7z");
    full.comment = L"перед закрытием года";
    full.identity.workplace = 12;
    full.identity.username = L"Иванов";
    full.identity.computer = L"buh-1";
    const Catalogue written{full, record(at(1, 1, 2023), KEEP_FOREVER, L"b.rar")};
    const std::wstring path = catalogue_path(dir.wpath());
    write_catalogue(path, written);
    EXPECT_NE(bktest::read_file(dir / "backup_list.xml")
                  .find("<root><items><backup date=\"05.03.2024\" time=\"14:07:00\" keeptime=\"30\" "
                        "filename=\"архив 1.7z\" comment=\"перед закрытием года\" version_type=\"7.2\" "
                        "version_family=\"pro\" workplace=\"12\" dbname=\"base.shp\" username=\"Иванов\" "
                        "workstation=\"buh-1\"/>"),
              std::string::npos);
    Catalogue read{record(at(1, 1, 2000), 1, L"left over")};
    read_catalogue(path, read);
    EXPECT_EQ(read, written);
}

TEST(CatalogueFile, HandWrittenEntriesKeepDefaultsForWhatIsMissing) {
    bktest::TempDir dir;
    bktest::write_file(dir / "backup_list.xml",
                       "<?xml version=\"1.0\"?>\n<root>\n  <items>\n"
                       "    <entry date=\"02.02.2022\" time=\"08:30:15\" filename=\"a.7z\"/>\n"
                       "    <!-- kept by hand -->\n"
                       "    <backup keeptime=\"7\" comment=\"no date\"/>\n"
                       "    <backup date=\"31.02.2022\" time=\"25:00:00\" keeptime=\"90\"/>\n"
                       "  </items>\n</root>\n");
    Catalogue read;
    read_catalogue(catalogue_path(dir.wpath()), read);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].time.get(), at(2, 2, 2022, 8, 30).get() + 15000);
    EXPECT_EQ(read[0].keeptime, KEEP_FOREVER);
    EXPECT_EQ(read[0].filename, L"a.7z");
    EXPECT_EQ(read[1].keeptime, 7);
    EXPECT_EQ(read[1].comment, L"no date");
    // No date, or text that is no date, keeps the default moment, older than any backup.
    EXPECT_EQ(read[1].time, BackupRecord().time);
    EXPECT_EQ(read[2].time, BackupRecord().time);
    EXPECT_LT(read[2].time, at(1, 1, 1990));

    bktest::write_file(dir / "backup_list.xml", "<?xml version=\"1.0\"?><root><other/></root>");
    read_catalogue(catalogue_path(dir.wpath()), read);
    EXPECT_TRUE(read.empty());
}

TEST(KeepTime, ExpiryAndTexts) {
    const BackupRecord week = record(at(31, 12, 2023, 23, 59), 7, L"b");
    EXPECT_FALSE(is_expired(week, rkit::date(7, 1, 2024)));
    EXPECT_TRUE(is_expired(week, rkit::date(8, 1, 2024)));
    EXPECT_FALSE(is_expired(week, rkit::date(1, 1, 2020)));  // made "after" today
    // Only -1 is forever; another negative keep time has run out on its first day.
    EXPECT_TRUE(is_expired(record(at(1, 1, 2030), -2, L"d"), rkit::date(1, 1, 2030)));

    rkit::clock::set_fixed(at(20, 6, 2024, 9, 0));
    EXPECT_EQ(keep_time_text(record(at(1, 1, 2020), KEEP_FOREVER, L"a")), L"вечно");
    EXPECT_EQ(keep_time_text(record(at(15, 6, 2024), 7, L"a")), L"7 дней");
    EXPECT_EQ(keep_time_text(record(at(1, 5, 2024), 30, L"a")), L"30 дней (истек)");
    rkit::clock::reset();
    EXPECT_EQ(creation_time_text(record(at(5, 3, 2024, 7, 4), 7, L"a")), L"05.03.2024 07:04");
}

// The calendar rules over a whole year are checked on disk (AYearOfDailyBackups);
// here what that year does not meet.
TEST(Extension, PerDatabaseNeverLowerAndToForever) {
    // Week of 10-16 June 2024 is over on the 18th; the 17th starts the current week.
    // Another version is another database; a family list sharing an item is not.
    Catalogue c{record(at(12, 6, 2024), 7, L"wed"), record(at(13, 6, 2024), 7, L"thu"),
                record(at(14, 6, 2024), 7, L"fri"), record(at(11, 6, 2024), 7, L"other tue", L"other.shp"),
                record(at(15, 6, 2024), 7, L"7.1 sat"), record(at(15, 6, 2024), 7, L"pro+home sat"),
                record(at(17, 6, 2024), 7, L"mon"), record(at(18, 6, 2024), 7, L"tue")};
    c[4].identity.ver_type = L"7.1";
    c[5].identity.ver_family = L" PRO , home";
    extend_keep_times(rules(OPT_KEEP_LAST_OF_WEEK), at(18, 6, 2024, 12), c);
    EXPECT_EQ(names(c), (std::vector<std::wstring>{L"other tue", L"wed", L"thu", L"fri", L"7.1 sat",
                                                   L"pro+home sat", L"mon", L"tue"}));
    for (const auto& [name, keep] : {std::pair{L"wed", 7}, {L"thu", 7}, {L"fri", 7}, {L"other tue", 30},
                                     {L"7.1 sat", 30}, {L"pro+home sat", 30}, {L"mon", 7}, {L"tue", 7}})
        EXPECT_EQ(keeptime_of(c, name), keep) << name;
    // Rules never lower a keep time; when nothing changes the order stays.
    c = {record(at(14, 6, 2024), 60, L"b"), record(at(12, 6, 2024), KEEP_FOREVER, L"a")};
    extend_keep_times(rules(OPT_KEEP_LAST_OF_WEEK | OPT_KEEP_LAST_OF_MONTH, 30, 45), at(1, 7, 2024), c);
    EXPECT_EQ(keeptime_of(c, L"b"), 60);
    EXPECT_EQ(names(c), (std::vector<std::wstring>{L"b", L"a"}));
    // Extension to forever lists the records for upload.
    c = {record(at(7, 6, 2024), 7, L"fri 1"), record(at(14, 6, 2024), 7, L"fri 2"),
         record(at(30, 6, 2024), 7, L"sun 30"), record(at(2, 7, 2024), 7, L"now")};
    Catalogue eternal;
    extend_keep_times(rules(OPT_KEEP_LAST_OF_WEEK | OPT_KEEP_LAST_OF_MONTH, KEEP_FOREVER, 365), at(2, 7, 2024),
                      c, &eternal);
    EXPECT_EQ(names(eternal), (std::vector<std::wstring>{L"fri 1", L"fri 2", L"sun 30"}));
    EXPECT_EQ(keeptime_of(c, L"sun 30"), KEEP_FOREVER);  // the month rule does not lower it to 365
    EXPECT_EQ(keeptime_of(c, L"now"), 7);
}

// The catalogue is written in time order, whether records were dropped or not.
TEST(UpdateCatalogue, DeletesTheOldestExpiredArchivesBeyondTheLimit) {
    bktest::TempDir dir;
    Catalogue c{new_backup(at(6, 1, 2024, 12), dir, L"forever.7z", KEEP_FOREVER)};
    for (int i : {5, 1, 12, 2, 7, 3, 4, 6, 8, 9, 10, 11}) c.push_back(new_backup(at(i, 1, 2024), dir, day_name(i)));
    write_catalogue(catalogue_path(dir.wpath()), c);
    BackupSettings settings;
    settings.expired_limit = 12;
    update_catalogue(settings, dir.wpath(), at(1, 3, 2024), new_backup(at(1, 3, 2024), dir, L"new0.7z"));
    std::vector<std::wstring> order;
    for (int i = 1; i <= 12; ++i) order.push_back(day_name(i));
    order.insert(order.begin() + 6, L"forever.7z");
    order.push_back(L"new0.7z");
    EXPECT_EQ(in_order(dir), order);

    settings.expired_limit = 10;
    update_catalogue(settings, dir.wpath(), at(2, 3, 2024), new_backup(at(2, 3, 2024), dir, L"new1.7z"));
    order.erase(order.begin(), order.begin() + 2);
    order.push_back(L"new1.7z");
    EXPECT_EQ(in_order(dir), order);
    EXPECT_EQ(std::set<std::wstring>(order.begin(), order.end()), archives_on_disk(dir));

    // With no limit every expired archive goes, forever ones never do.
    settings.expired_limit = 0;
    update_catalogue(settings, dir.wpath(), at(1, 1, 2030), new_backup(at(1, 1, 2030), dir, L"new2.7z"));
    EXPECT_EQ(archives_on_disk(dir), (std::set<std::wstring>{L"forever.7z", L"new2.7z"}));
    EXPECT_EQ(listed(dir), archives_on_disk(dir));
}

TEST(UpdateCatalogue, DroppedRecordsLeaveTheListWhateverHappensToTheirFiles) {
    bktest::TempDir dir;
    const fs::path backups = dir.path() / "backups";
    bktest::write_file(dir.path() / "outside.7z", "keep me");
    fs::create_directories(backups / "locked.7z");  // a folder: unlink cannot remove it
    bktest::write_file(backups / "reused.7z", "new archive");
    Catalogue c{record(at(1, 1, 2024), 7, L"locked.7z"), record(at(2, 1, 2024), 7, L"../outside.7z"),
                record(at(3, 1, 2024), 7, L"missing.7z"), record(at(4, 1, 2024), 7, L"reused.7z"),
                record(at(5, 1, 2024), 7, L"")};
    write_catalogue(catalogue_path(backups.wstring()), c);
    BackupSettings settings;
    settings.expired_limit = 0;
    BackupRecord made = record(at(1, 3, 2024), 7, L"reused.7z");

    update_catalogue(settings, backups.wstring(), at(1, 3, 2024), made);
    Catalogue read;
    read_catalogue(catalogue_path(backups.wstring()), read);
    EXPECT_EQ(read, Catalogue{made});
    EXPECT_TRUE(fs::is_directory(backups / "locked.7z"));
    EXPECT_EQ(bktest::read_file(dir.path() / "outside.7z"), "keep me");
    EXPECT_EQ(bktest::read_file(backups / "reused.7z"), "new archive");
}

// A catalogue that cannot be read is never replaced by one holding only the new backup.
TEST(UpdateCatalogue, AnUnreadableCatalogueFailsTheBackupAndStays) {
    bktest::TempDir dir;
    bktest::write_file(dir / "old.7z", "7z");
    const BackupRecord made = new_backup(at(1, 3, 2024), dir, L"new.7z");
    BackupSettings settings;
    settings.expired_limit = 0;  // a record misread from the broken file would be deleted at once
    for (const std::string text :
         {"<?xml version=\"1.0\"?><root><items><backup filename=\"old.7z\" date=\"01.01.2020\" keeptime=\"7\"",
          "<root><items><backup filename=\"old.7z\" date=\"01.01.2020\" keeptime=\"seven\"/></items></root>", ""}) {
        bktest::write_file(dir / "backup_list.xml", text);
        std::string message;  // names the file
        try {
            update_catalogue(settings, dir.wpath(), at(1, 3, 2024), made);
            ADD_FAILURE() << "no error for " << text;
        } catch (...) {
            message = exception_message(std::current_exception());
        }
        EXPECT_NE(message.find((dir / "backup_list.xml").string() + ": "), std::string::npos) << message;
        EXPECT_EQ(bktest::read_file(dir / "backup_list.xml"), text);
        EXPECT_TRUE(fs::exists(dir / "old.7z"));
    }
}

// Daily backups through 2023 kept for 7 days, the last of each week for 30,
// of each month for 365, every 50th forever, 10 expired ones allowed. The
// expected result is worked out from the calendar alone.
TEST(UpdateCatalogue, AYearOfDailyBackups) {
    bktest::TempDir dir;
    BackupSettings settings;
    settings.options = OPT_KEEP_LAST_OF_WEEK | OPT_KEEP_LAST_OF_MONTH;
    settings.expired_limit = 10;
    const rkit::date first(1, 1, 2023), last(31, 12, 2023);  // both Sundays
    std::map<std::wstring, int> expected;                     // name -> keep time
    std::vector<std::wstring> expired;                        // oldest first
    for (int i = 0; first.add_days(i) <= last; ++i) {
        const rkit::date d = first.add_days(i);
        const int made_for = i % 50 == 0 ? KEEP_FOREVER : 7;
        update_catalogue(settings, dir.wpath(), at(d.day(), d.month(), d.year()),
                         new_backup(at(d.day(), d.month(), d.year()), dir, day_name(i), made_for));
        int keep = made_for;
        if (keep != KEEP_FOREVER && d.day_of_week() == 0 && d < last.add_days(-6)) keep = 30;
        if (keep != KEEP_FOREVER && d.add_days(1).day() == 1 && d.month() != last.month()) keep = 365;
        if (keep == KEEP_FOREVER || last - d <= keep)
            expected[day_name(i)] = keep;
        else
            expired.push_back(day_name(i));
    }
    for (size_t i = expired.size() - 10; i < expired.size(); ++i) expected[expired[i]] = 7;

    Catalogue read;
    read_catalogue(catalogue_path(dir.wpath()), read);
    std::map<std::wstring, int> got;
    std::set<std::wstring> names;
    for (const BackupRecord& r : read) got[r.filename] = r.keeptime, names.insert(r.filename);
    EXPECT_EQ(got, expected);
    EXPECT_EQ(got.size(), read.size());
    EXPECT_EQ(archives_on_disk(dir), names);
    // Month ends January to November, less 31 May, which is kept forever.
    EXPECT_EQ(std::count_if(read.begin(), read.end(), [](const BackupRecord& r) { return r.keeptime == 365; }), 10);
}

TEST(UpdateCatalogue, WorkplacesFinishingTogetherLoseNoRecord) {
    bktest::TempDir dir;
    BackupSettings settings;
    constexpr int processes = 3, threads = 2, runs = 40;
    auto run = [&](int who) {
        for (int i = 0; i < runs; ++i) {
            BackupRecord r = record(at(1, 3, 2024, 10, i), KEEP_FOREVER, L"w" + std::to_wstring(who) + L"_" +
                                                                          std::to_wstring(i) + L".7z");
            r.identity.workplace = who;
            update_catalogue(settings, dir.wpath(), r.time, r);
        }
    };

    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            try {
                run(p);
            } catch (...) {
                _exit(1);
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) workers.emplace_back(run, processes + t);
    for (std::thread& w : workers) w.join();
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    // Every name is distinct: all of them are there.
    EXPECT_EQ(listed(dir).size(), size_t{(processes + threads) * runs});
}

TEST(UpdateCatalogue, LockFileIsOpenToEveryWorkplaceUser) {
    bktest::TempDir dir;
    const mode_t old_mask = ::umask(077);
    update_catalogue(BackupSettings(), dir.wpath(), at(1, 3, 2024), record(at(1, 3, 2024), 7, L"a.7z"));
    ::umask(old_mask);
    const fs::path lock = dir.path() / ".backup_list.xml.lock";
    ASSERT_TRUE(fs::exists(lock));
    EXPECT_EQ(fs::status(lock).permissions() & fs::perms::all, fs::perms(0666));
    EXPECT_EQ(listed(dir), std::set<std::wstring>{L"a.7z"});
}

// A file system without locks (some FUSE and NFS mounts) refuses F_OFD_SETLK
// with one of these errors; the catalogue is then written unlocked, at once.
// The refusal comes from a seccomp filter on a thread of the test's own.
TEST(UpdateCatalogue, AFileSystemWithoutLocksIsWrittenUnlocked) {
    bktest::TempDir dir;
    for (const uint32_t error : {ENOLCK, EINVAL, EOPNOTSUPP}) {
        const std::string no_filter = "no seccomp filter";
        std::string failure = no_filter;
        std::thread([&] {
            sock_filter refuse_locks[] = {
                BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fcntl, 0, 3),
                BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[1])),
                BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, F_OFD_SETLK, 0, 1),
                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | error),
                BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            };
            const sock_fprog program{std::size(refuse_locks), refuse_locks};
            if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program))
                return;
            CatalogueLock::set_wait_limit(std::chrono::milliseconds(300));  // nothing to wait for
            try {
                update_catalogue(BackupSettings(), dir.wpath(), at(1, 3, 2024),
                                 record(at(1, 3, 2024), 7, std::to_wstring(error) + L".7z"));
                failure.clear();
            } catch (...) {
                failure = exception_message(std::current_exception());
            }
        }).join();
        if (failure == no_filter) GTEST_SKIP() << "seccomp filters cannot be set here";
        EXPECT_EQ(failure, "") << error;
    }
    CatalogueLock::set_wait_limit(std::chrono::seconds(60));
    EXPECT_EQ(listed(dir).size(), 3u);
}
