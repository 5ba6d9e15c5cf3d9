// The lock of a folder's profile files. The profile service replaces a file
// whole (a new file renamed over the old one) on every write, so a lock on
// the file itself would stay behind on the old file: the lock lives on the
// folder, which every writer of the file's new versions shares.
//
// It is flock on the folder: the kernel releases it when its holder ends,
// however it ends. flock excludes every other open of the folder, this
// process's own included, and a process holds a folder for two reasons at
// once: an editor holds its file's folder for a whole patch, and each
// write of the patch takes the folder again. So the process keeps a table
// of the folders it holds, with a count: the first hold takes the flock
// (waiting for other processes), later ones only count, and the last
// release gives it back. A child process does not inherit its parent's
// holds.
#include "folder_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <utility>

namespace win32 {
namespace {

struct Held {
  int descriptor;  // the open of the folder that holds the flock
  int count;
};

std::map<std::pair<dev_t, ino_t>, Held>& Table() {
  static std::map<std::pair<dev_t, ino_t>, Held> table;
  return table;
}

// A child process starts without the holds of its parent, as on Windows: a
// forked copy of the table would let it pass the parent's holds, and its
// copies of the descriptors would keep the parent's flocks after the parent
// released them.
void ForgetHolds() {
  for (const auto& entry : Table()) close(entry.second.descriptor);
  Table().clear();
}

std::mutex& TableMutex() {
  static std::mutex mutex;
  static const bool forgotten_in_children = [] {
    // The table is taken across fork, so the child's copy is whole.
    pthread_atfork([] { mutex.lock(); }, [] { mutex.unlock(); },
                   [] {
                     ForgetHolds();
                     mutex.unlock();
                   });
    return true;
  }();
  (void)forgotten_in_children;
  return mutex;
}

}  // namespace

FolderLock::FolderLock(int folder) {
  struct stat st;
  if (fstat(folder, &st) != 0 || !S_ISDIR(st.st_mode)) return;
  device_ = st.st_dev;
  inode_ = st.st_ino;
  const auto key = std::make_pair(device_, inode_);
  {
    std::lock_guard<std::mutex> lock(TableMutex());
    auto it = Table().find(key);
    if (it != Table().end()) {
      ++it->second.count;
      held_ = true;
      return;
    }
  }
  // Waits outside the table, so that the process's other holds can still
  // be taken and released meanwhile. An open of its own keeps the flock
  // for as long as the folder is held, whatever becomes of the caller's.
  const int descriptor =
      openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  int result;
  while ((result = flock(descriptor, LOCK_EX)) != 0 && errno == EINTR) {
  }
  if (result != 0) {
    close(descriptor);
    return;
  }
  std::lock_guard<std::mutex> lock(TableMutex());
  Table()[key] = {descriptor, 1};
  held_ = true;
}

FolderLock::~FolderLock() {
  if (!held_) return;
  std::lock_guard<std::mutex> lock(TableMutex());
  auto it = Table().find(std::make_pair(device_, inode_));
  if (it == Table().end() || --it->second.count > 0) return;
  close(it->second.descriptor);
  Table().erase(it);
}

}  // namespace win32
