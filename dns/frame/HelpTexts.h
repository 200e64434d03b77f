// The commands' help texts and the help operations.
#pragma once

inline constexpr int CommandCount = 2;
extern const wchar_t CommandNames[CommandCount][11];
extern const wchar_t* const CommandHelpTexts[CommandCount];
extern const wchar_t DnsHelpText[];
extern const wchar_t RdnsHelpText[];
extern const wchar_t DisableFeaturesHelpText[];

// Writes text, and with showBanner the version banner. Returns 0.
int PrintCommandHelp(const wchar_t* text, int showBanner);
