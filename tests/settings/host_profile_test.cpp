// The profile through which the backup executable stands in for the host:
// what it keeps, with values that need escaping. The executable's tests show
// it written, read and missing.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "settings/host_profile.h"
#include "xml/xml.h"
#include "support/temp_dir.h"

namespace {

const std::map<std::string, std::string> host_values = {
    {"root_path", "/srv/бухгалтерия"}, {"shp_path", "/srv/бухгалтерия/base \"2024\" & <копия>.shp"},
    {"workplace", "3"}, {"batch", "1"}, {"batch_password", "secret"}, {"batch_archive", "/tmp/a.7z"}};

int32_t answer(const char* key, char* buffer, int32_t size) {
    auto it = host_values.find(key);
    if (it == host_values.end()) return -1;
    std::memcpy(buffer, it->second.data(), std::min<size_t>(static_cast<size_t>(size), it->second.size()));
    return static_cast<int32_t>(it->second.size());
}

TEST(HostProfile, KeepsTheHostsOwnParametersButNoBatchValues) {
    const bk::HostProfile profile = bk::read_host_profile_from(answer);
    EXPECT_EQ(profile, (bk::HostProfile{{"root_path", L"/srv/бухгалтерия"},
                                        {"shp_path", L"/srv/бухгалтерия/base \"2024\" & <копия>.shp"},
                                        {"workplace", L"3"}}));
    bktest::TempDir dir;
    bk::write_host_profile((dir / "vdbackup_host.xml").wstring(), profile);
    EXPECT_EQ(bk::read_host_profile((dir / "vdbackup_host.xml").wstring()), profile);
    EXPECT_NE(bktest::read_file(dir / "vdbackup_host.xml").find("<param name=\"workplace\" node_value=\"3\"/>"),
              std::string::npos);
    // A parameter without a name is an error, not an empty key.
    bktest::write_file(dir / "q.xml", "<root><param node_value=\"/x\"/></root>");
    EXPECT_THROW(bk::read_host_profile((dir / "q.xml").wstring()), bk::xml_error);
}

}  // namespace
