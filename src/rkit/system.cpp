#include "rkit/system.h"

#include <unistd.h>

#include <climits>
#include <random>

#include "rkit/text.h"

namespace rkit {

std::wstring get_system_name() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return char_to_wide(name);
}

void unique_id::generate_new() {
    std::random_device source;
    for (size_t i = 0; i < sizeof bytes_; i += 4) {
        const auto word = source();
        for (size_t k = 0; k < 4; ++k) bytes_[i + k] = static_cast<unsigned char>(word >> (8 * k));
    }
    // Marked as a random (version 4, RFC 4122 variant) id.
    bytes_[6] = static_cast<unsigned char>((bytes_[6] & 0x0F) | 0x40);
    bytes_[8] = static_cast<unsigned char>((bytes_[8] & 0x3F) | 0x80);
}

std::wstring unique_id::to_wstring() const {
    static constexpr wchar_t hex[] = L"0123456789abcdef";
    std::wstring out;
    for (size_t i = 0; i < sizeof bytes_; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += L'-';
        out += hex[bytes_[i] >> 4];
        out += hex[bytes_[i] & 0x0F];
    }
    return out;
}

}  // namespace rkit
