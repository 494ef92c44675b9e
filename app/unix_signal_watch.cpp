#include "app/unix_signal_watch.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> watched_signals{SIGTERM, SIGINT, SIGHUP};

// [0] is read by the event loop, [1] written by the handler. One watch per process.
int signal_pipe[2] = {-1, -1};

// Set by the handler, read on the GUI thread.
std::atomic<bool> signal_seen{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void on_termination_signal(int number) {
    const int saved_errno = errno;
    signal_seen.store(true, std::memory_order_relaxed);
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signal_pipe[1], &byte, 1);
    errno = saved_errno;
}

} // namespace

Unix_Signal_Watch::Unix_Signal_Watch(QObject* parent) : QObject(parent) {
    if (signal_pipe[0] != -1 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signal_pipe) != 0) {
        return;
    }
    struct sigaction action = {};
    action.sa_handler = on_termination_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : watched_signals) {
        ::sigaction(number, &action, nullptr);
    }
    notifier = std::make_unique<QSocketNotifier>(signal_pipe[0], QSocketNotifier::Read);
    connect(notifier.get(), &QSocketNotifier::activated, this, &Unix_Signal_Watch::drain);
}

Unix_Signal_Watch::~Unix_Signal_Watch() {
    if (!notifier) {
        return;
    }
    notifier.reset();
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : watched_signals) {
        ::sigaction(number, &action, nullptr);
    }
    ::close(signal_pipe[0]);
    ::close(signal_pipe[1]);
    signal_pipe[0] = signal_pipe[1] = -1;
}

bool Unix_Signal_Watch::signalled() {
    return signal_seen.load(std::memory_order_relaxed);
}

void Unix_Signal_Watch::drain() {
    unsigned char byte = 0;
    while (::read(signal_pipe[0], &byte, 1) == 1) {
        emit termination_requested(byte);
    }
}
