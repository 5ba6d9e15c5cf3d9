// A temporary folder for one test, removed with everything in it.
#ifndef TESTS_SUPPORT_SCOPED_TEMP_DIR_H_
#define TESTS_SUPPORT_SCOPED_TEMP_DIR_H_

#include <filesystem>
#include <string>

class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  /// The folder's path joined with relative, as native text.
  std::string Path(const std::string& relative = "") const;

 private:
  std::filesystem::path path_;
};

/// The bytes of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);
/// Writes bytes to a file, creating its folders.
void WriteFileBytes(const std::filesystem::path& path,
                    const std::string& bytes);

#endif  // TESTS_SUPPORT_SCOPED_TEMP_DIR_H_
