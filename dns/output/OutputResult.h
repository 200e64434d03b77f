// Result codes of every output operation.
#pragma once

inline constexpr int OutputDone = 0;
inline constexpr int OutputNoInput = -1;
inline constexpr int OutputNoMemory = -2;
inline constexpr int OutputBreak = -3;
