// The architecture of docs/layers.md holds: every #include "folder/..." of a
// file in src/ names its own layer or one its layer may see.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

TEST(Layers, EveryIncludeOfSrcStaysInItsLayerOrBelow) {
    const fs::path source_dir = SOURCE_DIR;
    // For each layer, the layers it may see: those of its row and all below them.
    std::map<std::string, std::set<std::string>> sees;
    std::ifstream table(source_dir / "docs/layers.md");
    const std::regex row(R"(^\| ([a-z]+) \|([a-z ]*)\|$)"), include(R"(^\s*#\s*include\s+"([a-z0-9_]+)/)");
    std::smatch m;
    for (std::string line; std::getline(table, line);) {
        if (!std::regex_match(line, m, row)) continue;
        std::set<std::string>& seen = sees[m[1]];
        std::istringstream deps(m[2]);
        for (std::string dep; deps >> dep;) {
            EXPECT_TRUE(sees.count(dep) && dep != m[1].str()) << m[1] << " stands on " << dep << ", not a row above";
            seen.insert(dep);
            seen.insert(sees[dep].begin(), sees[dep].end());
        }
    }
    ASSERT_TRUE(sees.count("rkit") && sees.count("app"));

    int checked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(source_dir / "src")) {
        if (entry.path().extension() != ".cpp" && entry.path().extension() != ".h") continue;
        const std::string layer = fs::relative(entry.path(), source_dir / "src").begin()->string();
        ASSERT_TRUE(sees.count(layer)) << "folder " << layer << " is no layer of docs/layers.md";
        std::ifstream file(entry.path());
        for (std::string line; std::getline(file, line);) {
            if (!std::regex_search(line, m, include)) continue;
            const std::string target = m[1];
            ++checked;
            if (target == layer || target == "vardobk" || target == "wlink3") continue;  // include/ is public
            EXPECT_TRUE(sees.at(layer).count(target)) << entry.path().string() << ": " << line;
        }
    }
    EXPECT_GT(checked, 100);
}
