// A stop asked for from outside the user interface: the backup executable
// turns SIGINT, SIGTERM and SIGHUP into it. The task under way sees it as its
// user's Cancel, so that it cleans up as after a Cancel.
#pragma once

namespace bk {

// Safe in a signal handler and from any thread. The request holds until the
// command under way (or, when none is, the next one) ends.
void request_stop() noexcept;
bool stop_requested() noexcept;
// Called by the dispatcher when a command ends.
void clear_stop_request() noexcept;

}  // namespace bk
