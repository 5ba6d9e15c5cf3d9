#ifndef PATCHER_PROFILE_SECTION_H_
#define PATCHER_PROFILE_SECTION_H_

#include <string>

#include "win32.h"

/// Editor of one profile file: reads keys and writes a value only where the
/// file holds another one. Keeps no copy of the file; every call goes to the
/// platform's profile service. For its whole life it holds the file against
/// the editors of other processes.
class CProfileSection {
 public:
  /// Waits until no other process's editor holds the file, then holds it.
  explicit CProfileSection(const char* file_path);
  /// Lets the file go; writes nothing.
  ~CProfileSection();
  CProfileSection(const CProfileSection&) = delete;
  CProfileSection& operator=(const CProfileSection&) = delete;

  /// Names the section that the owner works on.
  void SetSection(const char* name) { section_ = name; }
  const std::string& section() const { return section_; }

  /// The value stored for key in section; empty when the file, the section
  /// or the key is missing, as when the value is empty.
  std::string ReadValue(const char* section, const char* key) const;

  /// Writes value (absent: removes the key) when it differs from the stored
  /// one, and notes a write that succeeded.
  CProfileSection& WriteIfDifferent(const char* section, const char* key,
                                    const char* value);

  /// Whether a write went to the file.
  bool IsChanged() const { return changed_; }

 private:
  const std::string file_path_;
  std::string section_;
  bool changed_ = false;
  HANDLE hold_ = INVALID_HANDLE_VALUE;  // the file, locked, while held
};

#endif  // PATCHER_PROFILE_SECTION_H_
