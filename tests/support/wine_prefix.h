// A Wine prefix of a test's own on Linux: drive C: is its drive_c, and its
// registry is a system.reg that the test writes.
#ifndef TESTS_SUPPORT_WINE_PREFIX_H_
#define TESTS_SUPPORT_WINE_PREFIX_H_

#include <filesystem>
#include <string>
#include <vector>

#include "scoped_temp_dir.h"

class TestWinePrefix {
 public:
  TestWinePrefix();

  std::string Path() const { return dir_.Path(); }
  /// The Unix folder of C:\Program Files\name, and its Windows form.
  std::filesystem::path Folder(const std::string& name) const;
  std::string WindowsFolder(const std::string& name) const;

  /// Writes system.reg of a 64-bit prefix holding, under the 32-bit view's
  /// Uninstall key, the given key and value lines (each "[...]" key line is
  /// relative to that key and written with its escapes), e.g.
  /// "[{...}]\n\"InstallLocation\"=\"C:\\\\x\"\n".
  void WriteUninstallEntries(const std::string& lines) const;

  /// A string in system.reg's quoted form: backslashes and quotes escaped.
  static std::string Quoted(const std::string& text);
  /// A REG_MULTI_SZ value as Wine writes it: str(7):"a\0b\0".
  static std::string MultiString(const std::vector<std::string>& strings);

 private:
  ScopedTempDir dir_;
};

/// Sets WINEPREFIX for the life of the guard.
class ScopedWinePrefix {
 public:
  explicit ScopedWinePrefix(const std::string& path);
  ~ScopedWinePrefix();

 private:
  std::string old_;
  bool had_old_;
};

#endif  // TESTS_SUPPORT_WINE_PREFIX_H_
