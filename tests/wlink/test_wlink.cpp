// libwlink3.so through its C interface against the real Apache WebDAV server
// of the "webdav" fixture: what arrives, what progress is reported, and how
// failures are told.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cloud/webdav_server.h"
#include "rkit/text.h"
#include "support/temp_dir.h"
#include "support/values.h"
#include "wlink3/wlink3.h"

namespace fs = std::filesystem;
using bktest::WebDav;

namespace {

using bktest::random_bytes;
const std::string ACCOUNT = std::string(WebDav::login) + ":" + WebDav::password;

// Records every progress report; answers STOP to the first one of phase stop_in.
struct ProgressLog {
    int32_t stop_in = -1;
    std::vector<HttpProgress> reports;
    static int32_t record(void* context, const HttpProgress* progress) {
        auto* log = static_cast<ProgressLog*>(context);
        log->reports.push_back(*progress);
        return progress->phase == log->stop_in ? WL_PROGRESS_STOP : WL_PROGRESS_CONTINUE;
    }
};

class Wlink : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(wlInitialize(0) == 0 && wlOpenHttpSession(&session) == 0); }
    void TearDown() override { wlCloseHttpSession(session); wlUninitialize(); }
    int32_t upload(const fs::path& local, const std::string& url, const std::string& credentials = ACCOUNT,
                   ProgressLog* log = nullptr, int32_t max_redirects = 200) {
        const std::wstring wide_url = rkit::char_to_wide(url), path = rkit::char_to_wide(local.string()),
                           wide_credentials = rkit::char_to_wide(credentials);
        const HttpRequest request{WL_OP_UPLOAD_FILE, wide_url.c_str(), path.c_str(), wide_credentials.c_str(), 20000,
                                  20000, max_redirects, log ? &ProgressLog::record : nullptr, log};
        result = HttpResult{};
        return wlPerformHttpRequest(session, &request, &result);
    }
    std::string error_text() const { return rkit::wide_to_char(result.error_text ? result.error_text : L""); }

    WlSession session = nullptr;
    HttpResult result{};
    bktest::TempDir dir;
};

// Progress is connecting first, then sending; once sending, never back, and
// the count only grows up to the whole file: the body is sent once, also when
// the server first asks for credentials. Spaces and Cyrillic in the address are encoded.
TEST_F(Wlink, UploadsTheFileByteForByte) {
    const std::string bytes = random_bytes(3 * 1024 * 1024 + 17), name = "Архив от " + bktest::unique_name(".7z");
    bktest::write_file(dir / "a.7z", bytes);
    ProgressLog log;
    ASSERT_EQ(upload(dir / "a.7z", WebDav::url("dav") + name, ACCOUNT, &log), WL_OK) << error_text();
    EXPECT_TRUE(result.network_error == 0 && result.error_text == nullptr);
    EXPECT_EQ(bktest::read_file(WebDav::stored("dav", name)), bytes);

    ASSERT_GE(log.reports.size(), 2u);
    EXPECT_EQ(log.reports.front().phase, WL_PHASE_CONNECTING);
    EXPECT_EQ(log.reports.back().bytes_done, bytes.size());
    uint64_t done = 0;
    bool sending = false;
    for (const HttpProgress& p : log.reports) {
        EXPECT_EQ(p.bytes_total, bytes.size());
        EXPECT_TRUE(p.phase == WL_PHASE_SENDING || (!sending && p.phase == WL_PHASE_CONNECTING)) << p.phase;
        EXPECT_GE(p.bytes_done, done);
        sending = p.phase == WL_PHASE_SENDING;
        done = p.bytes_done;
    }
    EXPECT_TRUE(sending);

    // Digest when the server asks for it; redirects on the same host followed, up to five.
    for (const std::string location : {"digest", "moved", "hop5"}) {
        bktest::write_file(dir / "b.7z", location);
        ASSERT_EQ(upload(dir / "b.7z", WebDav::url(location) + location + name), WL_OK) << error_text();
        EXPECT_EQ(bktest::read_file(WebDav::stored(location == "digest" ? "digest" : "dav", location + name)), location);
    }
}

// The HTTP status with its reason when the server answered, else curl's code
// and text.
TEST_F(Wlink, FailuresGiveTheStatusOrCurlsCodeAndAText) {
    bktest::write_file(dir / "a.7z", "x");
    const std::string name = bktest::unique_name(".7z"), dav = WebDav::url("dav") + name;
    struct Case { fs::path local; std::string url, credentials; int32_t error; std::string text; int32_t redirects = 200; };
    const std::vector<Case> cases{
        {dir / "a.7z", dav, "backup:wrong", 401, "the server answered 401 Unauthorized"},
        {dir / "a.7z", WebDav::url("digest") + name, "backup:wrong", 401, "the server answered 401 Unauthorized"},
        {dir / "a.7z", WebDav::url("dav") + "no/such/folder/" + name, ACCOUNT, 409, "the server answered 409 Conflict"},
        {dir / "a.7z", WebDav::url("moved") + name, ACCOUNT, 307, "the server answered 307 Temporary Redirect", 0},  // over the limit
        {dir / "a.7z", WebDav::url("hop6") + name, ACCOUNT, 47, "too many redirects: more than 5", -1},  // never more than 5
        {dir / "a.7z", WebDav::url("elsewhere") + name, ACCOUNT, 401, "the server answered 401 Unauthorized after a "
         "redirect to http://localhost" + dav.substr(dav.find(':', 5)) + "; the login is sent only to the host given"},
        {dir / "a.7z", "http://127.0.0.1:1/dav/a.7z", ACCOUNT, 7, "127.0.0.1"},  // nothing listens on port 1
        {dir / "missing.7z", dav, ACCOUNT, 26, "missing.7z: No such file or directory"},
        {dir.path(), dav, ACCOUNT, 26, "Is a directory"},
        {dir / "a.7z", "ftp://127.0.0.1/a.7z", ACCOUNT, 1, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(upload(c.local, c.url, c.credentials, nullptr, c.redirects), WL_E_TRANSFER) << c.url;
        EXPECT_EQ(result.network_error, c.error) << c.url;
        if (c.error >= 100)
            EXPECT_EQ(error_text(), c.text);
        else
            EXPECT_NE(error_text().find(c.text), std::string::npos) << error_text();
    }
    EXPECT_FALSE(fs::exists(WebDav::stored("dav", name)));
}

TEST_F(Wlink, AStopFromTheCallbackEndsTheRequestWithFour) {
    bktest::write_file(dir / "a.7z", random_bytes(64 * 1024));
    bktest::write_file(dir / "big.7z", random_bytes(2 * 1024 * 1024));
    const std::string name = bktest::unique_name(".7z");
    // While the slow location is taking the body in (before anything has
    // gone out: the cloud upload's cancel).
    ProgressLog sending{WL_PHASE_SENDING, {}};
    EXPECT_EQ(upload(dir / "big.7z", WebDav::url("slow") + name, ACCOUNT, &sending), WL_E_CANCELED);
    EXPECT_EQ(sending.reports.back().phase, WL_PHASE_SENDING);
    const fs::path stored = WebDav::stored("slow", name);
    EXPECT_FALSE(fs::exists(stored) && fs::file_size(stored) == 2 * 1024 * 1024);
    // The session is still good for the next request.
    EXPECT_EQ(upload(dir / "a.7z", WebDav::url("dav") + name), WL_OK) << error_text();
}

}  // namespace
