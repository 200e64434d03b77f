// Time service on POSIX: the monotonic clock serves both the elapsed-time clock and the tick
// counter, so a clock set back during a lookup cannot make a time negative.
#include "platform/system/Clock.h"

#include <ctime>

namespace {
uint64_t MonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}
} // namespace

uint64_t ClockSystemTime() {
    return MonotonicNanoseconds() / 100;
}

uint32_t ClockTickCount() {
    return static_cast<uint32_t>(MonotonicNanoseconds() / 1000000);
}

void ClockSleep(uint32_t milliseconds) {
    timespec delay{static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0) {
    }
}
