// A whole backup task with cloud upload on, against the test WebDAV server:
// the new archive arrives as it was made, and with "eternal only" so does the
// earlier backup that this backup's catalogue update has just made eternal.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/string_table.h"
#include "catalogue/catalogue.h"
#include "cloud/webdav_server.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "support/error_messages.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "tasks/backup_task.h"

namespace fs = std::filesystem;
using bktest::WebDav;

namespace {

std::wstring wide(const fs::path& path) { return rkit::from_native_path(path.native()); }

rkit::timestamp at(int day, int month, int year) {
    rkit::timestamp ts;
    ts.put(rkit::date(day, month, year), rkit::time(10, 0, 0));
    return ts;
}

TEST(BackupTaskCloud, UploadsTheNewArchiveAndTheBackupJustMadeEternal) {
    bktest::TempDir tmp;
    bktest::write_file(tmp / "host/data/a.dbf", std::string(30000, 'x') + "конец");
    const fs::path backups = tmp / "backups";
    const std::string suffix = bktest::unique_name(".7z");
    // The server keeps what earlier runs uploaded.
    for (const char* prefix : {"new ", "last week "}) fs::remove(WebDav::stored("dav", prefix + suffix));

    bk::BackupSettings settings;
    settings.file_groups = {{L"ТЕК_ДИР", L"data", L"", L"", L"", 0, L"", {}}};
    settings.options = bk::OPT_CLOUD | bk::OPT_KEEP_LAST_OF_WEEK;
    settings.last_at_week_keeptime = bk::KEEP_FOREVER;
    settings.cloud.service = bk::CLOUD_SERVICE_CUSTOM;
    settings.cloud.url = rkit::char_to_wide(WebDav::url("dav"));
    settings.cloud.login = rkit::char_to_wide(WebDav::login);
    settings.cloud.password = rkit::char_to_wide(WebDav::password);
    settings.cloud.eternal_only = true;
    const bk::HostIdentity identity = {L"7.2", L"pro", 1, L"main.shp", L"Иванов", L"buh-1"};

    // The last backup of the week of 26 February 2024, kept for a week; the
    // new one, on Monday 4 March, ends that week.
    bk::BackupRecord last_week;
    last_week.time = at(28, 2, 2024);
    last_week.keeptime = 7;
    last_week.filename = rkit::char_to_wide("last week " + suffix);
    last_week.version_type = identity.ver_type;
    last_week.version_family = identity.ver_family;
    last_week.dbname = identity.dbname;
    bktest::write_file(backups / ("last week " + suffix), "the archive of last week");
    bk::write_catalogue(bk::catalogue_path(wide(backups)), {last_week});

    bk::AutoParams run;
    run.keeptime = bk::KEEP_FOREVER;
    const fs::path archive = backups / ("new " + suffix);
    bktest::ScriptedUserInterface ui;
    bk::clear_errors();
    ASSERT_TRUE(bk::run_worker_task(
        nullptr, std::make_unique<bk::BackupTask>(settings, wide(backups), bk::BasicFolders{{L"ТЕК_ДИР", wide(tmp / "host")}},
                                                  bk::FileLocations{}, identity, run, at(4, 3, 2024), wide(archive))));
    EXPECT_TRUE(bktest::error_messages().empty());

    EXPECT_EQ(bktest::read_file(WebDav::stored("dav", "new " + suffix)), bktest::read_file(archive));
    EXPECT_EQ(bktest::read_file(WebDav::stored("dav", "last week " + suffix)), "the archive of last week");
    EXPECT_TRUE(ui.status.showed(bk::load_string(bk::ids::CLOUD_UPLOADING)));
}

}  // namespace
