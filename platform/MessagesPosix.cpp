// Placeholder until this service is implemented.
#include "platform/Messages.h"

size_t SystemMessageText(uint32_t, wchar_t*, size_t) { return 0; }
