#include <algorithm>
#include <array>
#include <cerrno>
#include <cwchar>

#include "host/Colors.h"
#include "host/HostState.h"
#include "host/Shell.h"
#include "host/Version.h"
#include "platform/host/HostIo.h"
#include "platform/host/HostTerminal.h"
#include "platform/text/AsciiCase.h"
#include "platform/text/Blanks.h"

namespace {

using BuiltinFunction = int (*)(Shell& shell, std::wstring_view arguments);

int Echo(Shell& shell, std::wstring_view arguments) {
    shell.Out(ExpandForShell(arguments) + L"\n");
    return 0;
}

bool ParseCode(std::wstring_view text, int& code) {
    std::wstring digits(text);
    if (digits.empty()) return false;
    wchar_t* end = nullptr;
    errno = 0;
    long value = std::wcstol(digits.c_str(), &end, 10);
    if (errno != 0 || *end != L'\0' || value < INT32_MIN || value > INT32_MAX) return false;
    code = static_cast<int>(value);
    return true;
}

int Exit(Shell& shell, std::wstring_view arguments) {
    std::wstring text = ExpandForShell(TrimEnd(arguments));
    int code = shell.lastCode;
    if (!text.empty() && !ParseCode(text, code)) {
        shell.Error(L"exit: not a number: " + text);
        return 2;
    }
    shell.exitRequested = true;
    return code;
}

// Names of variables are case-blind: the existing spelling is replaced.
void RemoveVariable(std::wstring_view name) {
    for (auto& [key, value] : HostListEnv())
        if (SameName(key, name)) HostUnsetEnv(key);
}

int Set(Shell& shell, std::wstring_view arguments) {
    arguments = TrimEnd(arguments);
    if (arguments.empty()) {
        auto list = HostListEnv();
        std::sort(list.begin(), list.end());
        std::wstring text;
        for (auto& [key, value] : list)
            text += key + L"=" + value + L"\n";
        shell.Out(text);
        return 0;
    }
    size_t equals = arguments.find(L'=');
    if (equals == std::wstring_view::npos) { // "set NAME" shows one variable
        for (auto& [key, value] : HostListEnv()) {
            if (SameName(key, arguments)) {
                shell.Out(key + L"=" + value + L"\n");
                return 0;
            }
        }
        shell.Error(L"set: not set: " + std::wstring(arguments));
        return 1;
    }
    std::wstring_view name = TrimEnd(arguments.substr(0, equals));
    if (name.empty()) {
        shell.Error(L"set: a name is needed before '='");
        return 2;
    }
    std::wstring value = ExpandForShell(arguments.substr(equals + 1));
    RemoveVariable(name);
    if (!value.empty() && !HostSetEnv(std::wstring(name), value)) {
        shell.Error(L"set: cannot set " + std::wstring(name));
        return 1;
    }
    return 0;
}

int Help(Shell& shell, std::wstring_view arguments) {
    std::wstring name(TrimEnd(arguments));
    if (name.empty()) {
        std::wstring text = L"Built-in commands:\n";
        for (const BuiltinInfo& builtin : Builtins()) {
            std::wstring syntax(builtin.syntax);
            syntax.resize(std::max<size_t>(syntax.size() + 2, 20), L' ');
            text += L"  " + syntax + std::wstring(builtin.summary) + L"\n";
        }
        for (const LoadedPlugin& plugin : shell.plugins) {
            text += std::wstring(plugin.info->ModuleName) + L" plug-in commands:\n ";
            for (const PluginCommand& command : plugin.commands)
                text += L" " + command.name;
            text += L"\n";
        }
        text += L"\"help NAME\" shows the help of a command.\n";
        shell.Out(text);
        return 0;
    }
    for (const LoadedPlugin& plugin : shell.plugins)
        if (plugin.help != nullptr && plugin.help(name.c_str()) == 1) return 0;
    for (const BuiltinInfo& builtin : Builtins()) {
        if (SameName(builtin.name, name)) {
            shell.Out(std::wstring(builtin.syntax) + L"\n  " + std::wstring(builtin.summary) +
                      L"\n");
            return 0;
        }
    }
    shell.Error(L"no help for " + name);
    return 1;
}

int Usage(Shell& shell, std::wstring_view arguments) {
    std::wstring name(TrimEnd(arguments));
    if (name.empty()) {
        shell.Error(L"usage: name a command");
        return 2;
    }
    for (const LoadedPlugin& plugin : shell.plugins) {
        if (plugin.usage == nullptr) continue;
        std::array<wchar_t, 1024> text{};
        if (plugin.usage(name.c_str(), text.data()) != 1) continue;
        text.back() = L'\0'; // never trust a plug-in to terminate
        std::wstring line(text.data());
        if (line.empty() || line.back() != L'\n') line += L"\n";
        shell.Out(line);
        return 0;
    }
    shell.Error(L"no usage for " + name);
    return 1;
}

int Plugins(Shell& shell, std::wstring_view) {
    std::wstring text;
    for (const LoadedPlugin& plugin : shell.plugins) {
        const PluginInfoRecord& info = *plugin.info;
        text += std::wstring(info.ModuleName) + L" " + std::to_wstring(info.VersionMajor) + L"." +
                std::to_wstring(info.VersionMinor) + L"." + std::to_wstring(info.VersionBuild);
        if (info.Description != nullptr) text += L"  " + std::wstring(info.Description);
        text += L"\n";
    }
    shell.Out(text);
    return 0;
}

int Ver(Shell& shell, std::wstring_view) {
    shell.Out(std::wstring(L"Corvane ") + CorvaneVersion + L"\n");
    return 0;
}

int Color(Shell& shell, std::wstring_view arguments) {
    std::wstring text = ExpandForShell(TrimEnd(arguments));
    int current = CorvaneGetColor();
    if (text.empty()) {
        shell.Out(DescribeColor(current) + L"\n");
        return 0;
    }
    int fg = -1, bg = -1;
    if (ParseColorText(text, fg, bg) != 0) {
        shell.Error(L"color: not a colour: " + text);
        return 2;
    }
    if (bg < 0) bg = (current >> 4) & 0x0F;
    if (fg == bg) {
        shell.Error(L"color: foreground and background are the same");
        return 2;
    }
    CorvaneSetColor(bg << 4 | fg);
    HostApplyColor(bg << 4 | fg);
    return 0;
}

int Call(Shell& shell, std::wstring_view arguments) {
    std::wstring path = ExpandForShell(TrimEnd(arguments));
    if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"')
        path = path.substr(1, path.size() - 2);
    if (path.empty()) {
        shell.Error(L"call: name a batch file");
        return 2;
    }
    return RunBatchFile(shell, path);
}

struct Builtin {
    BuiltinInfo info;
    BuiltinFunction run;
};

const std::vector<Builtin>& Table() {
    static const std::vector<Builtin> table{
        {{L"call", L"call FILE", L"run a batch file"}, Call},
        {{L"color", L"color [COLOURS]", L"show or set the colour, e.g. bright white on blue"},
         Color},
        {{L"echo", L"echo TEXT", L"print TEXT, variables expanded"}, Echo},
        {{L"exit", L"exit [CODE]", L"leave corvane with CODE (default: the last command's)"}, Exit},
        {{L"help", L"help [NAME]", L"list the commands, or show the help of NAME"}, Help},
        {{L"plugins", L"plugins", L"list the loaded plug-ins"}, Plugins},
        {{L"set", L"set [NAME[=VALUE]]", L"list, show, set or (empty VALUE) remove variables"},
         Set},
        {{L"usage", L"usage NAME", L"print the usage of a plug-in command"}, Usage},
        {{L"ver", L"ver", L"show the version of corvane"}, Ver},
    };
    return table;
}

} // namespace

const std::vector<BuiltinInfo>& Builtins() {
    static const std::vector<BuiltinInfo> infos = [] {
        std::vector<BuiltinInfo> list;
        for (const Builtin& builtin : Table())
            list.push_back(builtin.info);
        return list;
    }();
    return infos;
}

bool RunBuiltin(Shell& shell, std::wstring_view name, std::wstring_view arguments, int& code) {
    for (const Builtin& builtin : Table()) {
        if (SameName(builtin.info.name, name)) {
            code = builtin.run(shell, arguments);
            return true;
        }
    }
    return false;
}
