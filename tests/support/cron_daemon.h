// Debian's cron daemon in the foreground, for a test that waits for a
// scheduled task to run. It reads the crontabs of /var/spool/cron and picks
// up a crontab changed by `crontab -` within a minute; jobs start at the turn
// of a minute, so a test waits up to two. Only one cron may run on a machine:
// it locks /run/crond.pid and a second one ends at once, which started()
// tells. Logging goes to syslog (-L 15: starts, ends, failures, pids).
#pragma once
#include <poll.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "rkit/process.h"

namespace bktest {

class CronDaemon {
public:
    CronDaemon() {
        rkit::child_spec spec;
        spec.args = {"cron", "-f", "-L", "15"};
        spec.output = rkit::child_stream::inherit;  // its complaints, such as the lock being taken
        child_ = rkit::waited_child(spec);
        // A cron that cannot take the lock ends within moments.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        running_ = child_.started() && !ended();
    }
    ~CronDaemon() {
        if (running_ && !ended()) kill(-child_.group(), SIGTERM);  // cron and any job of it still going
        child_.wait();
    }
    CronDaemon(const CronDaemon&) = delete;
    CronDaemon& operator=(const CronDaemon&) = delete;

    bool started() const { return running_; }

private:
    bool ended() const {
        pollfd fd{child_.end_fd(), POLLIN, 0};
        return poll(&fd, 1, 0) > 0;
    }
    rkit::waited_child child_;
    bool running_ = false;
};

}  // namespace bktest
