// backup_list.xml and filelist.xml read back, hand-written and damaged; keep
// times and the week and month rules; the catalogue step of a backup on real
// folders: deletion, a year of daily backups, workplaces finishing together,
// file systems without locks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "core/com_error.h"
#include "core/error_list.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_lock.h"
#include "catalogue/manifest.h"
#include "xml/xml.h"
#include "support/temp_dir.h"
#include "support/values.h"

using namespace bk;
namespace fs = std::filesystem;

namespace {

rkit::timestamp at(int day, int month, int year, int hour = 10, int minute = 0) {
    return bktest::moment(day, month, year, hour, minute);
}

const std::string head = "<?xml version=\"1.0\"?>\n";

BackupRecord record(const rkit::timestamp& time, int keeptime, const std::wstring& filename,
                    const std::wstring& dbname = L"base.shp") {
    return {time, keeptime, filename, L"", {L"7.2", L"pro", 0, dbname, L"", L""}};
}

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

Catalogue read_back(const fs::path& folder) {
    Catalogue c;
    read_catalogue(catalogue_path(folder.wstring()), c);
    return c;
}

BackupRecord new_backup(const rkit::timestamp& time, const bktest::TempDir& dir, const std::wstring& name,
                        int keeptime = 7) {
    bktest::write_file(dir.path() / name, "7z");
    return record(time, keeptime, name);
}

}  // namespace

// What is written comes back. A hand-written entry, of any element name, is
// read by the attribute names other programs use too, and keeps the defaults
// for what it lacks: forever, and for no date, or text that is no date, a
// moment older than any backup.
TEST(CatalogueFile, WrittenReadBackAndHandWritten) {
    bktest::TempDir dir;
    const BackupRecord full{at(2, 2, 2022, 8, 30), KEEP_FOREVER, L"архив 1.7z", L"перед закрытием года",
                            {L"7.2", L"pro", 12, L"base.shp", L"Иванов", L"buh-1"}};
    const Catalogue written{full, record(at(1, 1, 2023), 30, L"b.rar")};
    write_catalogue(catalogue_path(dir.wpath()), written);
    EXPECT_EQ(read_back(dir.path()), written);

    bktest::write_file(dir / "backup_list.xml",
                       head + "<root>\n  <items>\n"
                              "    <entry date=\"02.02.2022\" time=\"08:30:15\" filename=\"архив 1.7z\" "
                              "comment=\"перед закрытием года\" version_type=\"7.2\" version_family=\"pro\" "
                              "workplace=\"12\" dbname=\"base.shp\" username=\"Иванов\" workstation=\"buh-1\"/>\n"
                              "    <!-- kept by hand -->\n"
                              "    <backup keeptime=\"7\"/>\n"
                              "    <backup date=\"31.02.2022\" time=\"25:00:00\" keeptime=\"90\"/>\n"
                              "  </items>\n</root>\n");
    Catalogue read = read_back(dir.path());
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].time.get(), full.time.get() + 15000);
    read[0].time = full.time;
    EXPECT_EQ(read[0], full);
    EXPECT_EQ(read[1].keeptime, 7);
    EXPECT_EQ(read[1].time, BackupRecord().time);
    EXPECT_EQ(read[2].time, BackupRecord().time);
    EXPECT_LT(read[2].time, at(1, 1, 1990));

    bktest::write_file(dir / "backup_list.xml", head + "<root><other/></root>");
    read_catalogue(catalogue_path(dir.wpath()), read);
    EXPECT_TRUE(read.empty());
}

// filelist.xml comes back below the extraction folder, a Windows path with
// its Windows meaning. A hand-written list may name its elements anything;
// ".." is read as written, left for the restore to refuse; a missing
// attribute fails the list (a bad number: the settings file's tests).
TEST(FileList, WrittenReadBackHandWrittenAndDamaged) {
    bktest::TempDir dir;
    const std::wstring path = (dir / "filelist.xml").wstring();
    write_filelist(path, {{L"ТЕК_ДИР", L"data\\x.dbf", L"C:\\Prog\\data\\x.dbf", 2},
                          {L"/srv/db", L"Отчёты/март 2024.txt", L"/home/бух/Отчёты/март 2024.txt", 1}});
    std::vector<FileRecord> read{{L"left", L"over", L"", 9}};
    read_filelist(path, L"/tmp/t1", read);
    EXPECT_EQ(read, (std::vector<FileRecord>{
                        {L"ТЕК_ДИР", L"data\\x.dbf", L"/tmp/t1/Prog/data/x.dbf", 2},
                        {L"/srv/db", L"Отчёты/март 2024.txt", L"/tmp/t1/home/бух/Отчёты/март 2024.txt", 1}}));

    const auto read_text = [&](const std::string& files) {
        bktest::write_file(dir / "filelist.xml", head + "<root>" + files + "</root>");
        std::vector<FileRecord> read{{L"kept", L"", L"", 1}};
        read_filelist(path, L"/x", read);
        return read;
    };
    EXPECT_EQ(read_text("<other/>").at(0).base_symbolic_name, L"kept");  // no files element: left alone
    read = read_text("<files><entry base_symbolic_name=\"ДИР_DBF\" rel_path=\"a.dbf\" arc_rel_path=\"Учёт\\a.dbf\" "
                     "ref_count=\"1\"></entry><file base_symbolic_name=\"A\" rel_path=\"a\" "
                     "arc_rel_path=\"data\\..\\..\\etc\\passwd\" ref_count=\"1\"/></files>");
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].path, L"/x/Учёт/a.dbf");
    EXPECT_EQ(read[1].path, L"/x/data/../../etc/passwd");
    EXPECT_THROW(read_text("<files><file base_symbolic_name=\"A\" arc_rel_path=\"a\" ref_count=\"1\"/></files>"),
                 xml_error);
}

// Expiry, and the extension of keep times per database (the texts of keep
// times are the restore dialog's to show; the calendar rules over a whole year
// are checked on disk by AYearOfDailyBackups, the records made eternal by the
// uploads; here what that year does not meet).
TEST(KeepTime, ExpiryAndExtensionPerDatabaseNeverLower) {
    const BackupRecord week = record(at(31, 12, 2023, 23, 59), 7, L"b");
    EXPECT_FALSE(is_expired(week, rkit::date(7, 1, 2024)));
    EXPECT_TRUE(is_expired(week, rkit::date(8, 1, 2024)));
    EXPECT_FALSE(is_expired(week, rkit::date(1, 1, 2020)));  // made "after" today
    // Only -1 is forever; another negative keep time has run out on its first day.
    EXPECT_TRUE(is_expired(record(at(1, 1, 2030), -2, L"d"), rkit::date(1, 1, 2030)));

    EXPECT_EQ(creation_time_text(record(at(5, 3, 2024, 7, 4), 7, L"a")), L"05.03.2024 07:04");

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
}

// Beyond the limit on expired backups (here one, the newest) every expired
// record leaves the catalogue, which is written in time order, whatever
// happens to the archives: a name leading out of the backup folder or used
// again by the new backup deletes nothing, nor does an archive that cannot be
// deleted. The lock file is open to every workplace user, whatever the umask
// of the first one.
TEST(UpdateCatalogue, ExpiredRecordsBeyondTheLimitLeaveTheListWhateverHappensToTheirFiles) {
    bktest::TempDir dir;
    const fs::path backups = dir.path() / "backups";
    bktest::write_file(dir.path() / "outside.7z", "keep me");
    fs::create_directories(backups / "locked.7z");  // a folder: unlink cannot remove it
    bktest::write_file(backups / "reused.7z", "new archive");
    bktest::write_file(backups / "newest expired.7z", "kept");
    bktest::write_file(backups / "old.7z", "old");
    const Catalogue c{record(at(25, 2, 2024), 7, L"recent.7z"),     record(at(7, 1, 2024), 7, L"newest expired.7z"),
                      record(at(1, 1, 2024), 7, L"locked.7z"),     record(at(2, 1, 2024), 7, L"../outside.7z"),
                      record(at(3, 1, 2024), 7, L"old.7z"),        record(at(4, 1, 2024), 7, L"reused.7z"),
                      record(at(5, 1, 2024), 7, L""),              record(at(6, 1, 2024), KEEP_FOREVER, L"eternal.7z")};
    write_catalogue(catalogue_path(backups.wstring()), c);
    BackupSettings settings;
    settings.expired_limit = 1;
    const BackupRecord made = record(at(1, 3, 2024), 7, L"reused.7z");
    const mode_t old_mask = ::umask(077);
    update_catalogue(settings, backups.wstring(), at(1, 3, 2024), made);
    ::umask(old_mask);

    EXPECT_EQ(read_back(backups), (Catalogue{c[7], c[1], c[0], made}));
    EXPECT_EQ(bktest::read_file(backups / "newest expired.7z"), "kept");
    EXPECT_FALSE(fs::exists(backups / "old.7z"));
    EXPECT_TRUE(fs::is_directory(backups / "locked.7z"));
    EXPECT_EQ(bktest::read_file(dir.path() / "outside.7z"), "keep me");
    EXPECT_EQ(bktest::read_file(backups / "reused.7z"), "new archive");
    EXPECT_EQ(fs::status(backups / ".backup_list.xml.lock").permissions() & fs::perms::all, fs::perms(0666));

    // Within the limit nothing is dropped, and a catalogue found out of order is still written in time order.
    write_catalogue(catalogue_path(backups.wstring()), {c[0], c[7], c[1]});
    settings.expired_limit = 10;
    update_catalogue(settings, backups.wstring(), at(1, 3, 2024), made);
    EXPECT_EQ(read_back(backups), (Catalogue{c[7], c[1], c[0], made}));
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
        const std::wstring name = L"day" + std::to_wstring(i) + L".7z";
        const int made_for = i % 50 == 0 ? KEEP_FOREVER : 7;
        update_catalogue(settings, dir.wpath(), at(d.day(), d.month(), d.year()),
                         new_backup(at(d.day(), d.month(), d.year()), dir, name, made_for));
        int keep = made_for;
        if (keep != KEEP_FOREVER && d.day_of_week() == 0 && d < last.add_days(-6)) keep = 30;
        if (keep != KEEP_FOREVER && d.add_days(1).day() == 1 && d.month() != last.month()) keep = 365;
        if (keep == KEEP_FOREVER || last - d <= keep)
            expected[name] = keep;
        else
            expired.push_back(name);
    }
    for (size_t i = expired.size() - 10; i < expired.size(); ++i) expected[expired[i]] = 7;

    const Catalogue read = read_back(dir.path());
    std::map<std::wstring, int> got;
    for (const BackupRecord& r : read) got[r.filename] = r.keeptime;
    EXPECT_EQ(got, expected);
    EXPECT_EQ(got.size(), read.size());
    std::set<std::wstring> on_disk;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().extension() == ".7z") on_disk.insert(entry.path().filename().wstring());
    const std::vector<std::wstring> listed = names(read);
    EXPECT_EQ(on_disk, std::set<std::wstring>(listed.begin(), listed.end()));
    // Month ends January to November, less 31 May, which is kept forever.
    EXPECT_EQ(std::count_if(read.begin(), read.end(), [](const BackupRecord& r) { return r.keeptime == 365; }), 10);
}

// Threads of one process at once (processes: the workplaces of vdbackup's
// tests): every record is kept, as each has a lock of its own.
TEST(UpdateCatalogue, ThreadsFinishingTogetherLoseNoRecord) {
    bktest::TempDir dir;
    constexpr int threads = 4, runs = 40;
    const rkit::timestamp now = at(1, 3, 2024);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < runs; ++i) {
                const std::wstring name = L"w" + std::to_wstring(t) + L"_" + std::to_wstring(i) + L".7z";
                update_catalogue(BackupSettings(), dir.wpath(), now, record(now, KEEP_FOREVER, name));
            }
        });
    for (std::thread& w : workers) w.join();
    EXPECT_EQ(read_back(dir.path()).size(), size_t{threads * runs});
}

// A file system without locks (some FUSE and NFS mounts) refuses F_OFD_SETLK
// (ENOLCK, EINVAL or EOPNOTSUPP); the catalogue is then written unlocked, at
// once. The refusal comes from a seccomp filter on a thread of the test's own.
TEST(UpdateCatalogue, AFileSystemWithoutLocksIsWrittenUnlocked) {
    bktest::TempDir dir;
    const std::string no_filter = "no seccomp filter";
    std::string failure = no_filter;
    std::thread([&] {
        sock_filter refuse_locks[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fcntl, 0, 3),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[1])),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, F_OFD_SETLK, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOLCK),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        const sock_fprog program{std::size(refuse_locks), refuse_locks};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program))
            return;
        CatalogueLock::set_wait_limit(std::chrono::milliseconds(300));  // nothing to wait for
        try {
            update_catalogue(BackupSettings(), dir.wpath(), at(1, 3, 2024), record(at(1, 3, 2024), 7, L"a.7z"));
            failure.clear();
        } catch (...) {
            failure = exception_message(std::current_exception());
        }
    }).join();
    CatalogueLock::set_wait_limit(std::chrono::seconds(60));
    if (failure == no_filter) GTEST_SKIP() << "seccomp filters cannot be set here";
    EXPECT_EQ(failure, "");
    EXPECT_EQ(read_back(dir.path()).size(), 1u);
}
