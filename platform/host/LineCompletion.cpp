#include "platform/host/LineCompletion.h"

#include <utility>

namespace {
LineCompleter Completer;
} // namespace

void HostSetLineCompleter(LineCompleter completer) {
    Completer = std::move(completer);
}

const LineCompleter& HostLineCompleter() {
    return Completer;
}
