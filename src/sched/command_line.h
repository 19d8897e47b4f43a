// The command lines the module writes for the backup executable, vdbackup,
// and the start of that executable.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/host_params.h"
#include "settings/settings.h"

namespace bk {

// The backup executable's file name.
inline constexpr const wchar_t* BACKUP_EXECUTABLE_NAME = L"vdbackup";

// The quoted full path of vdbackup in folder (the program name of a
// scheduled task).
std::wstring executable_path(const std::wstring& folder);

// [vdbackup ]"program" /Q[ /P=pid]. An empty program path stands for the
// running executable.
std::wstring base_command_line(bool without_program_name, bool with_process_id,
                               const std::wstring& program_path);

// The base, then /B /T=keep [/O] /C="comment" [/D="database"] [/E="a;b"]
// [/U="user"] [/W=n], from the run parameters and the identity.
std::wstring backup_command_line(const HostIdentity& identity, const AutoParams& run,
                                 bool without_program_name, bool with_process_id,
                                 const std::wstring& program_path, const std::wstring& database_path);

// The components of an /E= list ("a;b"), empty names dropped: what
// backup_command_line joins, split again.
std::vector<std::wstring> split_component_list(const std::wstring& list);

// vdbackup "this program" /Q /P=pid /R /A="archive" /X /K1="..." ...
std::wstring restore_command_line(const std::wstring& archive);

// vdbackup "this program" /Q /P=pid /Z /X /K1="..." ...
std::wstring end_of_work_command_line();

// " /K1="a" /K2="b" ..." for the arguments after the program name.
std::wstring passed_arguments(const std::vector<std::wstring>& process_args);
// The running process's own arguments, program name first (/proc/self/cmdline).
std::vector<std::wstring> own_process_arguments();
// The running process's executable (/proc/self/exe); empty when unknown.
std::wstring own_executable_path();

// Where a program name of a module command line is found: a name with a
// folder in it is taken as it is (made absolute); a bare name is looked for
// beside the running executable, then beside the module library, then in
// the programs' folder of an installation the module belongs to, then along
// PATH. Empty when it is nowhere.
std::wstring find_backup_executable(const std::wstring& name);

// The vdbackup a scheduled task of the host in folder runs, unquoted: the
// one in folder when there is one, else the one find_backup_executable
// finds; folder's own when there is none at all, so the task names where
// it is expected.
std::wstring scheduled_backup_executable(const std::wstring& folder);

// Starts the command line (split by the Windows rules, run without a shell)
// in working_folder and does not wait for it. BK_DONE when it runs, BK_FAILED
// when it cannot be found or started; nothing is added to the error list.
uint32_t start_backup_executable(const std::wstring& command_line, const std::wstring& working_folder);

}  // namespace bk
