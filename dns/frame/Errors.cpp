// Placeholder until this service is implemented.
#include "dns/frame/Errors.h"

int PrintErrorPrefix() { return 0; }
int FormatStatusText(int32_t, wchar_t* text) {
    if (text != nullptr) text[0] = L'\0';
    return 0;
}
