#include "cloud/cloud_transfer.h"

#include <array>
#include <cmath>
#include <stdexcept>

#include "core/host_params.h"
#include "core/string_table.h"
#include "cloud/http_error.h"
#include "cloud/http_session.h"
#include "rkit/files.h"
#include "rkit/path.h"
#include "rkit/percent_encoding.h"
#include "rkit/text.h"

namespace bk {

namespace {

constexpr std::array<CloudService, 1> services{{
    {L"yandex.disk", L"Яндекс.Диск", L"https://webdav.yandex.ru", L"https://disk.yandex.ru"},
}};

// What the library is given: connect timeout and stall timeout in
// milliseconds, and the most redirects it follows (a storage service moves
// a folder once or twice; more is a loop).
constexpr int32_t CONNECT_TIMEOUT_MS = 20000;
constexpr int32_t STALL_TIMEOUT_MS = 20000;
constexpr int32_t MAX_REDIRECTS = WL_MAX_REDIRECTS;

// One path segment of a URL: everything but the characters that stand for
// themselves there is percent-encoded from its UTF-8 bytes.
std::wstring encode_segment(const std::wstring& name) {
    return rkit::char_to_wide(rkit::percent_encode(rkit::wide_to_char(name), "!$&'()*+,;=:@"));
}

void transfer(const std::wstring& url, const std::wstring& archive_path, const std::wstring& credentials,
              IWorkerStatus* status) {
    HttpSession session;
    HttpRequest request{};
    request.operation = WL_OP_UPLOAD_FILE;
    request.url = url.c_str();
    request.local_path = archive_path.c_str();
    request.credentials = credentials.c_str();
    request.connect_timeout_ms = CONNECT_TIMEOUT_MS;
    request.stall_timeout_ms = STALL_TIMEOUT_MS;
    request.max_redirects = MAX_REDIRECTS;
    request.progress = upload_progress;
    request.progress_context = status;
    HttpResult result{};
    int32_t answer = session.perform(request, result);
    if (answer == WL_OK) return;
    if (answer == WL_E_CANCELED) throw task_canceled();
    throw http_error(rkit::wide_to_char(result.error_text ? result.error_text : L""), result.network_error);
}

}  // namespace

std::span<const CloudService> known_cloud_services() { return services; }

// Called by the library on the task's thread while a transfer runs. It must
// answer, never throw: a failure to show progress is no reason to stop.
int32_t upload_progress(void* context, const HttpProgress* progress) noexcept {
    auto* status = static_cast<IWorkerStatus*>(context);
    if (!status || !progress) return WL_PROGRESS_CONTINUE;
    try {
        if (status->canceled()) return WL_PROGRESS_STOP;
        TaskStatus shown{L"", -1};
        switch (progress->phase) {
            case WL_PHASE_RECEIVING: shown.text = load_string(ids::CLOUD_DOWNLOADING); break;
            case WL_PHASE_CONNECTING: shown.text = load_string(ids::CLOUD_CONNECTING); break;
            case WL_PHASE_SENDING: shown.text = load_string(ids::CLOUD_UPLOADING); break;
            default: return WL_PROGRESS_CONTINUE;
        }
        if (progress->phase != WL_PHASE_CONNECTING && progress->bytes_total != 0)
            shown.progress = static_cast<int32_t>(std::lround(static_cast<double>(progress->bytes_done) * 100.0 /
                                                              static_cast<double>(progress->bytes_total)));
        status->set_status(shown);
    } catch (...) {
    }
    return WL_PROGRESS_CONTINUE;
}

const CloudService* find_cloud_service(std::wstring_view id) {
    for (const auto& service : services)
        if (service.id == id) return &service;
    return nullptr;
}

std::wstring cloud_target_url(const std::wstring& base, const std::wstring& archive_path) {
    std::wstring url = base;
    if (url.empty() || url.back() != L'/') url += L'/';
    return url + encode_segment(rkit::extract_name_ext(archive_path));
}

void upload_archive(const CloudSettings& cloud, IWorkerStatus* status, const std::wstring& archive_path,
                    const BackupRecord& record) {
    if (cloud.eternal_only && !keeps_forever(record.keeptime)) return;
    if (!rkit::file_exists(archive_path)) return;

    std::wstring base;
    std::wstring title;
    if (cloud.service == CLOUD_SERVICE_CUSTOM) {
        base = cloud.url;
    } else {
        const CloudService* service = find_cloud_service(cloud.service);
        if (!service) throw std::runtime_error(rkit::wide_to_char(cloud.service) + ": unknown cloud service");
        base = service->webdav_url;
        title = L" \"" + std::wstring(service->display_name) + L"\"";
    }
    try {
        transfer(cloud_target_url(base, archive_path), archive_path, cloud.login + L":" + cloud.password, status);
    } catch (const http_error& e) {
        throw std::runtime_error(format_string_narrow(
            ids::CLOUD_UPLOAD_FAILED, {title, e.code(), rkit::char_to_wide(e.what())}));
    }
}

std::vector<CloudUpload> select_cloud_uploads(const CloudSettings& cloud, const std::wstring& backup_folder,
                                              const std::wstring& archive_path, const BackupRecord& record,
                                              const Catalogue& made_eternal) {
    std::vector<CloudUpload> uploads;
    if (!cloud.eternal_only || keeps_forever(record.keeptime)) uploads.push_back({archive_path, record});
    if (cloud.eternal_only)
        for (const auto& entry : made_eternal)
            if (keeps_forever(entry.keeptime))
                uploads.push_back({absolute_path(backup_folder, entry.filename), entry});
    return uploads;
}

void upload_new_backup(const BackupSettings& settings, IWorkerStatus* status, const std::wstring& backup_folder,
                       const std::wstring& archive_path, const BackupRecord& record,
                       const Catalogue& made_eternal) {
    if (!cloud_upload_enabled(settings)) return;
    for (const auto& upload : select_cloud_uploads(settings.cloud, backup_folder, archive_path, record, made_eternal))
        upload_archive(settings.cloud, status, upload.path, upload.record);
}

}  // namespace bk
