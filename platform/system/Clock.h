// Time service: wall clock, millisecond tick counter and sleep.
#pragma once
#include <cstdint>

uint64_t ClockSystemTime(); // 100-nanosecond units; only differences are used
uint32_t ClockTickCount();  // milliseconds, wraps around
void ClockSleep(uint32_t milliseconds);
