// The profile through which the backup executable stands in for the host.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "settings/host_profile.h"
#include "settings/xml.h"
#include "support/temp_dir.h"

namespace {

std::map<std::string, std::string> host_values;

int32_t answer(const char* key, char* buffer, int32_t size) {
    auto it = host_values.find(key);
    if (it == host_values.end()) return -1;
    const auto len = static_cast<int32_t>(it->second.size());
    std::copy_n(it->second.data(), std::min(len, size), buffer);
    return len;
}

TEST(HostProfile, KeepsTheHostsOwnParametersButNoBatchValues) {
    host_values = {{"root_path", "/srv/бухгалтерия"},
                   {"shp_path", "/srv/бухгалтерия/base \"2024\" & <копия>.shp"},
                   {"workplace", "3"},
                   {"batch", "1"},
                   {"batch_password", "secret"},
                   {"batch_archive", "/tmp/a.7z"}};
    bk::HostProfile profile = bk::read_host_profile_from(answer);
    EXPECT_EQ(profile.size(), 3u);
    EXPECT_EQ(profile.count("batch"), 0u);
    EXPECT_EQ(profile.count("batch_password"), 0u);

    bktest::TempDir dir;
    const std::wstring path = (dir / "vdbackup_host.xml").wstring();
    bk::write_host_profile(path, profile);
    EXPECT_EQ(bk::read_host_profile(path), profile);
    const std::string text = bktest::read_file(dir / "vdbackup_host.xml");
    EXPECT_NE(text.find("<param name=\"workplace\" node_value=\"3\"/>"), std::string::npos) << text;
}

TEST(HostProfile, ABrokenProfileIsAnErrorNotAnEmptyHost) {
    bktest::TempDir dir;
    bktest::write_file(dir / "p.xml", "<root><param name=\"root_path\" node_value=\"/x\"");
    EXPECT_THROW(bk::read_host_profile((dir / "p.xml").wstring()), bk::xml_error);
    bktest::write_file(dir / "q.xml", "<root><param node_value=\"/x\"/></root>");
    EXPECT_THROW(bk::read_host_profile((dir / "q.xml").wstring()), std::exception);
    EXPECT_THROW(bk::read_host_profile((dir / "missing.xml").wstring()), bk::xml_error);
}

}  // namespace
