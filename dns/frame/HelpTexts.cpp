// Placeholder until this service is implemented.
#include "dns/frame/HelpTexts.h"
#include "dns/frame/Plugin.h"

const wchar_t DnsHelpText[] = L"";
const wchar_t RdnsHelpText[] = L"";
const wchar_t DisableFeaturesHelpText[] = L"";
const wchar_t CommandNames[CommandCount][11] = {L"dns", L"rdns"};
const wchar_t* const CommandHelpTexts[CommandCount] = {DnsHelpText, RdnsHelpText};

int PrintCommandHelp(const wchar_t*, int) { return 0; }
extern "C" int Help(const wchar_t*) { return 0; }
extern "C" int Usage(const wchar_t*, wchar_t*) { return 0; }
