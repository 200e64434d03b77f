// Loaded plug-ins: their description, the commands they serve and their help entry points.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/DynamicLibrary.h"
#include "sdk/CorvanePlugin.h"

struct PluginCommand {
    std::wstring name; // lower case
    CommandEntry run = nullptr;
};

struct LoadedPlugin {
    std::wstring path;
    LibraryHandle library = nullptr;
    const PluginInfoRecord* info = nullptr;
    std::vector<PluginCommand> commands;
    HelpEntry help = nullptr;
    UsageEntry usage = nullptr;
    LifecycleEntry shutdown = nullptr;
};

// "dns,rdns" -> {"dns", "rdns"}: split at commas, blanks trimmed, lower-cased, empties dropped.
std::vector<std::wstring> SplitCommandList(std::wstring_view list);

// Loads and initialises the plug-in at path; false (with a message on standard error) when it
// is not a usable plug-in.
bool LoadPlugin(const std::wstring& path, std::vector<LoadedPlugin>& plugins);
// Loads the first of the candidate paths whose library opens, as LoadPlugin does; reports
// every candidate's reason when none opens (the build tree and an installation look for the
// module in different places).
bool LoadFirstPlugin(const std::vector<std::wstring>& candidates,
                     std::vector<LoadedPlugin>& plugins);

// The first plug-in command with this name, case-blind; null when none.
const PluginCommand* FindPluginCommand(const std::vector<LoadedPlugin>& plugins,
                                       std::wstring_view name);

// ShutdownPlugin for every plug-in, then unloads them.
void UnloadPlugins(std::vector<LoadedPlugin>& plugins);
