// What the file's properties show for defpatch.exe, read with the
// platform's version functions.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string ExePath() {
  std::string path = "Z:" DEFPATCH_EXE;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

TEST(FileVersion, DescribesTheProgram) {
  const std::string exe = ExePath();
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &handle);
  ASSERT_NE(0u, size);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\",
                             reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
  EXPECT_EQ(0x000D0000u, fixed->dwProductVersionMS);
  EXPECT_EQ(0x00050000u, fixed->dwProductVersionLS);
  EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

  const struct {
    const char* key;
    const char* value;
  } strings[] = {
      {"CompanyName", "Orvalle, inc."},
      {"FileDescription", "Fennagle search definition patch"},
      {"FileVersion", "1.0"},
      {"OriginalFilename", "defpatch.exe"},
      {"ProductVersion", "13.05"},
  };
  for (const auto& s : strings) {
    SCOPED_TRACE(s.key);
    char* value = nullptr;
    const std::string query =
        std::string("\\StringFileInfo\\040904b0\\") + s.key;
    ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(),
                               reinterpret_cast<void**>(&value), &length));
    EXPECT_STREQ(s.value, value);
  }
}

}  // namespace
