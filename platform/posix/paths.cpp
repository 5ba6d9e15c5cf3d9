// Placeholder: implemented in its own change.
#include "win32.h"
DWORD SearchPathA(LPCSTR, LPCSTR, LPCSTR, DWORD, LPSTR, LPSTR*) { return 0; }
DWORD GetFileAttributesA(LPCSTR) { return INVALID_FILE_ATTRIBUTES; }

#include "unix_path.h"
namespace win32 {
std::string UnixPath(const char* path) {
  std::string p(path);
  return p.find('\\') == std::string::npos && p.find(':') == std::string::npos ? p : "";
}
}  // namespace win32
