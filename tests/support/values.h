// Values the tests build again and again: a moment, bytes no compressor can
// shrink, a path as the module spells it, and the message of what a call throws.
#pragma once
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <exception>
#include <string>

#include "rkit/datetime.h"
#include "rkit/path.h"

namespace bktest {

inline rkit::timestamp moment(int day, int month, int year, int hour = 10, int minute = 0, int second = 0) {
    rkit::timestamp t;
    t.put(rkit::date(day, month, year), rkit::time(hour, minute, second));
    return t;
}

// The same bytes for the same seed.
inline std::string random_bytes(size_t size, unsigned seed = 1) {
    std::mt19937_64 generator(seed);
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; i += 8) {
        const uint64_t v = generator();
        std::memcpy(bytes.data() + i, &v, std::min<size_t>(8, size - i));
    }
    return bytes;
}

// fs::path would convert by the process locale, which is "C" in a test.
inline std::wstring wide(const std::filesystem::path& path) { return rkit::from_native_path(path.string()); }

inline std::string error_of(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no exception>";
}

}  // namespace bktest
