#include "profile_section.h"

namespace {

// An editor reads and writes its file key by key: a read, and where the
// value differs a write, four times over for a patch. Editors of two
// processes working on one file at once would interleave those steps: one
// writes the first key, the other finds it current and writes the second,
// and both count the file as patched. So an editor holds its file for its
// whole life, and the editor of another process waits for it.
//
// The hold is a lock on a single byte far beyond the end of any real file:
// it hinders nobody's reading or writing of the file's content (the
// editor's own writes through the profile service included), only another
// lock of the same byte. The system releases it with the handle, and when
// the process ends, however it ends, so a waiting editor never waits for
// an editor that is gone.
constexpr DWORD kHoldOffsetHigh = 0x40000000;  // byte 2^62

OVERLAPPED HoldRange() {
  OVERLAPPED range = {};
  range.Offset = 0;
  range.OffsetHigh = kHoldOffsetHigh;
  return range;
}

}  // namespace

// A file that cannot be opened (it is missing, or not a file) is not held:
// the profile service then decides what its reads and writes do.
CProfileSection::CProfileSection(const char* file_path)
    : file_path_(file_path) {
  hold_ = CreateFileA(file_path, GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hold_ == INVALID_HANDLE_VALUE) return;
  OVERLAPPED range = HoldRange();
  if (!LockFileEx(hold_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &range)) {
    CloseHandle(hold_);
    hold_ = INVALID_HANDLE_VALUE;
  }
}

CProfileSection::~CProfileSection() {
  if (hold_ == INVALID_HANDLE_VALUE) return;
  OVERLAPPED range = HoldRange();
  UnlockFileEx(hold_, 0, 1, 0, &range);
  CloseHandle(hold_);
}

std::string CProfileSection::ReadValue(const char* section,
                                       const char* key) const {
  std::string value;
  for (DWORD size = 256;; size *= 2) {
    value.resize(size);
    DWORD n = GetPrivateProfileStringA(section, key, "", value.data(), size,
                                       file_path_.c_str());
    // A count of size - 2 may be cut too: the platform returns that for a
    // quoted value one character short of fitting. Hence the margin of 2.
    // The last doubling that a DWORD allows ends the loop whatever it reads.
    if (size > n + 2 || size > 0x7FFFFFFF) {
      value.resize(n < size ? n : size - 1);
      return value;
    }
  }
}

CProfileSection& CProfileSection::WriteIfDifferent(const char* section,
                                                   const char* key,
                                                   const char* value) {
  const std::string current = ReadValue(section, key);
  const char* wanted = value ? value : "";
  if (_mbscmp(reinterpret_cast<const unsigned char*>(current.c_str()),
              reinterpret_cast<const unsigned char*>(wanted)) == 0) {
    return *this;
  }
  // Only a write that took effect changes the file; a read-only file that
  // keeps its old values is not counted as patched.
  if (WritePrivateProfileStringA(section, key, value, file_path_.c_str())) {
    changed_ = true;
  }
  return *this;
}
