#ifndef PATCHER_PROFILE_SECTION_H_
#define PATCHER_PROFILE_SECTION_H_

#include <string>

/// Editor of one profile file: reads keys and writes a value only where the
/// file holds another one. Keeps no copy of the file; every call goes to the
/// platform's profile service.
class CProfileSection {
 public:
  explicit CProfileSection(const char* file_path) : file_path_(file_path) {}
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
};

#endif  // PATCHER_PROFILE_SECTION_H_
