// Root's crontab kept for a test, and Debian's cron daemon in the foreground for a test that waits for a
// scheduled task: it picks up a crontab changed by `crontab -` and starts jobs at the turn of a minute, so
// such a test waits up to two. Only one cron may run (it locks /run/crond.pid: started() tells); -L 15 logs
// starts, ends, failures and pids to syslog.
#pragma once
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "rkit/process.h"
#include "sched/crontab.h"

namespace bktest {

// Whether crontab can store a table here: not in the mutation runs' sandbox,
// which takes a skipped test for a failed one; a test then returns at once.
inline bool crontab_unavailable() {
    if (access("/var/spool/cron/crontabs", W_OK) == 0) return false;
    std::fprintf(stderr, "root's crontab cannot be written here: this test checks nothing\n");
    return true;
}

// Root's crontab as the test found it, put back at the end whatever the test
// did: the tests run as root on a real machine.
class KeptCrontab {
public:
    KeptCrontab() : had_(std::system("crontab -l >/dev/null 2>&1") == 0), saved_(sched::read_crontab()) {}
    ~KeptCrontab() {
        const bool has = std::system("crontab -l >/dev/null 2>&1") == 0;
        if (had_ ? has && sched::read_crontab() == saved_ : !has) return;  // as it was found
        if (had_) sched::write_crontab(saved_);
        else if (std::system("crontab -r 2>/dev/null") != 0) ADD_FAILURE() << "crontab not removed";
    }
    KeptCrontab(const KeptCrontab&) = delete;
    KeptCrontab& operator=(const KeptCrontab&) = delete;

private:
    bool had_;
    std::string saved_;
};

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
