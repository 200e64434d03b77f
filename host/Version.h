#pragma once

inline constexpr const wchar_t* CorvaneVersion = L"1.0.0";
