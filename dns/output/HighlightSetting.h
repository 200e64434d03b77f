// The Highlight setting: fills the colour slots once per DNS command run.
#pragma once
#include <cstdint>

// Returns the highlight attribute, or 0 when highlighting is off.
uint8_t LoadHighlightSetting(int disable);
