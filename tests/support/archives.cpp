#include "support/archives.h"

#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace bktest {

namespace {

std::string in_quotes(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

}  // namespace

std::pair<int, std::string> shell_status(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) throw std::runtime_error("popen failed: " + command);
    std::string out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string shell(const std::string& command, bool must_succeed) {
    auto [code, out] = shell_status(command);
    if (code != 0 && must_succeed) throw std::runtime_error("command failed: " + command);
    return out;
}

std::vector<std::string> archive_entries(const std::filesystem::path& archive) {
    const bool rar = archive.extension() == ".rar";
    std::istringstream listing(shell((rar ? "rar lb " : "7z l -slt -ba ") + in_quotes(archive)));
    std::vector<std::string> out;
    for (std::string line; std::getline(listing, line);)
        if (rar && !line.empty()) out.push_back(line);
        else if (!rar && line.starts_with("Path = ")) out.push_back(line.substr(7));
    return out;
}

std::string archive_entry(const std::filesystem::path& archive, const std::string& name) {
    if (archive.extension() == ".rar") return shell("rar p -inul " + in_quotes(archive) + " " + in_quotes(name));
    return shell("7z x -so " + in_quotes(archive) + " " + in_quotes(name) + " 2>/dev/null");
}

}  // namespace bktest
