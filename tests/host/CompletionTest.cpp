// What Tab completes at the prompt, against a shell with two stand-in plug-ins.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/Completion.h"

namespace {

int Nothing(const wchar_t*) {
    return 0;
}

PluginInfoRecord DnsInfo{L"DNS", L"", L"", L"", L"", L"dns,rdns", 1, 0, 9, nullptr, nullptr};
PluginInfoRecord ProbeInfo{L"Probe", L"", L"", L"",     L"",    L"showargs,nap",
                           2,        3,   4,   nullptr, nullptr};

Shell ShellWithPlugins(bool withDns) {
    Shell shell;
    if (withDns) {
        LoadedPlugin dns;
        dns.info = &DnsInfo;
        dns.commands = {{L"dns", Nothing}, {L"rdns", Nothing}};
        shell.plugins.push_back(dns);
    }
    LoadedPlugin probe;
    probe.info = &ProbeInfo;
    probe.commands = {{L"showargs", Nothing}, {L"nap", Nothing}, {L"set", Nothing}};
    shell.plugins.push_back(probe);
    return shell;
}

struct Case {
    const wchar_t* before; // the text before the cursor
    size_t replace;        // characters it replaces
    const wchar_t* text;   // with this
    std::vector<std::wstring> choices;
};

void Check(const Shell& shell, const Case& c) {
    LineCompletion completion = CompleteCommandLine(shell, c.before);
    EXPECT_EQ(completion.replace, c.replace) << c.before;
    EXPECT_EQ(completion.text, c.text) << c.before;
    EXPECT_EQ(completion.choices, c.choices) << c.before;
}

} // namespace

TEST(Completion, CommandNamesFromBuiltinsAndEveryPlugin) {
    Shell shell = ShellWithPlugins(true);
    const Case cases[] = {
        {L"ec", 2, L"echo ", {}},         // a built-in
        {L"rd", 2, L"rdns ", {}},         // the DNS plug-in
        {L"  SHOW", 4, L"showargs ", {}}, // a second plug-in, any case, after blanks
        {L"na", 2, L"nap ", {}},
        {L"e", 1, L"e", {L"echo", L"exit"}}, // several: listed
        {L"pl", 2, L"plugins ", {}},
        {L"se", 2, L"set ", {}}, // a plug-in's "set" and the built-in: one name
        {L"d", 1, L"dns ", {}},
        {L"zz", 2, L"zz", {}},    // nothing matches: nothing changes
        {L"dns", 3, L"dns ", {}}, // complete already: the blank after it
    };
    for (const Case& c : cases)
        Check(shell, c);
    // An empty line lists every command.
    LineCompletion all = CompleteCommandLine(shell, L"");
    EXPECT_EQ(all.text, L"");
    EXPECT_EQ(all.choices.size(), 13u); // nine built-ins, dns, rdns, showargs, nap
}

TEST(Completion, CommonPrefixOfSeveralMatches) {
    Shell shell = ShellWithPlugins(true);
    LoadedPlugin extra;
    extra.info = &ProbeInfo;
    extra.commands = {{L"resolve", Nothing}, {L"resolver", Nothing}};
    shell.plugins.push_back(extra);
    Check(shell, {L"r", 1, L"r", {L"rdns", L"resolve", L"resolver"}});
    Check(shell, {L"re", 2, L"resolve", {L"resolve", L"resolver"}});
    Check(shell, {L"RE", 2, L"resolve", {L"resolve", L"resolver"}});
}

TEST(Completion, OptionsOfDnsAndRdns) {
    Shell shell = ShellWithPlugins(true);
    const std::vector<std::wstring> dnsOptions = {L"/?",  L"/$", L"/A", L"/K",
                                                  L"/N:", L"/P", L"/S", L"/W"};
    const Case cases[] = {
        {L"dns /", 1, L"/", dnsOptions},
        {L"dns/", 1, L"/", dnsOptions}, // the name ends at the slash
        {L"DNS /k", 2, L"/K ", {}},
        {L"dns /N", 2, L"/N:", {}},              // takes its letters right after the colon
        {L"dns /S 192.0.2.1 /w", 2, L"/W ", {}}, // options may stand anywhere
        {L"rdns /", 1, L"/", {L"/?", L"/$", L"/A:", L"/M"}},
        {L"rdns /a", 2, L"/A:", {}},
        {L"rdns /m", 2, L"/M ", {}},
        {L"rdns /K", 2, L"/K", {}},    // not an RDNS option
        {L"dns /N:", 3, L"/N:", {}},   // the letters are not completed
        {L"dns exam", 4, L"exam", {}}, // names and servers are not completed
        {L"showargs /", 1, L"/", {}},  // options only for dns and rdns
    };
    for (const Case& c : cases)
        Check(shell, c);
}

TEST(Completion, OptionsOnlyWhenThePluginIsLoaded) {
    Shell shell = ShellWithPlugins(false);
    Check(shell, {L"dns /", 1, L"/", {}});
    Check(shell, {L"rd", 2, L"rd", {}});
}

TEST(Completion, CommandNamesAfterHelpAndUsage) {
    Shell shell = ShellWithPlugins(true);
    Check(shell, {L"help rd", 2, L"rdns ", {}});
    Check(shell, {L"usage  sh", 2, L"showargs ", {}});
    Check(shell, {L"help dns rd", 2, L"rd", {}}); // only the word after help
    Check(shell, {L"echo rd", 2, L"rd", {}});
}
