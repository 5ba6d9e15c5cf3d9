#include "scoped_temp_dir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

ScopedTempDir::ScopedTempDir(const fs::path& base) {
  static std::atomic<unsigned> counter{0};
  const auto stamp =
      std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    std::ostringstream name;
    name << "defpatch-test-" << stamp << "-" << counter++;
    path_ = base / name.str();
    std::error_code error;
    if (fs::create_directory(path_, error)) break;
  }
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code error;
  fs::remove_all(path_, error);
}

std::string ScopedTempDir::Path(const std::string& relative) const {
  return relative.empty() ? path_.string() : (path_ / relative).string();
}

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

#ifdef _WIN32

#include <windows.h>

#include "run_program.h"

bool SetReadOnly(const fs::path& path, bool read_only) {
  // Wine maps the Windows path to the Unix one; chattr is a Linux program,
  // which Wine starts like any other, though without a usable exit code:
  // whether the file can be opened for writing tells the outcome.
  using UnixName = char*(CDECL*)(const WCHAR*);
  auto unix_name =
      reinterpret_cast<UnixName>(reinterpret_cast<void*>(GetProcAddress(
          GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!unix_name) return false;
  char* name = unix_name(fs::absolute(path).wstring().c_str());
  if (!name) return false;
  const std::string unix_path = name;
  HeapFree(GetProcessHeap(), 0, name);
  RunProgram("/usr/bin/chattr", {read_only ? "+i" : "-i", unix_path});

  HANDLE file = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  const bool writable = file != INVALID_HANDLE_VALUE;
  if (writable) CloseHandle(file);
  return writable != read_only;
}

#else

bool SetReadOnly(const fs::path& path, bool read_only) {
  std::error_code error;
  fs::permissions(path, fs::perms::owner_write,
                  read_only ? fs::perm_options::remove : fs::perm_options::add,
                  error);
  return !error;
}

#endif
