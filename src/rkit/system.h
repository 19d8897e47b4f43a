// Facts about this machine.
#pragma once
#include <string>

namespace rkit {

// This computer's name (gethostname).
std::wstring get_system_name();

}  // namespace rkit
