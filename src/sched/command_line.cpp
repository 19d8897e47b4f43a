#include "sched/command_line.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "rkit/command_line_quote.h"
#include "rkit/path.h"
#include "rkit/text.h"

namespace bk {

std::wstring own_executable_path() {
    std::error_code ec;
    const auto target = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::wstring() : rkit::from_native_path(target.native());
}

std::vector<std::wstring> own_process_arguments() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::wstring> args;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\0', start);
        if (end == std::string::npos) end = bytes.size();
        args.push_back(rkit::char_to_wide(std::string_view(bytes).substr(start, end - start)));
        start = end + 1;
    }
    return args;
}

std::wstring executable_path(const std::wstring& folder) {
    return rkit::quote_program_name(rkit::concat_path(folder, BACKUP_EXECUTABLE_NAME));
}

std::vector<std::wstring> split_component_list(const std::wstring& list) {
    std::vector<std::wstring> names;
    for (size_t begin = 0; begin <= list.size();) {
        size_t end = list.find(L';', begin);
        if (end == std::wstring::npos) end = list.size();
        if (end > begin) names.push_back(list.substr(begin, end - begin));
        begin = end + 1;
    }
    return names;
}

std::wstring base_command_line(bool without_program_name, bool with_process_id,
                               const std::wstring& program_path) {
    std::wstring line;
    if (!without_program_name) line = std::wstring(BACKUP_EXECUTABLE_NAME) + L' ';
    line += rkit::quote_argument(program_path.empty() ? own_executable_path() : program_path);
    line += L" /Q";
    if (with_process_id) line += L" /P=" + std::to_wstring(static_cast<uint32_t>(::getpid()));
    return line;
}

std::wstring backup_command_line(const HostIdentity& identity, const AutoParams& run,
                                 bool without_program_name, bool with_process_id,
                                 const std::wstring& program_path, const std::wstring& database_path) {
    std::wstring line = base_command_line(without_program_name, with_process_id, program_path);
    line += L" /B /T=" + std::to_wstring(run.keeptime);
    if (run.flags & AUTO_ONCE_A_DAY) line += L" /O";
    line += L" /C=" + rkit::quote_argument(run.comment);
    if (!database_path.empty()) line += L" /D=" + rkit::quote_argument(database_path);
    if (!run.excl_comp.empty()) {
        std::wstring joined;
        for (const std::wstring& name : run.excl_comp) {
            if (name.empty()) continue;
            if (!joined.empty()) joined += L';';
            joined += name;
        }
        line += L" /E=" + rkit::quote_argument(joined);
    }
    if (!identity.username.empty()) line += L" /U=" + rkit::quote_argument(identity.username);
    if (identity.workplace >= 1) line += L" /W=" + std::to_wstring(identity.workplace);
    return line;
}

std::wstring passed_arguments(const std::vector<std::wstring>& process_args) {
    std::wstring text;
    for (size_t i = 1; i < process_args.size(); ++i)
        text += L" /K" + std::to_wstring(i) + L'=' + rkit::quote_argument(process_args[i]);
    return text;
}

std::wstring restore_command_line(const std::wstring& archive) {
    return base_command_line(false, true, {}) + L" /R /A=" + rkit::quote_argument(archive) + L" /X" +
           passed_arguments(own_process_arguments());
}

std::wstring end_of_work_command_line() {
    return base_command_line(false, true, {}) + L" /Z /X" + passed_arguments(own_process_arguments());
}

}  // namespace bk
