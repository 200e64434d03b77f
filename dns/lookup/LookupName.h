// The complete output of the DNS command for one name.
#pragma once
#include <cstdint>

#include "dns/lookup/ServerList.h"

int LookupName(ServerList* servers, const wchar_t* name, uint32_t flags, uint32_t width);
