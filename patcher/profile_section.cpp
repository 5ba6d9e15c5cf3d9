#include "profile_section.h"

#include "win32.h"

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
