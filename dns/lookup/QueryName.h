// One query of one name and type, its sort order and the SOA walk to parent domains.
#pragma once
#include <cstdint>

#include "dns/lookup/ServerList.h"

int QueryName(ServerList* servers, const wchar_t* name, uint16_t type, uint32_t flags,
              uint32_t width, uint32_t* total);
int CompareRecords(uint16_t type, const DNS_RECORD* const* left, const DNS_RECORD* const* right);
