#include "core/stop_request.h"

#include <atomic>

namespace bk {
namespace {

std::atomic<bool> stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets it");

}  // namespace

void request_stop() noexcept { stop.store(true); }
bool stop_requested() noexcept { return stop.load(); }
void clear_stop_request() noexcept { stop.store(false); }

}  // namespace bk
