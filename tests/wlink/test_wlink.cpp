// libwlink3.so through its C interface against a real Apache WebDAV server:
// what arrives, what progress is reported, and how failures are told.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cloud/webdav_server.h"
#include "rkit/text.h"
#include "support/temp_dir.h"
#include "wlink3/wlink3.h"

namespace fs = std::filesystem;
using bktest::WebDav;

namespace {

std::wstring wide(const std::string& utf8) { return rkit::char_to_wide(utf8); }

std::string random_bytes(size_t size) {
    std::mt19937 generator(static_cast<unsigned>(size));
    std::string bytes(size, '\0');
    for (auto& c : bytes) c = static_cast<char>(generator());
    return bytes;
}

// Records every progress report; answers STOP from the report numbered
// stop_at (0: never).
struct ProgressLog {
    std::vector<HttpProgress> reports;
    size_t stop_at = 0;
    bool stop_when_sending = false;

    static int32_t record(void* context, const HttpProgress* progress) {
        auto* log = static_cast<ProgressLog*>(context);
        log->reports.push_back(*progress);
        bool stop = log->reports.size() == log->stop_at ||
                    (log->stop_when_sending && progress->phase == WL_PHASE_SENDING);
        return stop ? WL_PROGRESS_STOP : WL_PROGRESS_CONTINUE;
    }
};

class Wlink : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(wlInitialize(0), 0);
        ASSERT_EQ(wlOpenHttpSession(&session), 0);
        ASSERT_NE(session, nullptr);
    }
    void TearDown() override {
        wlCloseHttpSession(session);
        wlUninitialize();
    }

    // Uploads local to url with the credentials given.
    int32_t upload(const fs::path& local, const std::string& url, const std::string& credentials,
                   ProgressLog* log = nullptr, int32_t max_redirects = 200) {
        url_ = wide(url);
        path_ = wide(local.string());
        credentials_ = wide(credentials);
        HttpRequest request{};
        request.operation = WL_OP_UPLOAD_FILE;
        request.url = url_.c_str();
        request.local_path = path_.c_str();
        request.credentials = credentials_.c_str();
        request.connect_timeout_ms = 20000;
        request.stall_timeout_ms = 20000;
        request.max_redirects = max_redirects;
        request.progress = log ? &ProgressLog::record : nullptr;
        request.progress_context = log;
        result = HttpResult{};
        return wlPerformHttpRequest(session, &request, &result);
    }

    std::string error_text() const { return rkit::wide_to_char(result.error_text ? result.error_text : L""); }

    const std::string account = std::string(WebDav::login) + ":" + WebDav::password;
    WlSession session = nullptr;
    HttpResult result{};
    bktest::TempDir dir;

private:
    std::wstring url_, path_, credentials_;
};

// Connecting first, then sending; once sending, never back to connecting, and
// the count only grows up to the whole file: the body is sent once, also when
// the server first asks for credentials.
void expect_orderly(const ProgressLog& log, uint64_t size) {
    ASSERT_GE(log.reports.size(), 2u);
    EXPECT_EQ(log.reports.front().phase, WL_PHASE_CONNECTING);
    EXPECT_EQ(log.reports.back().phase, WL_PHASE_SENDING);
    EXPECT_EQ(log.reports.back().bytes_done, size);
    uint64_t done = 0;
    bool sending = false;
    for (const HttpProgress& p : log.reports) {
        EXPECT_EQ(p.bytes_total, size);
        if (sending) {
            EXPECT_EQ(p.phase, WL_PHASE_SENDING);
        }
        sending = sending || p.phase == WL_PHASE_SENDING;
        EXPECT_GE(p.bytes_done, done);
        done = p.bytes_done;
    }
}

TEST_F(Wlink, UploadsTheFileByteForByteReportingConnectingThenSending) {
    const std::string bytes = random_bytes(3 * 1024 * 1024 + 17);
    bktest::write_file(dir / "a.7z", bytes);
    const std::string name = bktest::unique_name(".7z");
    ProgressLog log;
    ASSERT_EQ(upload(dir / "a.7z", WebDav::url("dav") + name, account, &log), WL_OK) << error_text();
    EXPECT_EQ(result.network_error, 0);
    EXPECT_EQ(result.error_text, nullptr);
    EXPECT_EQ(bktest::read_file(WebDav::stored("dav", name)), bytes);
    expect_orderly(log, bytes.size());

    // The same name again replaces the file, in the same session.
    const std::string small = random_bytes(200 * 1024);
    bktest::write_file(dir / "b.7z", small);
    ProgressLog again;
    ASSERT_EQ(upload(dir / "b.7z", WebDav::url("dav") + name, account, &again), WL_OK) << error_text();
    EXPECT_EQ(bktest::read_file(WebDav::stored("dav", name)), small);
    expect_orderly(again, small.size());
}

TEST_F(Wlink, AnswersDigestWhenTheServerAsksForIt) {
    bktest::write_file(dir / "a.7z", "digest body");
    const std::string name = bktest::unique_name(".7z");
    ASSERT_EQ(upload(dir / "a.7z", WebDav::url("digest") + name, account), WL_OK) << error_text();
    EXPECT_EQ(bktest::read_file(WebDav::stored("digest", name)), "digest body");

    EXPECT_EQ(upload(dir / "a.7z", WebDav::url("digest") + "x" + name, "backup:wrong"), WL_E_TRANSFER);
    EXPECT_EQ(result.network_error, 401);
}

TEST_F(Wlink, SpacesAndCyrillicInTheAddressAreEncoded) {
    bktest::write_file(dir / "a.7z", "name test");
    const std::string name = "Архив от " + bktest::unique_name(".7z");
    ASSERT_EQ(upload(dir / "a.7z", WebDav::url("dav") + name, account), WL_OK) << error_text();
    EXPECT_EQ(bktest::read_file(WebDav::stored("dav", name)), "name test");
}

TEST_F(Wlink, HttpFailuresGiveTheStatusAndItsReason) {
    bktest::write_file(dir / "a.7z", "x");
    const std::string name = bktest::unique_name(".7z");
    EXPECT_EQ(upload(dir / "a.7z", WebDav::url("dav") + name, "backup:wrong"), WL_E_TRANSFER);
    EXPECT_EQ(result.network_error, 401);
    EXPECT_EQ(error_text(), "the server answered 401 Unauthorized");
    EXPECT_FALSE(fs::exists(WebDav::stored("dav", name)));

    // No credentials at all: the server's refusal, not a local failure.
    EXPECT_EQ(upload(dir / "a.7z", WebDav::url("dav") + name, ""), WL_E_TRANSFER);
    EXPECT_EQ(result.network_error, 401);

    // A folder that does not exist on the server.
    EXPECT_EQ(upload(dir / "a.7z", WebDav::url("dav") + "no/such/folder/" + name, account), WL_E_TRANSFER);
    EXPECT_EQ(result.network_error, 409);
    EXPECT_EQ(error_text(), "the server answered 409 Conflict");
}

TEST_F(Wlink, TransportFailuresGiveCurlsCodeAndText) {
    bktest::write_file(dir / "a.7z", "x");
    const std::string down = "http://127.0.0.1:" + std::to_string(bktest::closed_port()) + "/dav/a.7z";
    EXPECT_EQ(upload(dir / "a.7z", down, account), WL_E_TRANSFER);
    EXPECT_EQ(result.network_error, 7);  // CURLE_COULDNT_CONNECT
    EXPECT_NE(error_text().find("127.0.0.1"), std::string::npos) << error_text();

    EXPECT_EQ(upload(dir / "missing.7z", WebDav::url("dav") + "m.7z", account), WL_E_TRANSFER);
    EXPECT_EQ(result.network_error, 26);  // CURLE_READ_ERROR
    EXPECT_NE(error_text().find("missing.7z: No such file or directory"), std::string::npos) << error_text();

    EXPECT_EQ(upload(dir.path(), WebDav::url("dav") + "d.7z", account), WL_E_TRANSFER);
    EXPECT_NE(error_text().find("Is a directory"), std::string::npos) << error_text();

    EXPECT_EQ(upload(dir / "a.7z", "ftp://127.0.0.1/a.7z", account), WL_E_TRANSFER);
    EXPECT_EQ(result.network_error, 1);  // CURLE_UNSUPPORTED_PROTOCOL
}

TEST_F(Wlink, AStopFromTheCallbackEndsTheRequestWithFour) {
    bktest::write_file(dir / "a.7z", random_bytes(64 * 1024));
    const std::string name = bktest::unique_name(".7z");

    // Before anything has gone out: nothing reaches the server.
    ProgressLog at_once;
    at_once.stop_at = 1;
    EXPECT_EQ(upload(dir / "a.7z", WebDav::url("dav") + name, account, &at_once), WL_E_CANCELED);
    EXPECT_EQ(at_once.reports.size(), 1u);
    EXPECT_FALSE(fs::exists(WebDav::stored("dav", name)));

    // While the slow location is taking the body in.
    bktest::write_file(dir / "big.7z", random_bytes(2 * 1024 * 1024));
    ProgressLog sending;
    sending.stop_when_sending = true;
    EXPECT_EQ(upload(dir / "big.7z", WebDav::url("slow") + name, account, &sending), WL_E_CANCELED);
    EXPECT_EQ(sending.reports.back().phase, WL_PHASE_SENDING);
    EXPECT_FALSE(fs::exists(WebDav::stored("slow", name)) &&
                 fs::file_size(WebDav::stored("slow", name)) == 2 * 1024 * 1024);

    // The session is still good for the next request.
    EXPECT_EQ(upload(dir / "a.7z", WebDav::url("dav") + name, account), WL_OK) << error_text();
}

TEST_F(Wlink, RedirectsAreFollowedUpToTheLimit) {
    bktest::write_file(dir / "a.7z", "moved");
    const std::string name = bktest::unique_name(".7z");
    EXPECT_EQ(upload(dir / "a.7z", WebDav::url("moved") + name, account, nullptr, 0), WL_E_TRANSFER);
    EXPECT_EQ(result.network_error, 307);
    ASSERT_EQ(upload(dir / "a.7z", WebDav::url("moved") + name, account, nullptr, 200), WL_OK) << error_text();
    EXPECT_EQ(bktest::read_file(WebDav::stored("dav", name)), "moved");
}

TEST(WlinkInterface, RefusesWhatItCannotDo) {
    ASSERT_EQ(wlInitialize(0), 0);
    EXPECT_NE(wlInitialize(7), 0);
    EXPECT_NE(wlOpenHttpSession(nullptr), 0);
    WlSession session = nullptr;
    ASSERT_EQ(wlOpenHttpSession(&session), 0);

    HttpResult result{};
    EXPECT_EQ(wlPerformHttpRequest(session, nullptr, &result), WL_E_ARGUMENT);
    HttpRequest request{};
    request.operation = 31;
    request.url = L"http://127.0.0.1/";
    request.local_path = L"/etc/hostname";
    EXPECT_EQ(wlPerformHttpRequest(session, &request, &result), WL_E_ARGUMENT);
    ASSERT_NE(result.error_text, nullptr);
    EXPECT_EQ(std::wstring(result.error_text), L"unsupported request: operation 31");

    wlCloseHttpSession(session);
    wlCloseHttpSession(nullptr);
    wlUninitialize();
}

}  // namespace
