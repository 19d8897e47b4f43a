#include "rkit/system.h"

#include <unistd.h>

#include <climits>

#include "rkit/text.h"

namespace rkit {

std::wstring get_system_name() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return char_to_wide(name);
}

}  // namespace rkit
