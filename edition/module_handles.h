// The module-wide handles of Pemrik: the three modules that it asks for
// resources and strings. Zero until set; none is ever released.
#ifndef EDITION_MODULE_HANDLES_H_
#define EDITION_MODULE_HANDLES_H_

#include "win32.h"

/// Pemrik's own module, stored by DllMain on process attach.
extern HMODULE g_hEditionModule;
/// The process's executable, stored by the static initialisation.
extern HMODULE g_hHostModule;
/// The language library "Varsel.dll", loaded on the first string request
/// and again on each request while that fails.
extern HMODULE g_hLanguageModule;

/// The entry routine: stores the edition module handle on process attach.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason,
                               LPVOID reserved);

#endif  // EDITION_MODULE_HANDLES_H_
