// The entry of every command: bkDispatch without the C linkage.
#pragma once
#include <cstdint>
#include "vardobk/vardobk.h"

namespace bk {

using CommandFunction = uint32_t (*)(void* parent, uint32_t flags, HostParamCallback params);

// The command functions, one per command code 1 to 4. Kept as a table so that
// the dispatcher does not depend on the subsystems behind the commands.
struct CommandTable {
    CommandFunction backup = nullptr;
    CommandFunction restore = nullptr;
    CommandFunction settings = nullptr;
    CommandFunction end_of_work = nullptr;
};

uint32_t dispatch(const CommandTable& commands, int32_t command, void* parent, uint32_t flags,
                  HostParamCallback params, HelpCallback help);

// One command at a time: set on entry of a command, cleared on every way out.
class BusyGuard {
public:
    BusyGuard();
    ~BusyGuard();
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;
    // False when another command was already running; the guard then owns nothing.
    bool acquired() const { return acquired_; }

private:
    bool acquired_;
};

}  // namespace bk
