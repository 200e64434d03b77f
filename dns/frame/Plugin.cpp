// Placeholder until this service is implemented.
#include "dns/frame/Plugin.h"

std::atomic<int32_t> BreakFlag{0};
int32_t CtrlHandlerInstalled = 0;
ConsoleHandle ConsoleOutputHandle = nullptr;

int BreakHandler(uint32_t) { return 0; }
void InstallBreakHandler() {}
void RemoveBreakHandler() {}

static PluginInfoRecord PluginInfo;
extern "C" PluginInfoRecord* GetPluginInfo() { return &PluginInfo; }
extern "C" int InitializePlugin() { return 0; }
extern "C" int ShutdownPlugin() { return 0; }
extern "C" int _clver$(wchar_t*) { return -1; }
