// What an archive holds, read with the archivers themselves rather than with
// the module that wrote it.
#pragma once
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace bktest {

// Output of a shell command; throws when it fails, unless it need not succeed.
std::string shell(const std::string& command, bool must_succeed = true);
// The exit code of a shell command and its output.
std::pair<int, std::string> shell_status(const std::string& command);
// The entries of a .7z or .rar archive in the order the archiver lists them.
std::vector<std::string> archive_entries(const std::filesystem::path& archive);
// The bytes of one entry.
std::string archive_entry(const std::filesystem::path& archive, const std::string& name);

}  // namespace bktest
