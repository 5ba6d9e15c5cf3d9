// Modules of the Linux build: shared objects loaded with dlopen. A module
// handle is the dlopen handle; the executable's is dlopen(NULL)'s.
//
// Component code names libraries as on Windows ("Varsel.dll"); the file of
// such a library is the shared object that CMake builds for that target
// ("libVarsel.so"). A name with a '/' is a path to that file; a bare name is
// searched for the way dlopen searches, or, when the caller asks for the
// default directories only, in the executable's own folder.
#include <dlfcn.h>
#include <link.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <string>

#include "posix/resource_data.h"
#include "win32.h"

namespace {

// "dir/Name.dll" becomes "dir/libName.so"; other names stay as they are.
std::string SharedObjectName(const char* name) {
  std::string path = name;
  size_t slash = path.rfind('/');
  size_t base = slash == std::string::npos ? 0 : slash + 1;
  size_t length = path.size() - base;
  if (length > 4 && strcasecmp(path.c_str() + path.size() - 4, ".dll") == 0)
    return path.substr(0, base) + "lib" + path.substr(base, length - 4) + ".so";
  return path;
}

bool IsBareName(const char* name) { return strchr(name, '/') == nullptr; }

// The folder of the running executable, with a trailing '/', or empty.
std::string ExecutableFolder() {
  char path[4096];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return std::string();
  std::string folder(path, static_cast<size_t>(length));
  return folder.substr(0, folder.rfind('/') + 1);
}

struct LoadedSearch {
  const char* base_name;  // matched against the last part of each path
  std::string path;       // the path of the first match
};

// "libName.so" names the library whether it was loaded by that name or by a
// versioned one ("libName.so.13", its SONAME).
int MatchLoadedObject(struct dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<LoadedSearch*>(data);
  const char* path = info->dlpi_name;
  if (path == nullptr || *path == '\0') return 0;  // the executable
  const char* slash = strrchr(path, '/');
  const char* base = slash ? slash + 1 : path;
  const size_t length = strlen(search->base_name);
  if (strncmp(base, search->base_name, length) != 0) return 0;
  if (base[length] != '\0' && base[length] != '.') return 0;
  search->path = path;
  return 1;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR name) {
  if (name == nullptr || *name == '\0') return nullptr;
  return static_cast<HMODULE>(
      dlopen(SharedObjectName(name).c_str(), RTLD_NOW | RTLD_LOCAL));
}

// LOAD_LIBRARY_SEARCH_DEFAULT_DIRS keeps a bare name out of every folder but
// the executable's, so a library planted in the current directory or on the
// library path is never the one loaded. Other flags load as LoadLibraryA.
HMODULE LoadLibraryExA(LPCSTR name, HANDLE, DWORD flags) {
  if (name == nullptr || *name == '\0') return nullptr;
  if (!(flags & LOAD_LIBRARY_SEARCH_DEFAULT_DIRS) || !IsBareName(name))
    return LoadLibraryA(name);
  std::string folder = ExecutableFolder();
  if (folder.empty()) return nullptr;
  std::string path = folder + SharedObjectName(name);
  return static_cast<HMODULE>(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
}

BOOL FreeLibrary(HMODULE module) {
  if (module == nullptr) return FALSE;
  const bool closed = dlclose(module) == 0;
  // What is kept of a module's resources goes with the module, not with a
  // reference: another may still be in use on another thread.
  win32::ForgetUnloadedModules();
  return closed;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (name == nullptr || IS_INTRESOURCE(name)) return nullptr;  // no ordinals
  void* handle = module != nullptr ? module : GetModuleHandleA(nullptr);
  return reinterpret_cast<FARPROC>(dlsym(handle, name));
}

// A loaded module by name, without taking a reference to it, as on Windows.
// A bare name matches the last part of a loaded object's path.
HMODULE GetModuleHandleA(LPCSTR name) {
  if (name == nullptr) {
    static void* const executable = dlopen(nullptr, RTLD_NOW);
    return static_cast<HMODULE>(executable);
  }
  std::string file = SharedObjectName(name);
  if (IsBareName(name)) {
    LoadedSearch search{file.c_str(), std::string()};
    if (!dl_iterate_phdr(MatchLoadedObject, &search)) return nullptr;
    file = search.path;
  }
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
  // The loader's own reference keeps the module; drop the one just taken.
  if (handle != nullptr) dlclose(handle);
  return static_cast<HMODULE>(handle);
}
