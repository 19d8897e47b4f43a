// Uploads of archives to a real Apache WebDAV server through libwlink3.so:
// the target address, the messages of every failure, cancels, the progress
// shown, and which backups go when only eternal ones should.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>

#include "app/error_list.h"
#include "app/string_table.h"
#include "catalogue/catalogue.h"
#include "cloud/cloud_transfer.h"
#include "cloud/http_session.h"
#include "cloud/webdav_server.h"
#include "rkit/path.h"
#include "rkit/text.h"
#include "support/error_messages.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "tasks/worker_task.h"

namespace fs = std::filesystem;
using namespace bk;
using bktest::WebDav;

namespace {

const std::wstring CONNECTING = L"Устанавливается соединение с хранилищем в Интернет...";
const std::wstring UPLOADING = L"Загрузка файла в Интернет";

std::wstring wide(const std::string& utf8) { return rkit::char_to_wide(utf8); }
std::wstring wide(const fs::path& path) { return rkit::from_native_path(path.native()); }

CloudSettings account(const std::string& location, const std::string& password = WebDav::password) {
    CloudSettings cloud;
    cloud.service = CLOUD_SERVICE_CUSTOM;
    cloud.url = wide(WebDav::url(location));
    cloud.login = wide(std::string(WebDav::login));
    cloud.password = wide(password);
    return cloud;
}

BackupRecord kept_for(int32_t keeptime, const std::wstring& filename = L"") {
    BackupRecord record;
    record.keeptime = keeptime;
    record.filename = filename;
    return record;
}

// The message of what f throws as std::runtime_error.
template <typename F>
std::string failure_of(F f) {
    try {
        f();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    ADD_FAILURE() << "nothing was thrown";
    return {};
}

// Points the sessions at another library for one test.
struct LibraryOverride {
    explicit LibraryOverride(const std::string& path) { set_http_library_path(wide(path)); }
    ~LibraryOverride() { set_http_library_path(L""); }
};

class CloudUpload : public ::testing::Test {
protected:
    // An archive of size bytes in the test's folder, named so that no other
    // test puts the same name on the server.
    std::wstring archive(size_t size, const std::string& prefix = "") {
        fs::path path = dir / (prefix + bktest::unique_name(".7z"));
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7919 % 251);
        bktest::write_file(path, bytes);
        return wide(path);
    }
    static std::string name_of(const std::wstring& path) {
        return rkit::native_path(rkit::extract_name_ext(path));
    }

    bktest::TempDir dir;
    bktest::ScriptedStatus status;
};

TEST(CloudTarget, TheArchiveNameFollowsTheBaseWithOneSlash) {
    EXPECT_EQ(cloud_target_url(L"https://webdav.yandex.ru", L"/b/vd_backup_1.7z"),
              L"https://webdav.yandex.ru/vd_backup_1.7z");
    EXPECT_EQ(cloud_target_url(L"http://nas:8080/backups/", L"/b/vd_backup_1.7z"),
              L"http://nas:8080/backups/vd_backup_1.7z");
    // A name is one path segment, whatever characters it has.
    EXPECT_EQ(cloud_target_url(L"http://nas/", L"/b/Копия #1?.rar"),
              L"http://nas/%D0%9A%D0%BE%D0%BF%D0%B8%D1%8F%20%231%3F.rar");
}

TEST(CloudTarget, KnownServicesAndCompleteAccounts) {
    const CloudService* yandex = find_cloud_service(L"yandex.disk");
    ASSERT_NE(yandex, nullptr);
    EXPECT_EQ(yandex->display_name, L"Яндекс.Диск");
    EXPECT_EQ(yandex->webdav_url, L"https://webdav.yandex.ru");
    EXPECT_EQ(yandex->web_page, L"https://disk.yandex.ru");
    EXPECT_EQ(find_cloud_service(CLOUD_SERVICE_CUSTOM), nullptr);
    EXPECT_EQ(known_cloud_services().size(), 1u);

    BackupSettings settings;
    settings.options = OPT_CLOUD;
    settings.cloud.service = CLOUD_SERVICE_CUSTOM;
    settings.cloud.login = L"me";
    EXPECT_FALSE(cloud_upload_enabled(settings));  // custom without an address
    settings.cloud.service = L"yandex.disk";
    EXPECT_TRUE(cloud_upload_enabled(settings));  // a known service needs none
    settings.cloud.login.clear();
    EXPECT_FALSE(cloud_upload_enabled(settings));
    settings.cloud.login = L"me";
    settings.options = 0;
    EXPECT_FALSE(cloud_upload_enabled(settings));
}

TEST_F(CloudUpload, TheFileOnTheServerIsByteIdentical) {
    std::wstring path = archive(2 * 1024 * 1024 + 5, "Архив ");
    upload_archive(account("dav"), &status, path, kept_for(30));
    EXPECT_EQ(bktest::read_file(WebDav::stored("dav", name_of(path))), bktest::read_file(rkit::native_path(path)));

    // Connecting first with no bar, then the upload with its bar up to 100.
    auto shown = status.statuses();
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown.front(), (TaskStatus{CONNECTING, -1}));
    EXPECT_EQ(shown.back(), (TaskStatus{UPLOADING, 100}));
    for (const TaskStatus& s : shown) {
        if (s.text == UPLOADING) {
            EXPECT_GE(s.progress, 0);
        }
    }
}

TEST_F(CloudUpload, AWrongPasswordIsMessage20160With401) {
    std::wstring path = archive(1000);
    EXPECT_EQ(failure_of([&] { upload_archive(account("dav", "wrong"), &status, path, kept_for(7)); }),
              "Не удалось загрузить файл в облачное хранилище.\n\n"
              "Сетевая ошибка: 401\nthe server answered 401 Unauthorized.");
    EXPECT_FALSE(fs::exists(WebDav::stored("dav", name_of(path))));
}

TEST_F(CloudUpload, AServerThatIsDownIsMessage20160WithTheConnectionError) {
    CloudSettings cloud = account("dav");
    cloud.url = L"http://127.0.0.1:" + std::to_wstring(bktest::closed_port()) + L"/dav";
    std::string message = failure_of([&] { upload_archive(cloud, &status, archive(1000), kept_for(7)); });
    EXPECT_EQ(message.rfind("Не удалось загрузить файл в облачное хранилище.\n\nСетевая ошибка: 7\n", 0), 0u)
        << message;
    EXPECT_NE(message.find("127.0.0.1"), std::string::npos) << message;
}

TEST_F(CloudUpload, ACancelDuringASlowUploadEndsTheTaskAsCanceled) {
    // About 20 s at the slow location's pace; the cancel comes at once.
    std::wstring path = archive(1024 * 1024);
    class UploadTask : public BasicTask {
    public:
        UploadTask(CloudSettings cloud, std::wstring path)
            : BasicTask(ids::BACKUP_TITLE), cloud_(std::move(cloud)), path_(std::move(path)) {}
        void execute() override { upload_archive(cloud_, status(), path_, kept_for(KEEP_FOREVER)); }

    private:
        CloudSettings cloud_;
        std::wstring path_;
    };
    bktest::ScriptedUserInterface ui;
    ui.status.cancel_when_text_contains(UPLOADING);
    clear_errors();
    EXPECT_FALSE(run_worker_task(nullptr, std::make_unique<UploadTask>(account("slow"), path)));
    EXPECT_TRUE(ui.status.showed(UPLOADING));
    EXPECT_TRUE(bktest::error_messages().empty()) << "a cancel is no error";
    fs::path stored = WebDav::stored("slow", name_of(path));
    EXPECT_FALSE(fs::exists(stored) && fs::file_size(stored) == 1024 * 1024);

    // Without the framework the cancel is task_canceled itself.
    bktest::ScriptedStatus canceled;
    canceled.cancel();
    EXPECT_THROW(upload_archive(account("slow"), &canceled, path, kept_for(7)), task_canceled);
}

TEST_F(CloudUpload, WhatIsNotUploadedFailsNothing) {
    CloudSettings cloud = account("dav");
    cloud.service = L"dropbox";
    std::wstring path = archive(10);
    // A missing archive is no failure, even with an account that cannot work.
    EXPECT_NO_THROW(upload_archive(cloud, &status, path + L".gone", kept_for(7)));
    EXPECT_EQ(failure_of([&] { upload_archive(cloud, &status, path, kept_for(7)); }),
              "dropbox: unknown cloud service");

    // Only eternal backups wanted: a 30-day one stays home.
    cloud.eternal_only = true;
    EXPECT_NO_THROW(upload_archive(cloud, &status, path, kept_for(30)));
    EXPECT_TRUE(status.statuses().empty());
}

TEST_F(CloudUpload, EveryFailureOfTheLibraryIsNamed) {
    std::wstring path = archive(10);
    auto message = [&] { return failure_of([&] { upload_archive(account("dav"), &status, path, kept_for(7)); }); };
    {
        LibraryOverride missing("/nonexistent/libwlink3.so");
        EXPECT_EQ(message(), "can't load /nonexistent/libwlink3.so");
    }
    {
        LibraryOverride other("libm.so.6");
        EXPECT_EQ(message(), "invalid interface of libm.so.6");
    }
    {
        LibraryOverride broken(BROKEN_WLINK_INIT);
        EXPECT_EQ(message(), std::string(BROKEN_WLINK_INIT) + " initialization failure");
    }
    {
        LibraryOverride broken(BROKEN_WLINK_OPEN);
        EXPECT_EQ(message(), "can't open http session");
    }
    // Back to the normal search, which finds the library beside the program.
    EXPECT_NO_THROW(upload_archive(account("dav"), &status, path, kept_for(7)));
    EXPECT_TRUE(fs::exists(WebDav::stored("dav", name_of(path))));
}

TEST(CloudProgress, EachPhaseShowsItsTextAndBar) {
    bktest::ScriptedStatus status;
    auto report = [&](int32_t phase, uint64_t done, uint64_t total) {
        HttpProgress progress{phase, done, total};
        return upload_progress(&status, &progress);
    };
    EXPECT_EQ(report(WL_PHASE_SENDING, 1, 3), WL_PROGRESS_CONTINUE);
    EXPECT_EQ(status.get_status(), (TaskStatus{UPLOADING, 33}));
    report(WL_PHASE_SENDING, 2, 3);
    EXPECT_EQ(status.get_status(), (TaskStatus{UPLOADING, 67}));
    report(WL_PHASE_SENDING, 0, 0);  // nothing known about the size: no bar
    EXPECT_EQ(status.get_status(), (TaskStatus{UPLOADING, -1}));
    report(WL_PHASE_RECEIVING, 5, 10);
    EXPECT_EQ(status.get_status(), (TaskStatus{L"Скачивание файла из Интернет", 50}));
    report(WL_PHASE_CONNECTING, 5, 10);
    EXPECT_EQ(status.get_status(), (TaskStatus{CONNECTING, -1}));
    size_t shown = status.statuses().size();
    EXPECT_EQ(report(7, 1, 2), WL_PROGRESS_CONTINUE);  // a phase nobody shows
    EXPECT_EQ(status.statuses().size(), shown);

    HttpProgress progress{WL_PHASE_SENDING, 1, 2};
    EXPECT_EQ(upload_progress(nullptr, &progress), WL_PROGRESS_CONTINUE);
    status.cancel();
    EXPECT_EQ(report(WL_PHASE_SENDING, 1, 2), WL_PROGRESS_STOP);
    EXPECT_EQ(status.statuses().size(), shown);
}

// The cloud step of a backup after the real catalogue update, with the week
// rule making last week's last backup eternal.
class EternalOnly : public CloudUpload {
protected:
    rkit::timestamp at(int day, int month, int year) {
        rkit::timestamp ts;
        ts.put(rkit::date(day, month, year), rkit::time(10, 0, 0));
        return ts;
    }
    BackupRecord backup(const rkit::timestamp& time, int32_t keeptime, const std::string& what) {
        BackupRecord record = kept_for(keeptime, rkit::extract_name_ext(archive(100, what + " ")));
        record.time = time;
        record.dbname = L"base.shp";
        return record;
    }
    // The names of this test's archives that reached the server.
    std::set<std::string> arrived(const Catalogue& records) {
        std::set<std::string> names;
        for (const BackupRecord& r : records)
            if (fs::exists(WebDav::stored("dav", name_of(r.filename)))) names.insert(name_of(r.filename));
        return names;
    }

    std::set<std::string> backup_with_cloud(bool eternal_only, int32_t new_keeptime) {
        BackupSettings settings;
        settings.options = OPT_CLOUD | OPT_KEEP_LAST_OF_WEEK;
        settings.last_at_week_keeptime = KEEP_FOREVER;
        settings.cloud = account("dav");
        settings.cloud.eternal_only = eternal_only;
        // Monday 4 March 2024: the week of 26 February is over.
        Catalogue old{backup(at(26, 2, 2024), 7, "early"), backup(at(28, 2, 2024), 7, "last of week"),
                      backup(at(1, 1, 2024), KEEP_FOREVER, "eternal before")};
        write_catalogue(catalogue_path(dir.wpath()), old);
        BackupRecord made = backup(at(4, 3, 2024), new_keeptime, "new");

        Catalogue eternal;
        update_catalogue(settings, dir.wpath(), made.time, made, &eternal);
        upload_new_backup(settings, &status, dir.wpath(), rkit::concat_path(dir.wpath(), made.filename), made,
                          eternal);
        Catalogue all = old;
        all.push_back(made);
        return arrived(all);
    }
};

TEST_F(EternalOnly, OnlyForeverBackupsArriveIncludingThoseJustMadeEternal) {
    EXPECT_EQ(backup_with_cloud(true, 30), std::set<std::string>{"last of week " + bktest::unique_name(".7z")});
}

TEST_F(EternalOnly, AnEternalNewBackupGoesWithThem) {
    std::string suffix = bktest::unique_name(".7z");
    EXPECT_EQ(backup_with_cloud(true, KEEP_FOREVER), (std::set<std::string>{"last of week " + suffix, "new " + suffix}));
}

TEST_F(EternalOnly, WithoutItEveryNewBackupGoesAndNothingElse) {
    EXPECT_EQ(backup_with_cloud(false, 7), std::set<std::string>{"new " + bktest::unique_name(".7z")});
}

TEST(CloudSelection, MadeEternalEntriesComeFromTheBackupFolder) {
    CloudSettings cloud;
    cloud.eternal_only = true;
    Catalogue eternal{kept_for(KEEP_FOREVER, L"w.7z"), kept_for(365, L"m.7z")};
    auto uploads = select_cloud_uploads(cloud, L"/backups", L"/backups/new.7z", kept_for(KEEP_FOREVER), eternal);
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[0].path, L"/backups/new.7z");
    EXPECT_EQ(uploads[1].path, L"/backups/w.7z");
    EXPECT_EQ(uploads[1].record, eternal[0]);

    cloud.eternal_only = false;  // the catalogue returns nothing then; only the new one goes
    uploads = select_cloud_uploads(cloud, L"/backups", L"/backups/new.7z", kept_for(7), {});
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].record.keeptime, 7);
}

}  // namespace
