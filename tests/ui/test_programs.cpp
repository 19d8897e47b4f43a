// The review programs as a reader of the README runs them, each in its own
// temporary folder on the offscreen platform.
#include <gtest/gtest.h>

#include <string>

#include "support/archives.h"
#include "support/temp_dir.h"

namespace {

std::pair<int, std::string> run(const std::string& command) {
    return bktest::shell_status("QT_QPA_PLATFORM=offscreen " + command + " 2>/dev/null");
}

TEST(Programs, TheGalleryDrawsEveryDialogAndTheDesktopHostRunsTheModulesEvents) {
    bktest::TempDir dir;
    const auto screens = dir.path() / "screens";
    EXPECT_EQ(run(BIN_DIR "/vardobk_gallery " + screens.string()).first, 0);
    for (const char* name : {"backup", "restore", "restore_warnings", "wait", "box_information", "box_retry",
                             "box_warning"}) {
        const std::string png = bktest::read_file(screens / (std::string(name) + ".png"));
        EXPECT_TRUE(png.starts_with("\x89PNG") && png.size() > 2000) << name;
    }

    // A folder without a profile gets the demo data set; entering and leaving reach the module and fail nothing.
    const auto [code, out] = run(BIN_DIR "/vdhost --quit " + (dir.path() / "host").string());
    EXPECT_EQ(code, 0);
    EXPECT_NE(out.find("0x02000002 — 1 "), std::string::npos) << out;
    EXPECT_NE(out.find("0x03000002 — 1 "), std::string::npos) << out;
}

}  // namespace
