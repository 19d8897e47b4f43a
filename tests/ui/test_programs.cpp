// The review programs as a reader of the README runs them, each in its own
// temporary folder on the offscreen platform.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/temp_dir.h"

namespace {

// Its exit code and what it printed.
std::pair<int, std::string> run(const std::string& command) {
    FILE* pipe = popen(("QT_QPA_PLATFORM=offscreen " + command + " 2>/dev/null").c_str(), "r");
    std::string out;
    for (char chunk[512]; size_t n = fread(chunk, 1, sizeof chunk, pipe);) out.append(chunk, n);
    return {WEXITSTATUS(pclose(pipe)), out};
}

TEST(Programs, TheGalleryDrawsEveryDialogAndTheDesktopHostRunsTheModulesEvents) {
    bktest::TempDir dir;
    const auto screens = dir.path() / "screens";
    EXPECT_EQ(run(BIN_DIR "/vardobk_gallery " + screens.string()).first, 0);
    for (const char* name :
         {"backup", "restore", "restore_warnings", "wait", "box_information", "box_retry", "box_warning"}) {
        std::ifstream png(screens / (std::string(name) + ".png"), std::ios::binary);
        std::string head(8, '\0');
        png.read(head.data(), 8);
        EXPECT_EQ(head, "\x89PNG\r\n\x1a\n") << name;
        EXPECT_GT((png.seekg(0, std::ios::end), static_cast<long>(png.tellg())), 2000) << name;
    }

    // A folder without a profile gets the demo data set; entering and leaving reach the module and fail nothing.
    const auto [code, out] = run(BIN_DIR "/vdhost --quit " + (dir.path() / "host").string());
    EXPECT_EQ(code, 0);
    EXPECT_NE(out.find("0x02000002 — 1 "), std::string::npos) << out;
    EXPECT_NE(out.find("0x03000002 — 1 "), std::string::npos) << out;
}

}  // namespace
