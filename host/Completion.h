// What Tab completes at the prompt: command names (built-ins and every loaded plug-in's
// commands) in the first word and after "help" or "usage", and the options of the DNS
// plug-in's commands after "dns" and "rdns".
#pragma once
#include <string_view>

#include "host/Shell.h"
#include "platform/host/LineCompletion.h"

LineCompletion CompleteCommandLine(const Shell& shell, std::wstring_view beforeCursor);
