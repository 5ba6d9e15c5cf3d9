// A temporary folder for one test, removed with everything in it.
#ifndef TESTS_SUPPORT_SCOPED_TEMP_DIR_H_
#define TESTS_SUPPORT_SCOPED_TEMP_DIR_H_

#include <filesystem>
#include <string>

class ScopedTempDir {
 public:
  /// A new folder in base (the system's folder for temporary files unless
  /// given).
  explicit ScopedTempDir(const std::filesystem::path& base =
                             std::filesystem::temp_directory_path());
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

/// Makes a file read-only for the platform's profile service, or writable
/// again. On Linux: the owner's write permission. Under Wine, which writes
/// files without write bits when it runs as root, the immutable flag.
bool SetReadOnly(const std::filesystem::path& path, bool read_only);

/// A file made read-only for the life of the guard.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::filesystem::path& path)
      : path_(path), done_(SetReadOnly(path, true)) {}
  ~ReadOnlyFile() { SetReadOnly(path_, false); }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  /// Whether the file did become read-only.
  bool done() const { return done_; }

 private:
  std::filesystem::path path_;
  bool done_;
};

#endif  // TESTS_SUPPORT_SCOPED_TEMP_DIR_H_
