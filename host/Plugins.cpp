#include "host/Plugins.h"

#include <string>

#include "host/HostState.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Blanks.h"
#include "platform/text/Text.h"

namespace {

void ReportError(const std::wstring& text) {
    std::wstring line = L"corvane: " + text + L"\n";
    CorvaneWrite(2, line.data(), line.size());
}

template <typename Entry> Entry Export(LibraryHandle library, const char* name) {
    return reinterpret_cast<Entry>(LibrarySymbol(library, name));
}

} // namespace

std::vector<std::wstring> SplitCommandList(std::wstring_view list) {
    std::vector<std::wstring> names;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(L',', start);
        if (comma == std::wstring_view::npos) comma = list.size();
        std::wstring name(Trim(list.substr(start, comma - start)));
        for (wchar_t& c : name)
            c = LowerAscii(c);
        if (!name.empty()) names.push_back(name);
        start = comma + 1;
    }
    return names;
}

namespace {

// Takes the plug-in in an opened library: its description, entry points and commands.
bool RegisterPlugin(const std::wstring& path, LibraryHandle library,
                    std::vector<LoadedPlugin>& plugins) {
    LoadedPlugin plugin;
    plugin.path = path;
    plugin.library = library;
    auto getInfo = Export<GetPluginInfoEntry>(plugin.library, "GetPluginInfo");
    plugin.info = getInfo != nullptr ? getInfo() : nullptr;
    if (plugin.info == nullptr || plugin.info->ModuleName == nullptr) {
        ReportError(L"not a plug-in: " + path);
        LibraryClose(plugin.library);
        return false;
    }
    plugin.help = Export<HelpEntry>(plugin.library, "Help");
    plugin.usage = Export<UsageEntry>(plugin.library, "Usage");
    plugin.shutdown = Export<LifecycleEntry>(plugin.library, "ShutdownPlugin");
    const wchar_t* list = plugin.info->CommandList != nullptr ? plugin.info->CommandList : L"";
    for (const std::wstring& name : SplitCommandList(list)) {
        auto run = Export<CommandEntry>(plugin.library, WideToUtf8(name).c_str());
        if (run == nullptr) {
            ReportError(path + L" does not export its command " + name);
            continue;
        }
        plugin.commands.push_back({name, run});
    }
    if (auto initialize = Export<LifecycleEntry>(plugin.library, "InitializePlugin")) initialize();
    plugins.push_back(std::move(plugin));
    return true;
}

} // namespace

bool LoadPlugin(const std::wstring& path, std::vector<LoadedPlugin>& plugins) {
    return LoadFirstPlugin({path}, plugins);
}

bool LoadFirstPlugin(const std::vector<std::wstring>& candidates,
                     std::vector<LoadedPlugin>& plugins) {
    std::vector<std::wstring> failures;
    for (const std::wstring& path : candidates) {
        std::wstring error;
        if (LibraryHandle library = LibraryOpen(path, error))
            return RegisterPlugin(path, library, plugins);
        failures.push_back(L"cannot load " + path + L": " + error);
    }
    for (const std::wstring& failure : failures)
        ReportError(failure);
    return false;
}

const PluginCommand* FindPluginCommand(const std::vector<LoadedPlugin>& plugins,
                                       std::wstring_view name) {
    for (const LoadedPlugin& plugin : plugins)
        for (const PluginCommand& command : plugin.commands)
            if (SameName(command.name, name)) return &command;
    return nullptr;
}

void UnloadPlugins(std::vector<LoadedPlugin>& plugins) {
    for (LoadedPlugin& plugin : plugins)
        if (plugin.shutdown != nullptr) plugin.shutdown();
    for (LoadedPlugin& plugin : plugins)
        LibraryClose(plugin.library);
    plugins.clear();
}
