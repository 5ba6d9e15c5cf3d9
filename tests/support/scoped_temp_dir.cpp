#include "scoped_temp_dir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

ScopedTempDir::ScopedTempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp =
      std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    std::ostringstream name;
    name << "defpatch-test-" << stamp << "-" << counter++;
    path_ = fs::temp_directory_path() / name.str();
    std::error_code error;
    if (fs::create_directory(path_, error)) break;
  }
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code error;
  fs::remove_all(path_, error);
}

std::string ScopedTempDir::Path(const std::string& relative) const {
  return relative.empty() ? path_.string() : (path_ / relative).string();
}

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
