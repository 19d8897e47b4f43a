// The one source of the current time. Tests fix it so that retention, the
// once-a-day rule and the daily clock rule can be checked without waiting.
#pragma once
#include <optional>
#include "rkit/datetime.h"

namespace rkit::clock {

timestamp now();
// From now on now() returns t (and stays there until changed).
void set_fixed(const timestamp& t);
// Back to the machine's local time.
void reset();

}  // namespace rkit::clock
