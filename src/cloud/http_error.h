// A failed HTTP request: the library's text and its network error code.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

namespace bk {

class http_error : public std::runtime_error {
public:
    http_error(const std::string& message, int32_t code) : std::runtime_error(message), code_(code) {}
    // The HTTP status, or the transport's own error code.
    int32_t code() const noexcept { return code_; }

private:
    int32_t code_;
};

}  // namespace bk
