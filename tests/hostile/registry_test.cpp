// defpatch without arguments on a hostile registry: a system.reg of 50 MB
// of garbage, an InstallLocation of 1 MB, a multi-string value without its
// terminators. Each run ends quickly, within memory in proportion to its
// input, with the exact summary.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "defpatch_run.h"
#include "hostile_run.h"
#include "scoped_temp_dir.h"
#include "wine_prefix.h"

namespace fs = std::filesystem;

namespace {

std::string ProductCode(const char* suffix) {
  return std::string("{4C8A2F10-7B3E-4D91-A6C5-19E0B7D3F4") + suffix + "}";
}

// Bytes as system.reg writes binary data: hex(type):xx,xx,...
std::string Hex(int type, const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text = "hex(" + std::to_string(type) + "):";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) text += ',';
    text += kDigits[static_cast<unsigned char>(bytes[i]) >> 4];
    text += kDigits[static_cast<unsigned char>(bytes[i]) & 15];
  }
  return text;
}

// ASCII text as UTF-16LE, the registry's own form of strings.
std::string Utf16(const std::string& ascii) {
  std::string bytes;
  for (char c : ascii) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

class HostileRegistryTest : public ::testing::Test {
 protected:
  HostileRegistryTest() : use_(prefix_.Path()) {
    WriteFileBytes(prefix_.Folder("App") / "search.ini", kOutdatedSearchIni);
  }

  std::string SystemReg() const { return prefix_.Path() + "/system.reg"; }
  bool Patched() const {
    return ReadFileBytes(prefix_.Folder("App") / "search.ini") ==
           kCurrentSearchIni;
  }
  void Reset() const {
    WriteFileBytes(prefix_.Folder("App") / "search.ini", kOutdatedSearchIni);
  }
  // The key and value lines of a copy registered under suffix, as
  // TestWinePrefix::WriteUninstallEntries takes them.
  static std::string Copy(const char* suffix, const std::string& data) {
    return "[" + ProductCode(suffix) + "]\n\"InstallLocation\"=" + data + "\n";
  }

  TestWinePrefix prefix_;
  ScopedWinePrefix use_;
};

TEST_F(HostileRegistryTest, SystemRegOf50MbOfGarbage) {
  constexpr size_t kSize = 50 << 20;
  std::mt19937 random(20240613);
  std::string garbage(kSize, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  const std::string header = "WINE REGISTRY Version 2\n#arch=win64\n";
  const std::string uninstall =
      "[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\"
      "Uninstall] 0\n";
  const std::string copy =
      "[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\"
      "Uninstall\\\\" +
      ProductCode("23") + "] 0\n\"InstallLocation\"=" +
      TestWinePrefix::Quoted(prefix_.WindowsFolder("App")) + "\n";
  const std::string key_open_error =
      "Patch search.ini for youtube\nkey open error\n";
  // Each file is made when its case comes: they are large.
  struct Case {
    const char* name;
    std::function<std::string()> file;
    std::string out;
  } cases[] = {
      {"garbage only", [&] { return garbage; }, key_open_error},
      {"garbage after the header", [&] { return header + garbage + "\n"; },
       key_open_error},
      {"garbage, then a copy",
       [&] { return header + garbage + "\n" + uninstall + copy; }, Summary(1)},
      {"a copy, then garbage",
       [&] { return header + uninstall + copy + "[Garbage] 0\n" + garbage; },
       Summary(1)},
      {"a key line of 50 MB without its end, then a copy",
       [&] {
         return header + "[" + std::string(kSize, 'k') + "\n" + uninstall +
                copy;
       },
       Summary(1)},
      {"a mark line of 50 MB, then a copy",
       [&] {
         return header + "#" + std::string(kSize, 'm') + "\n" + uninstall +
                copy;
       },
       Summary(1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    size_t size;
    {
      const std::string file = c.file();
      size = file.size();
      WriteFileBytes(SystemReg(), file);
    }
    const auto run = RunMeasured({});
    EXPECT_EQ(c.out, run->out());
    EXPECT_EQ(c.out == Summary(1) ? 0 : 1, run->status());
    EXPECT_EQ(c.out == Summary(1), Patched());
    ExpectMemoryInProportion(*run, size);
  }
}

TEST_F(HostileRegistryTest, InstallLocationOf1Mb) {
  constexpr size_t kSize = 1 << 20;
  const std::string app = prefix_.WindowsFolder("App");
  const std::string programs = "C:\\Program Files";
  // Folders that are gone, with the copy's folder among them, as the
  // strings of one multi-string value.
  std::vector<std::string> folders;
  size_t length = 0;
  for (int n = 0; length < kSize; ++n) {
    folders.push_back(n == 10000 ? app
                                 : programs + "\\Gone" + std::to_string(n));
    length += folders.back().size() + 1;
  }
  std::string list;  // the same, as one text
  for (const std::string& folder : folders) list += folder + ";";
  // Text made of the characters that a location is made of.
  std::mt19937 random(20240613);
  const std::string alphabet = "C:\\;\",ab ";
  std::string noise(kSize, ' ');
  for (char& c : noise) c = alphabet[random() % alphabet.size()];
  struct Case {
    const char* name;
    std::string data;  // the value as system.reg holds it
    int count;
  } cases[] = {
      {"the folder, then 1 MB without a delimiter",
       TestWinePrefix::Quoted(app + "\\" + std::string(kSize, 'x')), 1},
      {"1 MB of folders in one string", TestWinePrefix::Quoted(list), 1},
      {"1 MB of folders as a multi-string",
       TestWinePrefix::MultiString(folders), 1},
      {"1 MB of noise", TestWinePrefix::Quoted(noise), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    prefix_.WriteUninstallEntries(Copy("21", c.data));
    const auto run = RunMeasured({});
    EXPECT_EQ(Summary(c.count), run->out());
    EXPECT_EQ(c.count > 0 ? 0 : 1, run->status());
    EXPECT_EQ(c.count > 0, Patched());
    ExpectMemoryInProportion(*run, c.data.size());
  }
}

// A multi-string value ends with an empty string: two NULs. Without them
// the last string is not followed by ';', and yields its parent folder.
TEST_F(HostileRegistryTest, MultiStringWithoutTerminators) {
  const std::string app = prefix_.WindowsFolder("App");
  const std::string gone = "C:\\Program Files\\Gone";
  std::string many;
  while (many.size() < (1 << 20)) many += gone + '\0';
  struct Case {
    const char* name;
    std::string bytes;  // as stored, UTF-16LE
    int count;
  } cases[] = {
      {"the folder last, unended", Utf16(gone + '\0' + app), 0},
      {"the folder first, the last one unended", Utf16(app + '\0' + gone), 1},
      {"one folder ending in a backslash, no NUL", Utf16(app + "\\"), 1},
      {"one folder, no NUL", Utf16(app), 1},
      {"half a character at the end", Utf16(app + '\0') + "\x41", 1},
      {"1 MB of folders, then the folder, unended", Utf16(many + app + "\\"),
       1},
      {"no bytes at all", "", 0},
      {"only NULs", std::string(64, '\0'), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    prefix_.WriteUninstallEntries(Copy("27", Hex(7, c.bytes)));
    const auto run = RunMeasured({});
    EXPECT_EQ(Summary(c.count), run->out());
    EXPECT_EQ(c.count > 0, Patched());
    ExpectMemoryInProportion(*run, c.bytes.size());
  }
}

}  // namespace
