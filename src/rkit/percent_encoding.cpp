#include "rkit/percent_encoding.h"

namespace rkit {

std::string percent_encode(std::string_view bytes, std::string_view also_plain) {
    static constexpr char hex[] = "0123456789ABCDEF";
    static constexpr std::string_view unreserved =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        if (unreserved.find(c) != std::string_view::npos || also_plain.find(c) != std::string_view::npos) {
            out += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        }
    }
    return out;
}

}  // namespace rkit
