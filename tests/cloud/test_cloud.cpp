// Uploads of archives to a real Apache WebDAV server through libwlink3.so:
// the target address, how failures and a cancel end an upload, the progress
// shown, and which backups a backup task sends. How each failure of a
// transfer is told is the library's, tested in tests/wlink.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <tuple>

#include "core/error_list.h"
#include "core/string_table.h"
#include "catalogue/catalogue.h"
#include "cloud/cloud_transfer.h"
#include "cloud/http_session.h"
#include "cloud/webdav_server.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "support/error_messages.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "support/values.h"
#include "tasks/backup_task.h"

namespace fs = std::filesystem;
using namespace bk;
using bktest::WebDav;

namespace {

const std::wstring CONNECTING = L"Устанавливается соединение с хранилищем в Интернет...";
const std::wstring UPLOADING = L"Загрузка файла в Интернет";

std::wstring wide(const std::string& utf8) { return rkit::char_to_wide(utf8); }
using bktest::wide;

CloudSettings account(const std::string& location, const std::string& password = WebDav::password) {
    CloudSettings cloud;
    cloud.service = CLOUD_SERVICE_CUSTOM;
    cloud.url = wide(WebDav::url(location));
    cloud.login = wide(std::string(WebDav::login));
    cloud.password = wide(password);
    return cloud;
}

BackupRecord kept_for(int32_t keeptime) {
    BackupRecord record;
    record.keeptime = keeptime;
    return record;
}

// The archive's name is one path segment after the base, whatever characters
// it has. A failed transfer is message 20160 with the network error; the
// library's own failures are named; a missing archive is no failure; each phase
// shows its text; a cancel ends the upload before anything reaches the server.
TEST(CloudUpload, TheTargetFailuresProgressAndACancel) {
    EXPECT_EQ(cloud_target_url(L"https://webdav.yandex.ru", L"/b/vd_backup_1.7z"), L"https://webdav.yandex.ru/vd_backup_1.7z");
    EXPECT_EQ(cloud_target_url(L"http://nas:8080/backups/", L"/b/Копия #1?.rar"),
              L"http://nas:8080/backups/%D0%9A%D0%BE%D0%BF%D0%B8%D1%8F%20%231%3F.rar");
    bktest::TempDir dir;
    const std::string name = bktest::unique_name(".7z");
    bktest::write_file(dir / name, "archive");
    const std::wstring path = wide(dir / name);
    bktest::ScriptedStatus status;
    const auto failure_of = [&](const CloudSettings& cloud) {
        return bktest::error_of([&] { upload_archive(cloud, &status, path, kept_for(7)); });
    };
    EXPECT_EQ(failure_of(account("dav", "wrong")), "Не удалось загрузить файл в облачное хранилище.\n\n"
                                                   "Сетевая ошибка: 401\nthe server answered 401 Unauthorized.");
    CloudSettings unknown = account("dav");
    unknown.service = L"dropbox";
    EXPECT_NO_THROW(upload_archive(unknown, &status, path + L".gone", kept_for(7)));
    EXPECT_EQ(failure_of(unknown), "dropbox: unknown cloud service");
    for (const auto& [library, expected] : std::vector<std::pair<std::string, std::string>>{
             {"/nonexistent/libwlink3.so", "can't load /nonexistent/libwlink3.so"},
             {"libm.so.6", "invalid interface of libm.so.6"},
             {BROKEN_WLINK_INIT, BROKEN_WLINK_INIT " initialization failure"},
             {BROKEN_WLINK_OPEN, "can't open http session"}}) {
        set_http_library_path(wide(library));
        EXPECT_EQ(failure_of(account("dav")), expected);
    }
    // Each phase of a transfer shows its text and bar.
    bktest::ScriptedStatus sink;
    const std::vector<std::tuple<int32_t, uint64_t, uint64_t, TaskStatus>> reports{
        {WL_PHASE_SENDING, 2, 3, {UPLOADING, 67}},
        {WL_PHASE_SENDING, 0, 0, {UPLOADING, -1}},  // nothing known about the size: no bar
        {WL_PHASE_CONNECTING, 5, 10, {CONNECTING, -1}},
        {7, 1, 2, {CONNECTING, -1}}};  // a phase nobody shows
    for (const auto& [phase, done, total, shown] : reports) {
        HttpProgress progress{phase, done, total};
        EXPECT_EQ(upload_progress(&sink, &progress), WL_PROGRESS_CONTINUE);
        EXPECT_EQ(sink.get_status(), shown);
    }
    HttpProgress progress{WL_PHASE_SENDING, 1, 2};
    EXPECT_EQ(upload_progress(nullptr, &progress), WL_PROGRESS_CONTINUE);
    sink.cancel();
    EXPECT_EQ(upload_progress(&sink, &progress), WL_PROGRESS_STOP);
    EXPECT_EQ(sink.statuses().size(), 3u);

    // Back to the normal search, which finds the library beside the program.
    set_http_library_path(L"");
    status.cancel();
    EXPECT_THROW(upload_archive(account("dav"), &status, path, kept_for(7)), task_canceled);
    EXPECT_FALSE(fs::exists(WebDav::stored("dav", name)));
}

// A whole backup task with the cloud step on. The new backup, on Monday
// 4 March 2024, ends the week of 26 February, whose last backup the week rule
// makes eternal. With "eternal only" just forever-backups go, that one among
// them, but not one that was eternal before; without it just the new one goes.
// Each arrives byte for byte, after the connection and with the bar up to 100.
TEST(BackupTaskCloud, UploadsTheBackupsTheSettingsAskFor) {
    const HostIdentity identity = {L"7.2", L"pro", 1, L"main.shp", L"Иванов", L"buh-1"};
    const auto at = [](int day, int month) { return bktest::moment(day, month, 2024); };
    for (auto [eternal_only, keeptime, new_goes, last_week_goes] :
         {std::tuple{true, KEEP_FOREVER, true, true}, {true, 30, false, true}, {true, -2, false, true},
          {false, 7, true, false}}) {
        bktest::TempDir tmp;
        bktest::write_file(tmp / "host/data/a.dbf", std::string(30000, 'x') + "конец");
        const fs::path backups = tmp / "backups";
        const std::string run_name = std::to_string(eternal_only) + "," + std::to_string(keeptime) + " ";
        std::map<std::string, fs::path> stored;  // by prefix, where the server keeps it
        Catalogue old;
        for (auto [prefix, day, month, kept] :
             {std::tuple{"last week ", 28, 2, 7}, {"eternal ", 1, 1, KEEP_FOREVER}, {"new ", 0, 0, 0}}) {
            stored[prefix] = WebDav::stored("dav", prefix + run_name + bktest::unique_name(".7z"));
            fs::remove(stored[prefix]);  // from earlier runs
            if (day == 0) continue;
            bktest::write_file(backups / stored[prefix].filename(), prefix);
            old.push_back({at(day, month), kept, wide(stored[prefix].filename()), L"", identity});
        }
        write_catalogue(catalogue_path(wide(backups)), old);

        BackupSettings settings;
        settings.file_groups = {{L"ТЕК_ДИР", L"data", L"", L"", L"", 0, L"", {}}};
        settings.options = OPT_CLOUD | OPT_KEEP_LAST_OF_WEEK;
        settings.last_at_week_keeptime = KEEP_FOREVER;
        settings.cloud = account("dav");
        settings.cloud.eternal_only = eternal_only;
        AutoParams run;
        run.keeptime = keeptime;
        const fs::path archive = backups / stored["new "].filename();
        const BasicFolders folders{{L"ТЕК_ДИР", wide(tmp / "host")}};
        bktest::ScriptedUserInterface ui;
        clear_errors();
        ASSERT_TRUE(run_worker_task(nullptr, std::make_unique<BackupTask>(settings, wide(backups), folders,
                                                                          FileLocations{}, identity, run, at(4, 3),
                                                                          wide(archive))));
        EXPECT_TRUE(bktest::error_messages().empty());
        const auto arrived = [&](const char* prefix) {
            return fs::exists(stored[prefix]) ? bktest::read_file(stored[prefix]) : "";
        };
        EXPECT_EQ(arrived("new "), new_goes ? bktest::read_file(archive) : "");
        EXPECT_EQ(arrived("last week "), last_week_goes ? "last week " : "");
        EXPECT_EQ(arrived("eternal "), "");
        EXPECT_TRUE(ui.status.showed(CONNECTING));
        EXPECT_EQ(ui.status.get_status(), (TaskStatus{UPLOADING, 100}));
    }
}

}  // namespace
