// Windows-form paths on Linux, mapped as Wine maps them.
#ifndef PLATFORM_POSIX_UNIX_PATH_H_
#define PLATFORM_POSIX_UNIX_PATH_H_

#include <string>

namespace win32 {

/// The Unix path for path. A Unix path ("/..." or a relative path without
/// backslashes and drive) is returned as it is. A Windows-form path ("C:\x",
/// "D:", "\x", "x\y") is mapped through $WINEPREFIX/dosdevices (default
/// ~/.wine): backslashes become separators, a drive letter alone is that
/// drive's root, "\x" is on the current drive, and a component that does not
/// exist as spelled is looked up case-insensitively. Empty when the path
/// cannot be reached (a UNC path, a drive that is not mapped).
std::string UnixPath(const char* path);

}  // namespace win32

#endif  // PLATFORM_POSIX_UNIX_PATH_H_
