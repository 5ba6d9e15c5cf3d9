#include "fuzz_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace {

std::string& Folder() {
  static std::string folder;
  return folder;
}

void RemoveFolder() {
  std::error_code error;
  std::filesystem::remove_all(Folder(), error);
}

}  // namespace

const std::string& ProcessFolder(const char* name) {
  std::string& folder = Folder();
  if (!folder.empty()) return folder;
  const char* tmp = getenv("TMPDIR");
  const std::string base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  folder = base + "/" + name + "." + std::to_string(getpid());
  // A folder left by an earlier process of the same number goes first.
  RemoveFolder();
  std::filesystem::create_directories(folder);
  atexit(RemoveFolder);
  return folder;
}
