// The plug-in's description, entry points and module-wide console state.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/console/Console.h"
#include "sdk/CorvanePlugin.h"

inline constexpr const wchar_t* PluginName = L"DNS";

// Set to 1 by BreakHandler (from the console-control thread or a signal), polled and cleared
// by the command thread. Lock-free, so it is safe to store from a signal handler.
extern std::atomic<int32_t> BreakFlag;
extern int32_t CtrlHandlerInstalled;
extern ConsoleHandle ConsoleOutputHandle;

int BreakHandler(uint32_t event);
// Clears BreakFlag and registers / unregisters BreakHandler (the DNS command's lookups).
void InstallBreakHandler();
void RemoveBreakHandler();

extern "C" {
PluginInfoRecord* GetPluginInfo();
int InitializePlugin();
int ShutdownPlugin();
int _clver$(wchar_t* buffer);
int Help(const wchar_t* name);
int Usage(const wchar_t* name, wchar_t* out);
int dns(const wchar_t* arguments);
int rdns(const wchar_t* arguments);
}
