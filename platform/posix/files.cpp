// Open files and their locks: CreateFileA, LockFileEx, UnlockFileEx and
// CloseHandle, as far as an editor of a profile file needs them to hold its
// file against the editors of other processes for a whole patch.
//
// Only an existing regular file is opened, for reading (GENERIC_READ,
// OPEN_EXISTING); a folder, FIFO or device is refused, and nothing blocks.
// Share modes have no counterpart here: every open shares everything.
//
// A lock is exclusive and holds the file's folder (see folder_lock.cpp),
// whatever byte range it names: the profile service replaces a file on
// every write, so a lock on the file itself would not outlive the first
// write, while the folder is what the service's writers take turns on.
// The lock thus waits for the locks and writes of other processes in that
// folder, never for the process's own, and like a Windows lock it goes
// when its handle is closed or its process ends.
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "folder_lock.h"
#include "unix_path.h"
#include "win32.h"

namespace {

struct OpenFile {
  int file = -1;
  int folder = -1;  // the folder that the file (a link followed) lies in
  std::vector<std::unique_ptr<win32::FolderLock>> locks;

  ~OpenFile() {
    locks.clear();
    if (file >= 0) close(file);
    if (folder >= 0) close(folder);
  }
};

// The handles given out; a handle is the address of its OpenFile, looked up
// here before use, so a stale or made-up one is refused.
std::mutex& HandlesMutex() {
  static std::mutex mutex;
  return mutex;
}

std::set<OpenFile*>& Handles() {
  static std::set<OpenFile*> handles;
  return handles;
}

OpenFile* Find(HANDLE handle) {
  auto* file = static_cast<OpenFile*>(handle);
  return Handles().count(file) ? file : nullptr;
}

// The folder of the file that path names, links followed.
int OpenFolderOf(const std::string& path) {
  char real[PATH_MAX];
  if (realpath(path.c_str(), real) == nullptr) return -1;
  char* slash = strrchr(real, '/');
  if (slash == nullptr) return -1;
  slash[slash == real ? 1 : 0] = '\0';  // "/" stays, "/x/f" becomes "/x"
  return open(real, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES,
                   DWORD disposition, DWORD, HANDLE) {
  if (name == nullptr || access != GENERIC_READ ||
      disposition != OPEN_EXISTING) {
    return INVALID_HANDLE_VALUE;
  }
  const std::string path = win32::UnixPath(name);
  if (path.empty()) return INVALID_HANDLE_VALUE;
  auto file = std::make_unique<OpenFile>();
  file->file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat st;
  if (file->file < 0 || fstat(file->file, &st) != 0 || !S_ISREG(st.st_mode)) {
    return INVALID_HANDLE_VALUE;
  }
  file->folder = OpenFolderOf(path);
  if (file->folder < 0) return INVALID_HANDLE_VALUE;
  std::lock_guard<std::mutex> lock(HandlesMutex());
  Handles().insert(file.get());
  return file.release();
}

BOOL LockFileEx(HANDLE handle, DWORD flags, DWORD, DWORD, DWORD,
                LPOVERLAPPED overlapped) {
  if (!(flags & LOCKFILE_EXCLUSIVE_LOCK) || overlapped == nullptr) {
    return FALSE;
  }
  int folder;
  {
    std::lock_guard<std::mutex> lock(HandlesMutex());
    OpenFile* file = Find(handle);
    if (file == nullptr) return FALSE;
    folder = fcntl(file->folder, F_DUPFD_CLOEXEC, 0);
  }
  if (folder < 0) return FALSE;
  // Waits without holding the table of handles.
  auto held = std::make_unique<win32::FolderLock>(folder);
  close(folder);
  if (!held->held()) return FALSE;
  std::lock_guard<std::mutex> lock(HandlesMutex());
  OpenFile* file = Find(handle);
  if (file == nullptr) return FALSE;
  file->locks.push_back(std::move(held));
  return TRUE;
}

BOOL UnlockFileEx(HANDLE handle, DWORD, DWORD, DWORD, LPOVERLAPPED overlapped) {
  std::lock_guard<std::mutex> lock(HandlesMutex());
  OpenFile* file = Find(handle);
  if (file == nullptr || overlapped == nullptr || file->locks.empty()) {
    return FALSE;
  }
  file->locks.pop_back();
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  std::unique_ptr<OpenFile> file;
  {
    std::lock_guard<std::mutex> lock(HandlesMutex());
    file.reset(Find(handle));
    if (!file) return FALSE;
    Handles().erase(file.get());
  }
  return TRUE;
}
