#pragma once

#include <unistd.h>
#include <utility>

namespace board {

// Owns one file descriptor and closes it when replaced or destroyed.
class Unique_Fd {
public:
    Unique_Fd() = default;
    explicit Unique_Fd(int fd) : fd(fd) {}
    ~Unique_Fd() { reset(); }

    Unique_Fd(Unique_Fd&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Unique_Fd& operator=(Unique_Fd&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.fd, -1));
        }
        return *this;
    }
    Unique_Fd(const Unique_Fd&) = delete;
    Unique_Fd& operator=(const Unique_Fd&) = delete;

    int get() const { return fd; }
    bool valid() const { return fd >= 0; }

    void reset(int replacement = -1) {
        if (fd >= 0) {
            ::close(fd);
        }
        fd = replacement;
    }

private:
    int fd = -1;
};

} // namespace board
