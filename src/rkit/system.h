// Facts about this machine.
#pragma once
#include <string>
#include <vector>

namespace rkit {

// This computer's name (gethostname).
std::wstring get_system_name();

// Where the file systems of removable block devices (USB sticks, memory
// cards) are mounted, in the order of the mount table. mounts and sys_block
// stand for /proc/mounts and /sys/class/block.
std::vector<std::wstring> removable_mount_points(const std::string& mounts = "/proc/mounts",
                                                 const std::string& sys_block = "/sys/class/block");

}  // namespace rkit
