#include "rkit/clock.h"

#include <time.h>

#include <atomic>
#include <chrono>

namespace rkit::clock {

namespace {

std::atomic<bool> fixed{false};
std::atomic<int64_t> fixed_value{0};

timestamp local_now() {
    const auto now = std::chrono::system_clock::now();
    const auto since_epoch = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const time_t seconds = static_cast<time_t>(since_epoch / 1000);
    tm local{};
    localtime_r(&seconds, &local);
    const date d(local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
    // A leap second is folded into the second before it.
    const rkit::time t(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec);
    timestamp ts;
    ts.put(d, t);
    return timestamp(ts.get() + since_epoch % 1000);
}

}  // namespace

timestamp now() {
    if (fixed.load()) return timestamp(fixed_value.load());
    return local_now();
}

void set_fixed(const timestamp& t) {
    fixed_value.store(t.get());
    fixed.store(true);
}

void reset() { fixed.store(false); }

}  // namespace rkit::clock
