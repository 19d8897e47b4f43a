// One open file descriptor and the duty to close it.
#pragma once
#include <utility>

namespace rkit {

class unique_fd {
public:
    unique_fd() = default;
    explicit unique_fd(int fd) : fd_(fd) {}
    ~unique_fd() { reset(); }
    unique_fd(unique_fd&& other) noexcept : fd_(other.release()) {}
    unique_fd& operator=(unique_fd&& other) noexcept {
        reset(other.release());
        return *this;
    }
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Hands the descriptor over: nobody closes it here any more.
    int release() { return std::exchange(fd_, -1); }
    // Closes the descriptor held, if any, and holds fd. errno stays as it
    // was: a clean-up must not hide the failure it cleans up after.
    void reset(int fd = -1);
    // Closes now and tells whether close succeeded: a full disk on a
    // network file system may show only here.
    bool close();

private:
    int fd_ = -1;
};

}  // namespace rkit
