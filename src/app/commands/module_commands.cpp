#include "app/commands/commands.h"

namespace bk {

const CommandTable& module_commands() {
    static const CommandTable table{backup_command, restore_command, settings_command,
                                    end_of_work_command};
    return table;
}

}  // namespace bk
