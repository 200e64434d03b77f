#include "dns/output/WorkBuffers.h"

#include <new>

#include "dns/output/OutputResult.h"
#include "platform/text/Text.h"

int FormatIntoWorkBuffers(const wchar_t* format, va_list args, WorkBuffers& buffers) {
    if (format == nullptr) return OutputNoInput;
    va_list counting;
    va_copy(counting, args);
    int length = FormatWideV(nullptr, 0, format, counting);
    va_end(counting);
    if (length < 0) return OutputNoInput;

    size_t size = static_cast<size_t>(length) + 16;
    buffers.text.reset(new (std::nothrow) wchar_t[size]);
    buffers.work.reset(new (std::nothrow) wchar_t[size]);
    if (!buffers.text || !buffers.work) {
        buffers.text.reset();
        buffers.work.reset();
        return OutputNoMemory;
    }
    FormatWideV(buffers.text.get(), size, format, args);
    buffers.work[0] = L'\0';
    return OutputDone;
}
