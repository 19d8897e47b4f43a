// Percent-encoding for URIs: a byte that may not stand for itself becomes
// "%" and its two hex digits (upper case).
#pragma once
#include <string>
#include <string_view>

namespace rkit {

// bytes with every byte percent-encoded except the unreserved ones (ASCII
// letters and digits, "-", ".", "_", "~") and those in also_plain, which
// differ with the part of the URI the text becomes.
std::string percent_encode(std::string_view bytes, std::string_view also_plain = {});

}  // namespace rkit
