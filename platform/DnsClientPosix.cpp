// Placeholder until this service is implemented.
#include "platform/DnsClient.h"

DNS_STATUS DnsQuery_W(const wchar_t*, uint16_t, uint32_t, IP4_ARRAY*, DNS_RECORD** results, void*) {
    if (results != nullptr) *results = nullptr;
    return DNS_ERROR_NO_PACKET;
}
void DnsFree(void*, DNS_FREE_TYPE) {}
