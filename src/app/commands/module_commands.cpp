#include <mutex>

#include "app/commands/commands.h"

namespace bk {
namespace {

std::mutex archive_lock;
std::wstring archive_used;

}  // namespace

void set_last_archive(const std::wstring& archive) {
    std::lock_guard lock(archive_lock);
    archive_used = archive;
}

std::wstring last_archive() {
    std::lock_guard lock(archive_lock);
    return archive_used;
}

const CommandTable& module_commands() {
    static const CommandTable table{backup_command, restore_command, settings_command,
                                    end_of_work_command};
    return table;
}

}  // namespace bk
