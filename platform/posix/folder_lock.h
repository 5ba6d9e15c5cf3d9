// The lock that serialises the writers of a folder's profile files.
#ifndef PLATFORM_POSIX_FOLDER_LOCK_H_
#define PLATFORM_POSIX_FOLDER_LOCK_H_

#include <sys/types.h>

namespace win32 {

/// Holds a folder against the other processes for the life of the object:
/// waits while another process holds it, never for this process's own
/// holds, which nest. The kernel releases the hold of a process that ends.
class FolderLock {
 public:
  /// Takes the folder that the open descriptor folder names.
  explicit FolderLock(int folder);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  /// Whether the folder is held.
  bool held() const { return held_; }

 private:
  dev_t device_ = 0;
  ino_t inode_ = 0;
  bool held_ = false;
};

}  // namespace win32

#endif  // PLATFORM_POSIX_FOLDER_LOCK_H_
