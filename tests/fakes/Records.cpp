#include "tests/fakes/Records.h"

#include <cstring>

namespace {
#if defined(_WIN32)
// The tests call the socket library directly, before any module code has started it.
const bool SocketLibraryStarted = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}();
#endif
} // namespace

TestRecord::TestRecord(uint16_t type, size_t txtStrings) {
    size_t bytes = sizeof(DNS_RECORD) + (txtStrings + 1) * sizeof(wchar_t*);
    size_t units = (bytes + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
    memory_ = std::make_unique<std::max_align_t[]>(units);
    std::memset(memory_.get(), 0, units * sizeof(std::max_align_t));
    record_ = reinterpret_cast<DNS_RECORD*>(memory_.get());
    record_->wType = type;
}

void TestRecord::SetTxt(const std::vector<wchar_t*>& strings) {
    record_->Data.TXT.dwStringCount = static_cast<uint32_t>(strings.size());
#if defined(_WIN32)
    auto* at =
        reinterpret_cast<std::byte*>(&record_->Data.TXT) + offsetof(DNS_TXT_DATAW, pStringArray);
    if (!strings.empty()) std::memcpy(at, strings.data(), strings.size() * sizeof(wchar_t*));
#else
    array_ = strings;
    record_->Data.TXT.pStringArray = array_.data();
#endif
}

void TestRecord::SetIp6(const std::array<uint8_t, 16>& address) {
    std::memcpy(const_cast<uint8_t*>(DnsRecordIp6Bytes(record_)), address.data(), 16);
}

void TestRecord::SetLoc(uint32_t latitude, uint32_t longitude, uint32_t altitude) {
    uint8_t* bytes = const_cast<uint8_t*>(DnsRecordLocBytes(record_));
    std::memset(bytes, 0, 16);
    uint32_t values[3] = {NetworkOrder(latitude), NetworkOrder(longitude), NetworkOrder(altitude)};
    std::memcpy(bytes + 4, values, sizeof values);
}

uint32_t NetworkOrder(uint32_t value) {
    uint8_t bytes[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8),
                        uint8_t(value)};
    uint32_t out;
    std::memcpy(&out, bytes, sizeof out);
    return out;
}
