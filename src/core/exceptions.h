// The module's own exceptions.
#pragma once
#include <stdexcept>
#include <string>

namespace bk {

// A worker task stopped because the user asked it to; never an error message.
class task_canceled : public std::exception {
public:
    const char* what() const noexcept override { return "canceled"; }
};

}  // namespace bk
