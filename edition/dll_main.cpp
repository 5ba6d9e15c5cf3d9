// The entry routine and the module-wide handles.
#include "module_handles.h"

HMODULE g_hEditionModule = nullptr;
// Set before the entry routine runs, so both handles are there before a
// host can call an operation.
HMODULE g_hHostModule = GetModuleHandleA(nullptr);
HMODULE g_hLanguageModule = nullptr;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_hEditionModule = instance;
  return TRUE;
}
