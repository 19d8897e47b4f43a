#include "rkit/system.h"

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "rkit/text.h"

namespace rkit {
namespace {

// The mount table writes blanks, tabs, new lines and backslashes in octal
// ("\040"), so that its fields stay split at blanks.
std::string unescape_mount_field(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.size() == 3 && digits.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool reads_one(const std::filesystem::path& file) {
    std::ifstream in(file);
    char flag = 0;
    return in >> flag && flag == '1';
}

// A partition (sdb1) is removable when its disk (sdb) is.
bool is_removable_device(const std::string& device, const std::string& sys_block) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path name = fs::weakly_canonical(device, error).filename();
    if (error || name.empty()) return false;
    const fs::path entry = fs::path(sys_block) / name;
    if (reads_one(entry / "removable")) return true;
    const fs::path resolved = fs::canonical(entry, error);
    return !error && fs::exists(resolved / "partition", error) && reads_one(resolved.parent_path() / "removable");
}

}  // namespace

std::wstring get_system_name() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return char_to_wide(name);
}

std::vector<std::wstring> removable_mount_points(const std::string& mounts, const std::string& sys_block) {
    std::vector<std::wstring> points;
    std::ifstream table(mounts);
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string device, point;
        if (!(fields >> device >> point) || device.rfind("/dev/", 0) != 0) continue;
        if (is_removable_device(unescape_mount_field(device), sys_block))
            points.push_back(char_to_wide(unescape_mount_field(point)));
    }
    return points;
}

}  // namespace rkit
