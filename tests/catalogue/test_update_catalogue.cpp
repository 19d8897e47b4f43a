// The catalogue step of a backup on real folders: archives on disk, the
// catalogue file, damaged input, a year of daily backups and backups of
// several workplaces finishing at the same moment.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "app/com_error.h"
#include "catalogue/catalogue.h"
#include "records.h"
#include "rkit/clock.h"
#include "settings/xml.h"
#include "support/temp_dir.h"

using namespace bk;
using cattest::at;
using cattest::record;
namespace fs = std::filesystem;

namespace {

std::set<std::wstring> listed(const bktest::TempDir& dir) {
    Catalogue c;
    read_catalogue(catalogue_path(dir.wpath()), c);
    std::set<std::wstring> out;
    for (const BackupRecord& r : c) out.insert(r.filename);
    return out;
}

std::set<std::wstring> archives_on_disk(const bktest::TempDir& dir) {
    std::set<std::wstring> out;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().extension() == ".7z") out.insert(entry.path().filename().wstring());
    return out;
}

// A catalogue with its archives on disk.
void make_backups(const bktest::TempDir& dir, const Catalogue& records) {
    for (const BackupRecord& r : records) bktest::write_file(dir.path() / r.filename, "7z");
    write_catalogue(catalogue_path(dir.wpath()), records);
}

BackupRecord new_backup(const rkit::timestamp& time, const bktest::TempDir& dir, const std::wstring& name,
                        int keeptime = 7) {
    bktest::write_file(dir.path() / name, "7z");
    HostIdentity host;
    host.ver_type = L"7.2";
    host.ver_family = L"pro";
    host.dbname = L"base.shp";
    host.computer = L"buh-1";
    return make_backup_record(time, keeptime, L"", host, (dir.path() / name).wstring());
}

std::wstring day_name(int i) { return L"old" + std::to_wstring(i) + L".7z"; }

}  // namespace

TEST(UpdateCatalogue, DeletesTheOldestExpiredArchivesBeyondTheLimit) {
    bktest::TempDir dir;
    Catalogue c{record(at(1, 1, 2019), KEEP_FOREVER, L"forever.7z")};
    for (int i : {5, 1, 12, 2, 7, 3, 4, 6, 8, 9, 10, 11}) c.push_back(record(at(i, 1, 2024), 7, day_name(i)));
    make_backups(dir, c);
    BackupSettings settings;
    settings.expired_limit = 10;

    update_catalogue(settings, dir.wpath(), at(1, 3, 2024), new_backup(at(1, 3, 2024), dir, L"new1.7z"));
    std::set<std::wstring> expected = archives_on_disk(dir);
    EXPECT_EQ(expected.count(day_name(1)) + expected.count(day_name(2)), 0u);
    EXPECT_EQ(expected.size(), 12u);
    EXPECT_EQ(listed(dir), expected);

    // Ten expired ones are within the limit: nothing more goes.
    update_catalogue(settings, dir.wpath(), at(2, 3, 2024), new_backup(at(2, 3, 2024), dir, L"new2.7z"));
    expected.insert(L"new2.7z");
    EXPECT_EQ(archives_on_disk(dir), expected);
    EXPECT_EQ(listed(dir), expected);

    Catalogue read;
    read_catalogue(catalogue_path(dir.wpath()), read);
    EXPECT_EQ(read.front().filename, L"forever.7z");
    EXPECT_EQ(read.back().filename, L"new2.7z");
    EXPECT_EQ(read.back().workstation, L"buh-1");

    // With no limit every expired archive goes, forever ones never do.
    settings.expired_limit = 0;
    update_catalogue(settings, dir.wpath(), at(1, 1, 2030), new_backup(at(1, 1, 2030), dir, L"new3.7z"));
    EXPECT_EQ(archives_on_disk(dir), (std::set<std::wstring>{L"forever.7z", L"new3.7z"}));
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

TEST(UpdateCatalogue, AnUnreadableCatalogueFailsTheBackupAndStays) {
    bktest::TempDir dir;
    bktest::write_file(dir / "old.7z", "7z");
    const BackupRecord made = new_backup(at(1, 3, 2024), dir, L"new.7z");
    BackupSettings settings;
    settings.expired_limit = 0;
    const std::string broken[] = {
        "<?xml version=\"1.0\"?><root><items><backup filename=\"old.7z\" date=\"01.01.2020\" keeptime=\"7\"",
        "<root><items><backup filename=\"old.7z\" date=\"01.01.2020\" keeptime=\"seven\"/></items></root>",
        ""};
    for (const std::string& text : broken) {
        bktest::write_file(dir / "backup_list.xml", text);
        try {
            update_catalogue(settings, dir.wpath(), at(1, 3, 2024), made);
            ADD_FAILURE() << "no error for " << text;
        } catch (const xml_error&) {
        } catch (const com_error&) {
        }
        EXPECT_EQ(bktest::read_file(dir / "backup_list.xml"), text);
        EXPECT_TRUE(fs::exists(dir / "old.7z"));
    }
}

TEST(UpdateCatalogue, ListsNewlyEternalBackupsOnlyForEternalCloudUploads) {
    BackupSettings settings;
    settings.options = OPT_KEEP_LAST_OF_WEEK;
    settings.last_at_week_keeptime = KEEP_FOREVER;
    for (bool eternal_upload : {false, true}) {
        bktest::TempDir dir;
        make_backups(dir, {record(at(13, 6, 2024), 7, L"thu.7z"), record(at(14, 6, 2024), 7, L"fri.7z")});
        settings.options = OPT_KEEP_LAST_OF_WEEK | (eternal_upload ? OPT_CLOUD : 0);
        settings.cloud.eternal_only = eternal_upload;
        Catalogue eternal;
        update_catalogue(settings, dir.wpath(), at(18, 6, 2024), new_backup(at(18, 6, 2024), dir, L"tue.7z"),
                         &eternal);
        EXPECT_EQ(eternal.size(), eternal_upload ? 1u : 0u);
        if (eternal_upload) {
            EXPECT_EQ(eternal[0].filename, L"fri.7z");
        }
        Catalogue read;
        read_catalogue(catalogue_path(dir.wpath()), read);
        ASSERT_EQ(read.size(), 3u);
        EXPECT_EQ(read[1].keeptime, KEEP_FOREVER);
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

    for (int i = 0; first.add_days(i) <= last; ++i) {
        const rkit::date d = first.add_days(i);
        rkit::clock::set_fixed(at(d.day(), d.month(), d.year(), 10));
        const rkit::timestamp now = rkit::clock::now();
        update_catalogue(settings, dir.wpath(), now,
                         new_backup(now, dir, day_name(i), i % 50 == 0 ? KEEP_FOREVER : 7));
    }
    rkit::clock::reset();

    const rkit::date this_monday = last.add_days(-6);
    std::map<std::wstring, int> expected;  // name -> keep time
    std::vector<std::wstring> expired;     // oldest first
    for (int i = 0; first.add_days(i) <= last; ++i) {
        const rkit::date d = first.add_days(i);
        int keep = i % 50 == 0 ? KEEP_FOREVER : 7;
        if (keep != KEEP_FOREVER) {
            if (d.day_of_week() == 0 && d < this_monday) keep = 30;
            if (d.add_days(1).day() == 1 && d.month() != last.month()) keep = 365;
        }
        if (keep == KEEP_FOREVER || last - d <= keep)
            expected[day_name(i)] = keep;
        else
            expired.push_back(day_name(i));
    }
    for (size_t i = expired.size() - 10; i < expired.size(); ++i) expected[expired[i]] = 7;

    Catalogue read;
    read_catalogue(catalogue_path(dir.wpath()), read);
    std::map<std::wstring, int> got;
    for (const BackupRecord& r : read) got[r.filename] = r.keeptime;
    EXPECT_EQ(got, expected);
    EXPECT_EQ(got.size(), read.size());
    std::set<std::wstring> names;
    for (const auto& [name, keep] : expected) names.insert(name);
    EXPECT_EQ(archives_on_disk(dir), names);
    // Month ends January to November, less 31 May, which is kept forever.
    EXPECT_EQ(std::count_if(read.begin(), read.end(), [](const BackupRecord& r) { return r.keeptime == 365; }),
              10);
}

TEST(UpdateCatalogue, WorkplacesFinishingTogetherLoseNoRecord) {
    bktest::TempDir dir;
    BackupSettings settings;
    constexpr int processes = 3, threads = 2, runs = 40;
    auto run = [&](int who) {
        for (int i = 0; i < runs; ++i) {
            BackupRecord r = record(at(1, 3, 2024, 10, i), KEEP_FOREVER, L"w" + std::to_wstring(who) + L"_" +
                                                                          std::to_wstring(i) + L".7z");
            r.workplace = who;
            update_catalogue(settings, dir.wpath(), r.time, r);
        }
    };

    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int code = 0;
            try {
                run(p);
            } catch (...) {
                code = 1;
            }
            _exit(code);
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

    const std::set<std::wstring> got = listed(dir);
    EXPECT_EQ(got.size(), size_t{(processes + threads) * runs});
    for (int who = 0; who < processes + threads; ++who)
        for (int i = 0; i < runs; ++i)
            EXPECT_TRUE(got.count(L"w" + std::to_wstring(who) + L"_" + std::to_wstring(i) + L".7z"));
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
