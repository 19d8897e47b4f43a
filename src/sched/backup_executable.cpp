// Starting vdbackup: the command line is split by the Windows rules and run
// directly, never through a shell, so that no text of the user (a comment, a
// path) is ever read as shell syntax.
#include <dlfcn.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "rkit/command_line_split.h"
#include "rkit/path.h"
#include "rkit/process.h"
#include "rkit/text.h"
#include "sched/command_line.h"

namespace bk {

namespace {

bool is_runnable(const std::wstring& path) { return rkit::is_executable_file(rkit::native_path(path)); }

// The folder of the library this code was linked into: libvardobk.so for a
// host, the program itself when the code is linked statically.
std::wstring module_folder() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&module_folder), &info) == 0 || info.dli_fname == nullptr) return {};
    char* real = ::realpath(info.dli_fname, nullptr);
    if (real == nullptr) return {};
    const std::wstring folder = rkit::extract_dir(rkit::from_native_path(real));
    std::free(real);
    return folder;
}

std::vector<std::wstring> search_folders() {
    // An installed module stands in its own folder below the library folder;
    // the vdbackup installed with it is in the programs' folder.
    const std::wstring module = module_folder();
    std::wstring installed_bin;
    if (!module.empty() && !rkit::get_absolute_path(module, rkit::char_to_wide(VARDOBK_BIN_FROM_MODULE), installed_bin))
        installed_bin.clear();
    std::vector<std::wstring> folders{rkit::extract_dir(own_executable_path()), module, installed_bin};
    if (const char* path = std::getenv("PATH")) {
        const std::string text = path;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find(':', start);
            if (end == std::string::npos) end = text.size();
            // An empty entry would mean the current folder: not searched, so
            // that a file planted in the host's data folder is never run.
            if (end > start) folders.push_back(rkit::from_native_path(text.substr(start, end - start)));
            start = end + 1;
        }
    }
    return folders;
}

}  // namespace

std::wstring find_backup_executable(const std::wstring& name) {
    if (name.empty()) return {};
    if (name.find_first_of(L"/\\") != std::wstring::npos) {
        std::wstring full;
        if (!rkit::get_absolute_path(rkit::get_current_dir(), name, full) || !is_runnable(full)) return {};
        return full;
    }
    for (const std::wstring& folder : search_folders()) {
        if (folder.empty()) continue;
        const std::wstring candidate = rkit::concat_path(folder, name);
        if (is_runnable(candidate)) return candidate;
    }
    return {};
}

std::wstring scheduled_backup_executable(const std::wstring& folder) {
    const std::wstring beside_host = rkit::concat_path(folder, BACKUP_EXECUTABLE_NAME);
    if (is_runnable(beside_host)) return beside_host;
    const std::wstring found = find_backup_executable(BACKUP_EXECUTABLE_NAME);
    return found.empty() ? beside_host : found;
}

uint32_t start_backup_executable(const std::wstring& command_line, const std::wstring& working_folder) {
    const std::vector<std::wstring> args = rkit::split_command_line(command_line);
    if (args.empty()) return BK_FAILED;
    const std::wstring program = find_backup_executable(args[0]);
    if (program.empty()) return BK_FAILED;

    // A session of its own, so that a Ctrl+C meant for the host (or the
    // host's end) does not reach it; the host's standard streams; not waited
    // for, and never left as the host's zombie.
    rkit::child_spec spec;
    spec.program = rkit::native_path(program);
    for (const std::wstring& arg : args) spec.args.push_back(rkit::wide_to_char(arg));
    if (!working_folder.empty()) spec.folder = rkit::native_path(working_folder);
    spec.input = spec.output = rkit::child_stream::inherit;
    return rkit::start_detached(spec) ? BK_DONE : BK_FAILED;
}

}  // namespace bk
