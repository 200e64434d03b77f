// The console's colour on a terminal: attributes become SGR sequences, written to the console
// terminal only when the attribute in force changes.
#include "platform/console/shared/ConsoleColor.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/console/shared/ConsoleTerminalPosix.h"

namespace {

std::atomic<uint16_t> InForce{ConsoleDefaultAttribute};
// A sequence other than the reset is showing: the terminal needs a reset before we go.
std::atomic<bool> ColourShowing{false};

constexpr char ResetSequence[] = "\x1b[0m";

// Console colour bits are blue 1, green 2, red 4; ANSI numbers them red 1, green 2, blue 4.
int AnsiColor(int console) {
    return ((console & 1) << 2) | (console & 2) | ((console & 4) >> 2);
}

} // namespace

size_t ConsoleColorSequence(uint16_t attribute, std::span<char, ConsoleColorSequenceSize> out) {
    const int fg = attribute & 15, bg = (attribute >> 4) & 15;
    int n = std::snprintf(out.data(), out.size(), "\x1b[0");
    if (fg != 7)
        n += std::snprintf(out.data() + n, out.size() - n, ";%d",
                           ((fg & 8) ? 90 : 30) + AnsiColor(fg));
    if (bg != 0)
        n += std::snprintf(out.data() + n, out.size() - n, ";%d",
                           ((bg & 8) ? 100 : 40) + AnsiColor(bg));
    n += std::snprintf(out.data() + n, out.size() - n, "m");
    return static_cast<size_t>(n);
}

bool ConsoleColorsWanted() {
    if (std::getenv("NO_COLOR") != nullptr) return false;
    const char* term = std::getenv("TERM");
    return term == nullptr || std::strcmp(term, "dumb") != 0;
}

uint16_t ConsoleColorInForce() {
    return InForce.load();
}

bool ConsoleColorApply(uint16_t attribute) {
    attribute &= 0xFF;
    if (InForce.exchange(attribute) == attribute) return true;
    if (!ConsoleColorsWanted()) return true;
    int fd = ConsoleTerminalFd();
    if (fd < 0) return false;
    std::fflush(stdout); // keep the order of buffered output and the colour change
    char sequence[ConsoleColorSequenceSize];
    size_t length = ConsoleColorSequence(attribute, sequence);
    if (attribute != ConsoleDefaultAttribute && !ColourShowing.exchange(true)) {
        // The terminal gets its own colours back when the process ends normally.
        static bool registered = (std::atexit(ConsoleColorRestoreDefault) == 0);
        (void)registered;
    } else if (attribute == ConsoleDefaultAttribute) {
        ColourShowing.store(false);
    }
    return ConsoleWriteAll(fd, sequence, length);
}

void ConsoleColorRestoreDefault() {
    InForce.store(ConsoleDefaultAttribute);
    if (!ColourShowing.exchange(false)) return;
    int fd = ConsoleTerminalFd();
    if (fd >= 0) ConsoleWriteAll(fd, ResetSequence, sizeof ResetSequence - 1);
}
