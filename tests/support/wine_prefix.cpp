#include "wine_prefix.h"

#include <stdlib.h>

namespace fs = std::filesystem;

TestWinePrefix::TestWinePrefix() {
  fs::create_directories(dir_.path() / "drive_c" / "Program Files");
  fs::create_directories(dir_.path() / "dosdevices");
  fs::create_directory_symlink("../drive_c", dir_.path() / "dosdevices" / "c:");
  WriteUninstallEntries("");
}

fs::path TestWinePrefix::Folder(const std::string& name) const {
  return dir_.path() / "drive_c" / "Program Files" / name;
}

std::string TestWinePrefix::WindowsFolder(const std::string& name) const {
  return "C:\\Program Files\\" + name;
}

void TestWinePrefix::WriteUninstallEntries(const std::string& lines) const {
  const std::string uninstall =
      "Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion"
      "\\\\Uninstall";
  std::string file =
      "WINE REGISTRY Version 2\n"
      ";; All keys relative to \\\\Machine\n\n"
      "#arch=win64\n\n"
      "[" +
      uninstall +
      "] 1733900000\n"
      "#time=1db4bd0e5a3c2b0\n\n";
  size_t begin = 0;
  while (begin < lines.size()) {
    size_t end = lines.find('\n', begin);
    if (end == std::string::npos) end = lines.size();
    std::string line = lines.substr(begin, end - begin);
    begin = end + 1;
    if (!line.empty() && line[0] == '[') {
      line = "\n[" + uninstall + "\\\\" + line.substr(1) + " 1733900000";
    }
    file += line + "\n";
  }
  WriteFileBytes(dir_.path() / "system.reg", file);
}

std::string TestWinePrefix::Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string TestWinePrefix::MultiString(
    const std::vector<std::string>& strings) {
  std::string data = "str(7):\"";
  for (const std::string& text : strings) {
    const std::string quoted = Quoted(text);
    data += quoted.substr(1, quoted.size() - 2) + "\\0";
  }
  return data + "\"";
}

ScopedWinePrefix::ScopedWinePrefix(const std::string& path) {
  const char* old = getenv("WINEPREFIX");
  had_old_ = old != nullptr;
  if (old) old_ = old;
  setenv("WINEPREFIX", path.c_str(), 1);
}

ScopedWinePrefix::~ScopedWinePrefix() {
  if (had_old_) {
    setenv("WINEPREFIX", old_.c_str(), 1);
  } else {
    unsetenv("WINEPREFIX");
  }
}
