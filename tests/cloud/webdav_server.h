// The Apache httpd WebDAV server that the CTest fixture "webdav" starts with
// webdav_server.sh in WEBDAV_SERVER_DIR (a folder of the build tree). To run a
// test program by hand: tests/cloud/webdav_server.sh start <that folder>.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace bktest {

struct WebDav {
    static constexpr const char* login = "backup";
    static constexpr const char* password = "secret";

    // http://127.0.0.1:PORT/location/ with location "dav", "digest", "slow" or "moved".
    static std::string url(const std::string& location) {
        int port = 0;
        if (!(std::ifstream(std::filesystem::path(WEBDAV_SERVER_DIR) / "port") >> port))
            throw std::runtime_error("no WebDAV server: tests/cloud/webdav_server.sh start " WEBDAV_SERVER_DIR);
        return "http://127.0.0.1:" + std::to_string(port) + "/" + location + "/";
    }
    // Where the server keeps what was uploaded to location.
    static std::filesystem::path stored(const std::string& location, const std::string& name) {
        return std::filesystem::path(WEBDAV_SERVER_DIR) / "htdocs" / location / name;
    }
};

// A name no other test uses, for the files a test puts on the shared server.
inline std::string unique_name(const std::string& suffix) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "." + info->name() + suffix;
}

}  // namespace bktest
