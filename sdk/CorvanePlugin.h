// The plug-in interface of Corvane, shared by the host and every plug-in module: the
// description record a module hands the host, the entry points the host calls, and the eight
// services of the host (Corvane.dll, libcorvane.so) that a module calls. All text is wide.
#pragma once
#include <cstddef>
#include <cstdint>

using HostHandle = void*;

// The description of a module, returned by GetPluginInfo and owned by the module.
struct PluginInfoRecord {
    const wchar_t* ModuleName;
    const wchar_t* AuthorName;
    const wchar_t* AuthorEmail;
    const wchar_t* AuthorWebPage;
    const wchar_t* Description;
    const wchar_t* CommandList; // command names, comma-separated, no blanks
    int32_t VersionMajor;
    int32_t VersionMinor;
    int32_t VersionBuild;
    void* Reserved1; // the module never writes these two; they stay zero
    void* Reserved2;
};

// The host reads the record of a 64-bit module at these offsets.
static_assert(sizeof(void*) != 8 ||
                  (offsetof(PluginInfoRecord, CommandList) == 40 &&
                   offsetof(PluginInfoRecord, VersionMajor) == 48 &&
                   offsetof(PluginInfoRecord, VersionBuild) == 56 &&
                   offsetof(PluginInfoRecord, Reserved1) == 64 &&
                   offsetof(PluginInfoRecord, Reserved2) == 72 && sizeof(PluginInfoRecord) == 80),
              "PluginInfoRecord must keep the x64 layout the host expects");

// Entry points a module exports, by name: GetPluginInfo, InitializePlugin, ShutdownPlugin,
// Help, Usage, and one command function per name of its command list.
using GetPluginInfoEntry = PluginInfoRecord* (*)();
using LifecycleEntry = int (*)();               // InitializePlugin, ShutdownPlugin: 0
using HelpEntry = int (*)(const wchar_t* name); // 1 when help was shown
using UsageEntry = int (*)(const wchar_t* name, wchar_t* out); // out: 1024 characters
using CommandEntry = int (*)(const wchar_t* arguments);        // the exit code
using ClverEntry = int (*)(wchar_t* buffer);                   // "_clver$"

// The host's services. Formats use %s (wide string), %c, %d, %u and field widths.
extern "C" {
int Printf(const wchar_t* format, ...);
int Qprintf(HostHandle handle, const wchar_t* format, ...);
int QPuts(const wchar_t* text);
int ExpandVariables(wchar_t* buffer, int flag);
int SetColors(int attribute);
int GetAttribute(int* attribute, int* unused);
int ParseColors(const wchar_t* text, int* foreground, int* background);
int tty_yield(int flag);
}
