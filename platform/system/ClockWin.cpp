// Time service on Windows: the system time in 100-nanosecond units, the tick counter, Sleep.
#include <windows.h>

#include "platform/system/Clock.h"

uint64_t ClockSystemTime() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime;
}

uint32_t ClockTickCount() {
    return GetTickCount();
}

void ClockSleep(uint32_t milliseconds) {
    Sleep(milliseconds);
}
