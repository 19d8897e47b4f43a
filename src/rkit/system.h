// Facts about this machine.
#pragma once
#include <string>

namespace rkit {

// This computer's name (gethostname).
std::wstring get_system_name();

class unique_id {
public:
    unique_id() = default;  // the nil id
    void generate_new();    // a random id, different from every earlier one
    std::wstring to_wstring() const;  // "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", lower case

private:
    unsigned char bytes_[16] = {};
};

}  // namespace rkit
