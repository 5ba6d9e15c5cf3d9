// The entry routine of a shared library on Linux. Windows calls a DLL's
// DllMain with its own module handle when the DLL is attached to a process;
// here a constructor does the same when the loader has mapped the library.
// Built into each such library after its other sources, so that it runs
// after the library's own static initialisation, as on Windows.
#include <dlfcn.h>

#include "win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason,
                               LPVOID reserved);

namespace {

__attribute__((constructor)) void AttachToProcess() {
  Dl_info info;
  if (!dladdr(reinterpret_cast<void*>(&AttachToProcess), &info) ||
      info.dli_fname == nullptr)
    return;
  // The module handle is the library's dlopen handle. Asking for it takes a
  // reference; the loader holds its own, so this one is dropped at once.
  void* self = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  if (self == nullptr) return;
  dlclose(self);
  DllMain(static_cast<HINSTANCE>(self), DLL_PROCESS_ATTACH, nullptr);
}

}  // namespace
