// patch_floor LIST...: per argument, the least that patching a search.ini
// has to do, done the way the profile service does it: find the file on the
// list, hold its folder for the whole patch, then four times read the whole
// file and replace it whole (a temporary file in the same folder, written,
// synced and renamed over the file, under the folder's lock). It parses nothing
// and writes the bytes it read: this is the reference that defpatch's run is
// measured against, not a patcher.
//
// --no-sync leaves the sync out, to show what it costs.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "posix/folder_lock.h"
#include "win32.h"

namespace {

bool g_sync = true;

bool ReadWhole(int folder, const char* name, std::string& bytes) {
  const int fd = openat(folder, name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0;
  bytes.resize(ok ? static_cast<size_t>(st.st_size) : 0);
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      done += static_cast<size_t>(n);
  }
  close(fd);
  return ok;
}

bool ReplaceWhole(int folder, const char* name, const std::string& bytes) {
  const win32::FolderLock lock(folder);
  if (!lock.held()) return false;
  const std::string temporary = ".floor-" + std::to_string(getpid()) + ".tmp";
  const int fd = openat(folder, temporary.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = write(fd, bytes.data(), bytes.size()) ==
            static_cast<ssize_t>(bytes.size());
  if (g_sync) ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && renameat(folder, temporary.c_str(), folder, name) == 0;
  if (!ok) {
    unlinkat(folder, temporary.c_str(), 0);
    return false;
  }
  return true;
}

bool PatchFloor(const char* list) {
  char path[MAX_PATH];
  LPSTR file_part;
  const DWORD n =
      SearchPathA(list, "search.ini", nullptr, MAX_PATH, path, &file_part);
  if (n == 0 || n >= MAX_PATH) return false;
  char* slash = strrchr(path, '/');
  if (slash == nullptr) return false;
  *slash = '\0';
  const int folder = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return false;
  bool ok;
  {
    const win32::FolderLock hold(folder);  // the editor's hold of the file
    ok = hold.held();
    std::string bytes;
    for (int key = 0; ok && key < 4; ++key) {
      ok = ReadWhole(folder, slash + 1, bytes) &&
           ReplaceWhole(folder, slash + 1, bytes);
    }
  }
  close(folder);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  int first = 1;
  if (argc > 1 && strcmp(argv[1], "--no-sync") == 0) {
    g_sync = false;
    ++first;
  }
  int done = 0;
  for (int i = first; i < argc; ++i) {
    if (PatchFloor(argv[i])) ++done;
  }
  printf("%d\n", done);
  return done > 0 ? 0 : 1;
}
