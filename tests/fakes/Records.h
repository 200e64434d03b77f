// DNS_RECORDs for tests, laid out as the platform's DNS client lays them out: on Windows the
// TXT string pointers stand in the record itself after the count, elsewhere in an array of
// their own. Also the socket functions the tests use to write addresses.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/resolver/DnsClient.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

// One zeroed record of the type, owning room for txtStrings TXT string pointers.
class TestRecord {
  public:
    explicit TestRecord(uint16_t type, size_t txtStrings = 0);
    DNS_RECORD* get() { return record_; }
    DNS_RECORD* operator->() { return record_; }
    DNS_RECORD& operator*() { return *record_; }

    // The TXT strings (the count is set to their number; the texts are not copied).
    void SetTxt(const std::vector<wchar_t*>& strings);
    void SetIp6(const std::array<uint8_t, 16>& address);
    // LOC data: version 0 and precisions zero, then the three values in network order.
    void SetLoc(uint32_t latitude, uint32_t longitude, uint32_t altitude);

  private:
    std::unique_ptr<std::max_align_t[]> memory_;
    std::vector<wchar_t*> array_;
    DNS_RECORD* record_ = nullptr;
};

// A 32-bit value in network byte order, as the platform's records hold addresses.
uint32_t NetworkOrder(uint32_t value);
