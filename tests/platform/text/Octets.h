// An IPv4 address as the socket library keeps it: its four octets in network order.
#pragma once
#include <cstdint>
#include <cstring>

inline uint32_t Octets(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t bytes[4] = {a, b, c, d};
    uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}
