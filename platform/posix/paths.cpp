// Paths and file lookup of the Linux build.
//
// A Unix path ("/x", or a relative path without backslashes) is used as it
// is. A Windows-form path is mapped the way Wine maps it:
//   "X:..."   drive X is the folder that $WINEPREFIX/dosdevices/x: points to
//             (WINEPREFIX defaults to ~/.wine); a drive letter alone, or a
//             drive-relative path, starts at that drive's root;
//   "\x"      starts at the root of the current drive: the drive whose folder
//             holds the current directory, else the drive that maps "/";
//   "x\y"     is relative to the current directory ("..\x" may leave it,
//             up to the current drive's root);
//   "\\s\x"   (UNC) is not reachable.
// Backslashes and slashes both separate; "." and ".." are resolved by name,
// never above the drive's root; a component that does not exist as spelled
// is looked up case-insensitively (ASCII), as Wine does.
#include <dirent.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "unix_path.h"
#include "win32.h"

namespace win32 {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return i == a.size() && b[i] == '\0';
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::string CurrentDirectory() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? buffer : "";
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? buffer : "";
}

std::string WinePrefix() {
  const char* prefix = getenv("WINEPREFIX");
  if (prefix && *prefix) return prefix;
  const char* home = getenv("HOME");
  if (!home || !*home) {
    const passwd* user = getpwuid(getuid());
    home = user ? user->pw_dir : nullptr;
  }
  return home ? std::string(home) + "/.wine" : "";
}

// The folder of drive letter, or empty text when the drive is not mapped.
std::string DriveRoot(char letter) {
  const std::string prefix = WinePrefix();
  if (prefix.empty()) return "";
  return RealPath(prefix + "/dosdevices/" + AsciiLower(letter) + ":");
}

// The drive whose folder holds the current directory (the deepest one),
// else the drive that maps "/".
std::string CurrentDriveRoot() {
  const std::string cwd = RealPath(CurrentDirectory());
  std::string best;
  std::string slash;
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    const std::string root = DriveRoot(letter);
    if (root.empty()) continue;
    if (root == "/") {
      if (slash.empty()) slash = root;
      continue;
    }
    const bool holds = cwd.compare(0, root.size(), root) == 0 &&
                       (cwd.size() == root.size() || cwd[root.size()] == '/');
    if (holds && root.size() > best.size()) best = root;
  }
  return best.empty() ? slash : best;
}

// The entry of directory that matches name case-insensitively, or name.
std::string MatchEntry(const std::string& directory, const std::string& name) {
  DIR* dir = opendir(directory.empty() ? "/" : directory.c_str());
  if (!dir) return name;
  std::string found = name;
  while (const dirent* entry = readdir(dir)) {
    if (EqualsIgnoringCase(name, entry->d_name)) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

// Appends the components of a Windows-form tail to root, resolving "." and
// "..", and matching each component case-insensitively where needed.
std::string Resolve(const std::string& root, const char* tail) {
  std::vector<std::string> parts;
  const char* p = tail;
  while (*p) {
    while (IsSeparator(*p)) ++p;
    const char* begin = p;
    while (*p && !IsSeparator(*p)) ++p;
    std::string part(begin, p);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }

  std::string path = root == "/" ? "" : root;
  bool missing = false;  // nothing lies below a component that is missing
  for (const std::string& part : parts) {
    if (missing || Exists(path + "/" + part)) {
      path += "/" + part;
      continue;
    }
    const std::string match = MatchEntry(path, part);
    missing = match == part;
    path += "/" + match;
  }
  if (path.empty()) path = "/";
  const size_t length = strlen(tail);
  if (length > 0 && IsSeparator(tail[length - 1]) && path.back() != '/') {
    path += '/';
  }
  return path;
}

}  // namespace

std::string UnixPath(const char* path) {
  if (path == nullptr || *path == '\0') return "";
  if (path[0] == '/' && path[1] != '/') return path;
  if (IsSeparator(path[0]) && IsSeparator(path[1])) return "";  // UNC
  if (IsAsciiLetter(path[0]) && path[1] == ':') {
    const std::string root = DriveRoot(path[0]);
    return root.empty() ? "" : Resolve(root, path + 2);
  }
  if (path[0] == '\\') {
    const std::string root = CurrentDriveRoot();
    return root.empty() ? "" : Resolve(root, path + 1);
  }
  if (strchr(path, '\\') == nullptr) return path;
  // A relative path goes on from the current folder, and ".." may leave it,
  // up to the root of the current drive.
  const std::string cwd = RealPath(CurrentDirectory());
  if (cwd.empty()) return "";
  std::string root = CurrentDriveRoot();
  if (root.empty()) root = "/";
  const std::string below = root == "/" ? cwd : cwd.substr(root.size());
  return Resolve(root, (below + "/" + path).c_str());
}

}  // namespace win32

namespace {

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Directory(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The full Unix path of file in the directory that entry names, or empty
// text. The file's name matches case-insensitively, as Wine matches it, and
// only a regular file is a match.
std::string FindIn(const std::string& entry, const std::string& file) {
  std::string directory = entry.empty() ? win32::CurrentDirectory()
                                        : win32::UnixPath(entry.c_str());
  if (directory.empty()) return "";
  if (directory[0] != '/')
    directory = win32::CurrentDirectory() + "/" + directory;
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  if (directory == "/") directory.clear();

  std::string path = directory + "/" + file;
  if (IsRegularFile(path)) return path;
  path = directory + "/" + win32::MatchEntry(directory, file);
  return IsRegularFile(path) ? path : "";
}

// The directories searched for a null or empty list: the program's folder,
// the current directory, then those of PATH.
std::vector<std::string> DefaultSearchPath() {
  std::vector<std::string> entries;
  const std::string program = win32::RealPath("/proc/self/exe");
  if (!program.empty()) entries.push_back(Directory(program));
  entries.push_back("");
  if (const char* path = getenv("PATH")) {
    for (const char* p = path;;) {
      const char* colon = strchr(p, ':');
      const std::string entry = colon ? std::string(p, colon) : p;
      if (!entry.empty()) entries.push_back(entry);
      if (!colon) break;
      p = colon + 1;
    }
  }
  return entries;
}

// The entries of a ';'-separated list, untrimmed. An empty entry means the
// current directory; a single ';' at the end adds none.
std::vector<std::string> SplitSearchPath(const char* list) {
  std::vector<std::string> entries;
  for (const char* p = list;;) {
    const char* semicolon = strchr(p, ';');
    if (!semicolon) {
      if (*p != '\0' || entries.empty()) entries.push_back(p);
      break;
    }
    entries.emplace_back(p, semicolon);
    p = semicolon + 1;
    if (*p == '\0') break;
  }
  return entries;
}

}  // namespace

// Returns the full Unix path of the first regular file found, whatever form
// the list's entries have. As on Windows, a buffer too small for it leaves
// the buffer alone and returns the size needed, terminator included.
DWORD SearchPathA(LPCSTR path, LPCSTR file, LPCSTR extension, DWORD size,
                  LPSTR buffer, LPSTR* file_part) {
  if (file == nullptr || *file == '\0') return 0;
  std::string name = file;
  if (extension && *extension && name.find('.') == std::string::npos) {
    name += extension;
  }

  std::string found;
  if (strpbrk(name.c_str(), "\\/:")) {
    // A file given with a path is looked for there alone.
    const std::string unix_path = win32::UnixPath(name.c_str());
    if (!unix_path.empty() && IsRegularFile(unix_path)) found = unix_path;
    if (!found.empty() && found[0] != '/') {
      found = win32::CurrentDirectory() + "/" + found;
    }
  } else {
    const std::vector<std::string> entries = path == nullptr || *path == '\0'
                                                 ? DefaultSearchPath()
                                                 : SplitSearchPath(path);
    for (const std::string& entry : entries) {
      found = FindIn(entry, name);
      if (!found.empty()) break;
    }
  }
  if (found.empty()) return 0;

  if (found.size() >= size || buffer == nullptr) {
    return static_cast<DWORD>(found.size() + 1);
  }
  memcpy(buffer, found.c_str(), found.size() + 1);
  if (file_part) *file_part = buffer + found.rfind('/') + 1;
  return static_cast<DWORD>(found.size());
}

// As Wine's 8-bit function, it takes no path longer than MAX_PATH
// characters (Windows takes one less).
DWORD GetFileAttributesA(LPCSTR path) {
  if (path == nullptr || strnlen(path, MAX_PATH + 1) > MAX_PATH) {
    return INVALID_FILE_ATTRIBUTES;
  }
  const std::string unix_path = win32::UnixPath(path);
  struct stat st;
  if (unix_path.empty() || stat(unix_path.c_str(), &st) != 0) {
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes =
      S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  // Wine shows a file without the owner's write permission as read-only.
  if ((st.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}
