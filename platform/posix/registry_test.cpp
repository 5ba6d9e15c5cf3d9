// The registry of the Linux build, read from small system.reg files written
// into a temporary Wine prefix, and from a prefix that Wine itself wrote.
// Linux only: on Windows these functions are the system's, and the prefix
// that the tests run in is not theirs to rewrite.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "win32.h"

namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

constexpr char kHeader[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\Machine\n\n";

constexpr REGSAM kKeySetValue = 0x0002;
constexpr REGSAM kKeyWrite = 0x20006;
constexpr REGSAM kKeyAllAccess = 0xF003F;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kMaximumAllowed = 0x02000000;

// The hex(6) data of a link to target, as Wine writes it.
std::string LinkValue(const std::string& target) {
  std::string line = "\"SymbolicLinkValue\"=hex(6):";
  char byte[8];
  for (size_t i = 0; i < target.size(); ++i) {
    snprintf(byte, sizeof byte, "%s%02x,00", i ? "," : "",
             static_cast<unsigned char>(target[i]));
    line += byte;
  }
  return line + "\n";
}

// What a read of one value gave: the status of the open or of the query,
// the type and the bytes.
struct Read {
  explicit Read(LONG status) : status(status) {}
  LONG status;
  DWORD type = REG_NONE;
  std::string bytes;
};

// Reads name of an open key as defpatch does: the size first, then into a
// buffer of exactly that size. Checks that both queries agree.
Read ReadOpenKey(HKEY key, const char* name) {
  DWORD type = 99;
  DWORD size = 77;
  Read read(RegQueryValueExA(key, name, nullptr, &type, nullptr, &size));
  if (read.status != ERROR_SUCCESS) {
    EXPECT_EQ(size, 0u) << "a failed size query reports size 0";
    EXPECT_EQ(type, DWORD{REG_NONE});
    return read;
  }
  std::string buffer(size + 1, '\xCC');
  DWORD stored = size;
  read.status =
      RegQueryValueExA(key, name, nullptr, &read.type,
                       reinterpret_cast<LPBYTE>(buffer.data()), &stored);
  EXPECT_EQ(read.status, ERROR_SUCCESS);
  EXPECT_EQ(stored, size);
  EXPECT_EQ(read.type, type);
  EXPECT_EQ(buffer[size], '\xCC') << "wrote past the size it reported";
  read.bytes = buffer.substr(0, stored);
  return read;
}

// Opens path below parent (HKEY_LOCAL_MACHINE when null) and reads name.
Read ReadValue(const char* path, const char* name, REGSAM access = KEY_READ,
               const char* parent = nullptr) {
  HKEY from = HKEY_LOCAL_MACHINE;
  if (parent != nullptr) {
    const LONG status =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, parent, 0, access, &from);
    if (status != ERROR_SUCCESS) return Read(status);
  }
  HKEY key;
  Read read(RegOpenKeyExA(from, path, 0, access, &key));
  if (read.status == ERROR_SUCCESS) {
    read = ReadOpenKey(key, name);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  }
  if (from != HKEY_LOCAL_MACHINE) {
    EXPECT_EQ(RegCloseKey(from), ERROR_SUCCESS);
  }
  return read;
}

// A temporary folder, named by WINEPREFIX for the test's duration.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern =
        (fs::temp_directory_path() / "registry_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    prefix_ = dir_ / "prefix";
    fs::create_directories(prefix_);
    for (const char* name : {"WINEPREFIX", "HOME"}) {
      const char* value = getenv(name);
      saved_.push_back(value ? std::optional<std::string>(value)
                             : std::nullopt);
    }
    setenv("WINEPREFIX", prefix_.c_str(), 1);
  }

  void TearDown() override {
    const char* names[] = {"WINEPREFIX", "HOME"};
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i]) {
        setenv(names[i], saved_[i]->c_str(), 1);
      } else {
        unsetenv(names[i]);
      }
    }
    saved_.clear();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }

  // Writes the prefix's system.reg: the header, the mark of the prefix's
  // architecture (none when empty) and keys.
  void WriteSystemReg(const std::string& keys,
                      const std::string& arch = "win64") {
    std::string text = kHeader;
    if (!arch.empty()) text += "#arch=" + arch + "\n\n";
    WriteFile(prefix_ / "system.reg", text + keys);
  }

  fs::path dir_;
  fs::path prefix_;
  std::vector<std::optional<std::string>> saved_;
};

// Every value format that Wine writes, with its escapes, as the A function
// returns it: strings converted from UTF-16 to UTF-8, sizes counting the
// terminators that the stored data has, other types as their bytes.
TEST_F(RegistryTest, ReadsEveryValueFormat) {
  const std::string keys =
      "[Software\\\\Formats] 1733912345\n"
      "#time=1d9f1c2a3b4c5d6\n"
      "@=\"default\"\n"
      "\"sz\"=\"C:\\\\x\\\\\"\n"
      "\"empty\"=\"\"\n"
      "\"exp\"=str(2):\"%ProgramFiles%\\\\x\"\n"
      "\"multi\"=str(7):\"C:\\\\a\\0D:\\\\b\\0\"\n"
      "\"escapes\"=\"q\\\"b\\\\t\\tn\\nr\\r\"\n"
      "\"octal\"=\"\\101\\0101\\7a\\37F\"\n"
      "\"hexunits\"=\"\\x41\\x00e9b\\x20ac1\\x7g\"\n"
      "\"nonascii\"=\"\\xe9\\x20ac\\xd83d\\xde00\"\n"
      "\"unpaired\"=\"\\xd800x\\xdc00\"\n"
      "\"raw utf-8\"=\"\xC3\xA9\xE2\x82\xAC\"\n"
      "\"odd\"=hex(1):61,00,62\n"
      "\"unterminated\"=hex(2):41,00,42,00\n"
      "\"multihex\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
      "\"binary\"=hex:01,02,ff\n"
      "\"continued\"=hex:01,02,\\\n"
      "  03,04,\\\n"
      "  05\n"
      "\"emptybinary\"=hex:\n"
      "\"dword\"=dword:12345678\n"
      "\"qword\"=hex(b):01,00,00,00,00,00,00,00\n"
      "\"big type\"=hex(12345):78,79\n"
      "\"we\\\"ird\\\\name\"=\"x\"\n"
      "\"spaced\" = \"y\"\n"
      "\n"
      "[Software\\\\Formats\\\\Sub] 1733912345\n"
      "\"sz\"=\"not the key's\"\n";
  const struct {
    const char* name;
    DWORD type;
    std::string bytes;
  } cases[] = {
      {nullptr, REG_SZ, "default\0"s},
      {"", REG_SZ, "default\0"s},
      {"sz", REG_SZ, "C:\\x\\\0"s},
      {"SZ", REG_SZ, "C:\\x\\\0"s},
      {"empty", REG_SZ, "\0"s},
      {"exp", REG_EXPAND_SZ, "%ProgramFiles%\\x\0"s},
      {"multi", REG_MULTI_SZ, "C:\\a\0D:\\b\0\0"s},
      {"escapes", REG_SZ, "q\"b\\t\tn\nr\r\0"s},
      {"octal", REG_SZ,
       "A\b1\aa\x1F"
       "F\0"s},
      {"hexunits", REG_SZ,
       "A\xC3\xA9"
       "b\xE2\x82\xAC"
       "1\x07g\0"s},
      {"nonascii", REG_SZ, "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\0"s},
      {"unpaired", REG_SZ, "\xEF\xBF\xBDx\xEF\xBF\xBD\0"s},
      {"raw utf-8", REG_SZ, "\xC3\xA9\xE2\x82\xAC\0"s},
      {"odd", REG_SZ, "a"s},
      {"unterminated", REG_EXPAND_SZ, "AB"s},
      {"multihex", REG_MULTI_SZ, "a\0b\0\0"s},
      {"binary", REG_BINARY, "\x01\x02\xFF"s},
      {"continued", REG_BINARY, "\x01\x02\x03\x04\x05"s},
      {"emptybinary", REG_BINARY, ""s},
      {"dword", REG_DWORD, "\x78\x56\x34\x12"s},
      {"qword", REG_QWORD, "\x01\0\0\0\0\0\0\0"s},
      {"big type", 0x12345, "xy"s},
      {"we\"ird\\name", REG_SZ, "x\0"s},
      {"spaced", REG_SZ, "y\0"s},
  };
  // Wine writes LF; a file that went through a Windows editor has CR LF.
  for (const char* line_end : {"\n", "\r\n"}) {
    SCOPED_TRACE(line_end[0] == '\r' ? "CR LF" : "LF");
    std::string text;
    for (char c : keys)
      text += c == '\n' ? std::string(line_end) : std::string(1, c);
    WriteSystemReg(text);
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name ? c.name : "(null)");
      const Read read = ReadValue("Software\\Formats", c.name);
      ASSERT_EQ(read.status, ERROR_SUCCESS);
      EXPECT_EQ(read.type, c.type);
      EXPECT_EQ(read.bytes, c.bytes);
    }
  }
}

// The query protocol that defpatch relies on.
TEST_F(RegistryTest, QueriesReportSizesAndFailuresAsWindowsDoes) {
  WriteSystemReg(
      "[Software\\\\App]\n"
      "\"path\"=\"C:\\\\App\"\n"
      "\"odd\"=hex(1):61,00,62\n"
      "\"binary\"=hex:01,02\n");
  HKEY key;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\App", 0, KEY_READ, &key),
      ERROR_SUCCESS);
  unsigned char buffer[16];
  DWORD type;
  DWORD size;

  // A buffer one byte short: ERROR_MORE_DATA with the size needed, the
  // type, and nothing written.
  memset(buffer, 0xCC, sizeof buffer);
  type = 99;
  size = 6;
  EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, &type, buffer, &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(type, DWORD{REG_SZ});
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), sizeof buffer),
            std::string(sizeof buffer, '\xCC'));

  // A larger buffer: the size stored, not the capacity.
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, &type, buffer, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 7), "C:\\App\0"s);

  // A string stored without its NUL gets one where there is room; it is
  // not counted. Binary data gets none.
  memset(buffer, 0xCC, sizeof buffer);
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "odd", nullptr, &type, buffer, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(buffer[0], 'a');
  EXPECT_EQ(buffer[1], 0);
  memset(buffer, 0xCC, sizeof buffer);
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExA(key, "binary", nullptr, &type, buffer, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 2u);
  EXPECT_EQ(buffer[2], 0xCC);

  // A missing value: the size query leaves size 0; a read into a buffer
  // leaves size and buffer alone. Both report no type.
  type = 99;
  size = 77;
  EXPECT_EQ(
      RegQueryValueExA(key, "InstallLocation", nullptr, &type, nullptr, &size),
      ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(type, DWORD{REG_NONE});
  memset(buffer, 0xCC, sizeof buffer);
  size = sizeof buffer;
  EXPECT_EQ(
      RegQueryValueExA(key, "InstallLocation", nullptr, &type, buffer, &size),
      ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, sizeof buffer);
  EXPECT_EQ(buffer[0], 0xCC);

  // Whether a value exists, with no type, data or size asked for.
  EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);

  // A buffer without a size, or a reserved pointer that is not null.
  EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, &type, buffer, nullptr),
            ERROR_INVALID_PARAMETER);
  DWORD reserved = 0;
  EXPECT_EQ(RegQueryValueExA(key, "path", &reserved, &type, nullptr, &size),
            ERROR_INVALID_PARAMETER);

  // The machine's root has no values.
  size = 5;
  EXPECT_EQ(RegQueryValueExA(HKEY_LOCAL_MACHINE, "path", nullptr, nullptr,
                             nullptr, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// Key paths: components separated by backslashes, matched without regard to
// case (also beyond ASCII), empty components skipped.
TEST_F(RegistryTest, MatchesKeyPathsCaseInsensitively) {
  WriteSystemReg(
      "[Software\\\\Vendor\\\\\\xdcn\\x00efcode App] 1733912345\n"
      "\"v\"=\"found\"\n"
      "[Software\\\\Vendor\\\\A\\]b\\\\Brackets\\[\\]] 1733912345\n"
      "\"v\"=\"brackets\"\n",
      "");
  const struct {
    const char* path;
    LONG status;
    const char* value;
  } cases[] = {
      {"Software\\Vendor\\\xC3\x9Cn\xC3\xAF"
       "code App",
       ERROR_SUCCESS, "found"},
      {"SOFTWARE\\vendor\\\xC3\xBCN\xC3\x8F"
       "CODE APP",
       ERROR_SUCCESS, "found"},
      {"Software\\\\Vendor\\\xC3\x9Cn\xC3\xAF"
       "code App\\",
       ERROR_SUCCESS, "found"},
      {"Software\\Vendor\\A]b\\Brackets[]", ERROR_SUCCESS, "brackets"},
      {"\\Software\\Vendor", ERROR_BAD_PATHNAME, nullptr},
      {"Software/Vendor", ERROR_FILE_NOT_FOUND, nullptr},
      {"Software\\Vendor\\Unicode App", ERROR_FILE_NOT_FOUND, nullptr},
      {"Software\\Vendor\\\xC3\x9Cn\xC3\xAF"
       "code",
       ERROR_FILE_NOT_FOUND, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const Read read = ReadValue(c.path, "v");
    EXPECT_EQ(read.status, c.status);
    if (c.value) {
      EXPECT_EQ(read.bytes, c.value + "\0"s);
    }
  }
}

// The view of a 32-bit program. On a 64-bit prefix a key with a
// "Wow6432Node" subkey has its other subkeys looked up in there, links are
// followed to their targets as written, and KEY_WOW64_64KEY asks for the
// keys as written. A 32-bit prefix, or one without a mark, has one view.
TEST_F(RegistryTest, ShowsTheViewOfA32BitProgram) {
  const std::string keys =
      "[Software\\\\Both]\n\"v\"=\"64\"\n"
      "[Software\\\\Only64]\n\"v\"=\"64\"\n"
      "[Software\\\\Classes\\\\Kind]\n\"v\"=\"64 class\"\n"
      "[Software\\\\Classes\\\\Wow6432Node\\\\Kind]\n\"v\"=\"32 class\"\n"
      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\"
      "{P}]\n\"v\"=\"64 product\"\n"
      "[Software\\\\Target]\n\"v\"=\"target as written\"\n"
      "[Software\\\\Wow6432Node\\\\Both]\n\"v\"=\"32\"\n"
      "[Software\\\\Wow6432Node\\\\Classes]\n#link\n" +
      LinkValue("\\Registry\\Machine\\Software\\Classes\\Wow6432Node") +
      "[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\"
      "Uninstall\\\\{P}]\n\"v\"=\"32 product\"\n"
      "[Software\\\\Wow6432Node\\\\Shortcut]\n#link\n" +
      LinkValue("\\REGISTRY\\MACHINE\\Software\\Target") +
      "[Software\\\\Wow6432Node\\\\LoopA]\n#link\n" +
      LinkValue("\\Registry\\Machine\\Software\\Wow6432Node\\LoopB") +
      "[Software\\\\Wow6432Node\\\\LoopB]\n#link\n" +
      LinkValue("\\Registry\\Machine\\Software\\Wow6432Node\\LoopA") +
      "[Software\\\\Wow6432Node\\\\Away]\n#link\n" +
      LinkValue("\\Registry\\User\\S-1-5-21\\Software") +
      "[Software\\\\Wow6432Node\\\\Target]\n\"v\"=\"target in 32\"\n"
      "[System\\\\Foo\\\\Bar]\n\"v\"=\"as written\"\n"
      "[System\\\\Foo\\\\Wow6432Node\\\\Bar]\n\"v\"=\"32\"\n";
  constexpr REGSAM k32 = KEY_READ;
  constexpr REGSAM k64 = KEY_READ | KEY_WOW64_64KEY;
  constexpr char kUninstall[] =
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  const struct {
    const char* arch;
    REGSAM access;
    const char* parent;  // opened first, when not null
    const char* path;
    const char* value;  // null: the key cannot be opened
  } cases[] = {
      {"win64", k32, nullptr, "Software\\Both", "32"},
      {"win64", k64, nullptr, "Software\\Both", "64"},
      {"win64", k32 | KEY_WOW64_32KEY, nullptr, "Software\\Both", "32"},
      {"win64", k32, nullptr, "Software\\Only64", nullptr},
      {"win64", k64, nullptr, "Software\\Only64", "64"},
      {"win64", k32, nullptr, "Software\\Wow6432Node\\Both", "32"},
      {"win64", k64, nullptr, "Software\\wow6432node\\Both", "32"},
      {"win64", k32, "Software", "Both", "32"},
      {"win64", k64, "Software", "Both", "64"},
      {"win64", k32, kUninstall, "{P}", "32 product"},
      {"win64", k64, kUninstall, "{p}", "64 product"},
      {"win64", k32, nullptr, "Software\\Classes\\Kind", "32 class"},
      {"win64", k64, nullptr, "Software\\Classes\\Kind", "64 class"},
      {"win64", k32, "Software", "Classes\\Kind", "32 class"},
      {"win64", k32, nullptr, "Software\\Shortcut", "target as written"},
      {"win64", k32, nullptr, "Software\\LoopA", nullptr},
      {"win64", k32, nullptr, "Software\\Away", nullptr},
      {"win64", k32, nullptr, "System\\Foo\\Bar", "32"},
      {"win64", k64, nullptr, "System\\Foo\\Bar", "as written"},
      {"win32", k32, nullptr, "Software\\Both", "64"},
      {"win32", k32, kUninstall, "{P}", "64 product"},
      {"win32", k32, nullptr, "System\\Foo\\Bar", "as written"},
      {"", k32, nullptr, "Software\\Both", "64"},
      {"", k32, nullptr, "Software\\Classes\\Kind", "64 class"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.arch) +
                 (c.access & KEY_WOW64_64KEY ? " 64 " : " 32 ") +
                 (c.parent ? c.parent + "\\\\"s : ""s) + c.path);
    WriteSystemReg(keys, c.arch);
    const Read read = ReadValue(c.path, "v", c.access, c.parent);
    if (c.value == nullptr) {
      EXPECT_EQ(read.status, ERROR_FILE_NOT_FOUND);
    } else {
      ASSERT_EQ(read.status, ERROR_SUCCESS);
      EXPECT_EQ(read.bytes, c.value + "\0"s);
    }
  }
}

// Keys off the way to the opened one are passed over without being parsed
// whole, yet what they show still counts: a key that exists only as part of
// another's path (here Wow6432Node, which turns the 32-bit view to it) and
// the values of the key opened after many others, some of whose values hold
// brackets.
TEST_F(RegistryTest, FindsItsKeyAmongManyOthers) {
  std::string padding;
  for (int i = 0; i < 2000; ++i) {
    padding += "[Software\\\\Classes\\\\Pad" + std::to_string(i) +
               "] 1733912345\n#time=1db\n\"v\"=\"[not a key] " +
               std::to_string(i) + "\"\n\"h\"=hex:5b,5d,\\\n  5b\n\n";
  }
  const std::string product =
      "[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\"
      "Uninstall\\\\{P}] 1733912345\n\"v\"=\"64\"\n";
  const struct {
    const char* what;
    const char* evidence;  // a key line after the padding
    const char* value;     // of {P} in the 32-bit view; null: not found
  } cases[] = {
      {"no 32-bit keys", "", "64"},
      {"Wow6432Node shown by another key",
       "[Software\\\\Wow6432Node\\\\Other] 1\n", nullptr},
      {"in other letter case", "[SOFTWARE\\\\wow6432node\\\\Other] 1\n",
       nullptr},
      {"after an empty component", "[Software\\\\\\\\Wow6432Node\\\\Other] 1\n",
       nullptr},
      {"written with an escape", "[Software\\\\\\x57ow6432Node\\\\Other] 1\n",
       nullptr},
      {"Wow6432Node of another key",
       "[Software\\\\Classes\\\\Wow6432Node\\\\Other] 1\n", "64"},
      {"written with an escape at a name's end",
       "[Software\\\\Wow6432Nod\\x65\\\\Other] 1\n", nullptr},
      {"after a key line without its bracket that starts the same",
       "[Software\\\\Wow6432Node\\\\Other\\\\More\n"
       "[Software\\\\Wow6432Node\\\\Other2] 1\n",
       nullptr},
  };
  constexpr char kUninstall[] =
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteSystemReg(padding + c.evidence + product);
    const Read read = ReadValue("{P}", "v", KEY_READ, kUninstall);
    if (c.value == nullptr) {
      EXPECT_EQ(read.status, ERROR_FILE_NOT_FOUND);
    } else {
      ASSERT_EQ(read.status, ERROR_SUCCESS);
      EXPECT_EQ(read.bytes, c.value + "\0"s);
    }
  }
}

// Where the file is looked for, and what makes it unusable: then no key
// can be opened.
TEST_F(RegistryTest, OpensNothingWithoutAReadableRegistry) {
  const std::string valid = kHeader + "[Software\\\\App]\n\"v\"=\"x\"\n"s;
  const struct {
    const char* what;
    std::function<void()> setup;
    LONG status;
  } cases[] = {
      {"the file in WINEPREFIX",
       [&] { WriteFile(prefix_ / "system.reg", valid); }, ERROR_SUCCESS},
      {"the file in ~/.wine without WINEPREFIX",
       [&] {
         unsetenv("WINEPREFIX");
         setenv("HOME", dir_.c_str(), 1);
         WriteFile(dir_ / ".wine" / "system.reg", valid);
       },
       ERROR_SUCCESS},
      {"an empty WINEPREFIX stands for ~/.wine",
       [&] {
         setenv("WINEPREFIX", "", 1);
         setenv("HOME", dir_.c_str(), 1);
         WriteFile(dir_ / ".wine" / "system.reg", valid);
       },
       ERROR_SUCCESS},
      {"no prefix",
       [&] { setenv("WINEPREFIX", (dir_ / "missing").c_str(), 1); },
       ERROR_FILE_NOT_FOUND},
      {"no system.reg in the prefix",
       [&] { WriteFile(prefix_ / "user.reg", valid); }, ERROR_FILE_NOT_FOUND},
      {"system.reg is a folder",
       [&] { fs::create_directories(prefix_ / "system.reg" / "x"); },
       ERROR_FILE_NOT_FOUND},
      {"an empty file", [&] { WriteFile(prefix_ / "system.reg", ""); },
       ERROR_FILE_NOT_FOUND},
      {"not Wine's registry",
       [&] {
         WriteFile(prefix_ / "system.reg", valid.substr(valid.find('\n') + 1));
       },
       ERROR_FILE_NOT_FOUND},
      {"another version of it",
       [&] {
         WriteFile(
             prefix_ / "system.reg",
             "WINE REGISTRY Version 1\n" + valid.substr(valid.find('\n') + 1));
       },
       ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    c.setup();
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\App", 0, KEY_READ, &key),
        c.status);
    if (c.status == ERROR_SUCCESS) {
      EXPECT_EQ(ReadOpenKey(key, "v").bytes, "x\0"s);
      EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    } else {
      EXPECT_EQ(key, nullptr);
    }
  }
}

// What cannot be parsed is not there; everything else still is.
TEST_F(RegistryTest, SkipsWhatCannotBeParsed) {
  WriteSystemReg(
      "\"stray\"=\"before any key\"\n"
      "[Software\\\\Bad] 1733912345\n"
      "\"good1\"=\"ok\"\n"
      "\"unterminated\"=\"abc\n"
      "\"badhex\"=hex:01,zz,02\n"
      "\"longbyte\"=hex:123\n"
      "\"badtype\"=hex(zz):01\n"
      "\"nodata\"=\n"
      "\"noequals\" \"x\"\n"
      "\"unnamed=\"x\"\n"
      "\"longdword\"=dword:123456789\n"
      "\"dwordjunk\"=dword:1234567z\n"
      "\"upper\"=HEX:41\n"
      "\"str1\"=str(1):\"s\"\n"
      "\"trailing\"=\"x\" junk\n"
      "junk line\n"
      "\x01\xFF\xFE binary junk \"x\"=\"y\"\n"
      "\"eaten\"=hex(2):41,00,\\\n"
      "\"victim\"=\"taken for the line before's continuation\"\n"
      "\"good2\"=\"still ok\"\n"
      "\"spanned\"=hex:01,\\\n"
      "  02\n"
      "\"dangling\"=hex:01,\\\n"
      "[Software\\\\Bad\\\\Next] 1733912345\n"
      "\"next\"=\"a key line is no continuation\"\n"
      "[Software\\\\Bad\\\\Unclosed 1733912345\n"
      "\"lost\"=\"belongs to no key\"\n"
      "[Software\\\\Bad] 1733912345\n"
      "\"good3\"=\"from a second section\"\n"
      "\"good1\"=\"replaced\"\n"
      "\"cut\"=hex:01,02,\\");
  const struct {
    const char* name;
    std::string bytes;  // empty: not there
  } cases[] = {
      {"good1", "replaced\0"s},
      {"good2", "still ok\0"s},
      {"good3", "from a second section\0"s},
      {"spanned", "\x01\x02"s},
      {"stray", ""},
      {"unterminated", ""},
      {"badhex", ""},
      {"longbyte", ""},
      {"badtype", ""},
      {"nodata", ""},
      {"noequals", ""},
      {"unnamed", ""},
      {"longdword", ""},
      {"dwordjunk", ""},
      {"upper", ""},
      {"str1", ""},
      {"trailing", ""},
      {"x", ""},
      {"eaten", ""},
      {"victim", ""},
      {"lost", ""},
      {"cut", ""},
      {"dangling", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Read read = ReadValue("Software\\Bad", c.name);
    if (c.bytes.empty()) {
      EXPECT_EQ(read.status, ERROR_FILE_NOT_FOUND);
    } else {
      EXPECT_EQ(read.status, ERROR_SUCCESS);
      EXPECT_EQ(read.bytes, c.bytes);
    }
  }
  EXPECT_EQ(ReadValue("Software\\Bad\\Unclosed", "lost").status,
            ERROR_FILE_NOT_FOUND);
  const Read next = ReadValue("Software\\Bad\\Next", "next");
  EXPECT_EQ(next.status, ERROR_SUCCESS);
  EXPECT_EQ(next.bytes, "a key line is no continuation\0"s);
}

// The registry holds keys at most 512 levels deep. A deeper key line, which
// no Wine writes, is left out with its values (200000 levels would run the
// stack out when the keys read are freed); the keys around it stay.
TEST_F(RegistryTest, LeavesOutKeysDeeperThanTheRegistryHolds) {
  std::string deepest = "Software\\\\Deep";  // two levels
  std::string deepest_path = "Software\\Deep";
  for (int level = 3; level <= 512; ++level) {
    deepest += "\\\\k";
    deepest_path += "\\k";
  }
  std::string too_deep = deepest;
  for (int level = 513; level <= 200000; ++level) too_deep += "\\\\k";
  WriteSystemReg("[Software\\\\Deep]\n\"v\"=\"top\"\n[" + deepest +
                 "]\n\"v\"=\"512\"\n[" + too_deep +
                 "]\n\"v\"=\"deeper\"\n"
                 "[Software\\\\Deep\\\\After]\n\"v\"=\"after\"\n");
  EXPECT_EQ(ReadValue("Software\\Deep", "v").bytes, "top\0"s);
  EXPECT_EQ(ReadValue(deepest_path.c_str(), "v").bytes, "512\0"s);
  EXPECT_EQ(ReadValue((deepest_path + "\\k").c_str(), "v").status,
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ReadValue("Software\\Deep\\After", "v").bytes, "after\0"s);
}

// A large file, with long lines in keys that are not asked for and in the
// one that is.
TEST_F(RegistryTest, ReadsLargeFiles) {
  std::string keys;
  for (int i = 0; i < 50000; ++i) {
    keys += "[Software\\\\Many\\\\Key" + std::to_string(i) +
            "] 1733912345\n\"v\"=\"" + std::to_string(i) + "\"\n";
  }
  keys += "[Software\\\\Many\\\\Key7\\\\Long]\n\"junk\"=\"" +
          std::string(8 << 20, 'j') + "\n";
  keys +=
      "[Software\\\\Wanted]\n\"long\"=\"" + std::string(1 << 20, 'w') + "\"\n";
  WriteSystemReg(keys);
  EXPECT_EQ(ReadValue("Software\\Many\\Key49999", "v").bytes, "49999\0"s);
  const Read read = ReadValue("Software\\Wanted", "long");
  ASSERT_EQ(read.status, ERROR_SUCCESS);
  EXPECT_EQ(read.bytes, std::string(1 << 20, 'w') + '\0');
}

// Handles: each open gives a handle of its own, to be closed once; a key
// keeps what was read when it was opened, and its subkeys are opened from
// that; a new open of a key of the machine reads the file again.
TEST_F(RegistryTest, HandlesAreDistinctAndClosedOnce) {
  WriteSystemReg(
      "[Software\\\\App]\n\"v\"=\"first\"\n"
      "[Software\\\\App\\\\Sub]\n\"v\"=\"first sub\"\n");
  HKEY a;
  HKEY b;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\App", 0, KEY_READ, &a),
            ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\app", 0, KEY_READ, &b),
            ERROR_SUCCESS);
  EXPECT_NE(a, b);
  HKEY again;
  ASSERT_EQ(RegOpenKeyExA(a, "", 0, KEY_READ, &again), ERROR_SUCCESS);
  EXPECT_NE(again, a);
  EXPECT_EQ(ReadOpenKey(again, "v").bytes, "first\0"s);
  EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(a, nullptr, 0, KEY_READ, &again), ERROR_SUCCESS);
  EXPECT_NE(again, a);
  EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);

  WriteSystemReg(
      "[Software\\\\App]\n\"v\"=\"second\"\n"
      "[Software\\\\App\\\\Sub]\n\"v\"=\"second sub\"\n");
  EXPECT_EQ(ReadOpenKey(a, "v").bytes, "first\0"s);
  HKEY sub;
  ASSERT_EQ(RegOpenKeyExA(a, "Sub", 0, KEY_READ, &sub), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(a), ERROR_SUCCESS);
  EXPECT_EQ(ReadOpenKey(sub, "v").bytes, "first sub\0"s)
      << "a subkey outlives the key it was opened from";
  EXPECT_EQ(RegCloseKey(sub), ERROR_SUCCESS);
  EXPECT_EQ(ReadValue("Software\\App\\Sub", "v").bytes, "second sub\0"s);

  EXPECT_EQ(RegCloseKey(a), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(b), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(b), ERROR_INVALID_HANDLE);
  DWORD size = 1;
  EXPECT_EQ(RegQueryValueExA(b, "v", nullptr, nullptr, nullptr, &size),
            ERROR_INVALID_HANDLE);
  HKEY made_up = reinterpret_cast<HKEY>(0x1234);
  EXPECT_EQ(RegCloseKey(made_up), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExA(made_up, "Sub", 0, KEY_READ, &sub),
            ERROR_INVALID_HANDLE);

  // The machine's root is the predefined handle, which is never closed.
  HKEY root = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &root),
            ERROR_SUCCESS);
  EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(ReadValue("Software\\App", "v").bytes, "second\0"s);

  EXPECT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\App", 0, KEY_READ, nullptr),
      ERROR_INVALID_PARAMETER);
}

// The view is read only: an open that asks to change anything is refused.
TEST_F(RegistryTest, RefusesWriteAccess) {
  WriteSystemReg("[Software\\\\App]\n\"v\"=\"x\"\n");
  const struct {
    REGSAM access;
    LONG status;
  } cases[] = {
      {KEY_READ, ERROR_SUCCESS},
      {KEY_READ | KEY_WOW64_32KEY, ERROR_SUCCESS},
      {0, ERROR_SUCCESS},
      {kMaximumAllowed, ERROR_SUCCESS},
      {kKeySetValue, ERROR_ACCESS_DENIED},
      {KEY_READ | kKeySetValue, ERROR_ACCESS_DENIED},
      {kKeyWrite, ERROR_ACCESS_DENIED},
      {kKeyAllAccess, ERROR_ACCESS_DENIED},
      {kGenericWrite, ERROR_ACCESS_DENIED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.access);
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\App", 0, c.access, &key),
        c.status);
    if (c.status == ERROR_SUCCESS) {
      EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    } else {
      EXPECT_EQ(key, nullptr);
    }
  }
}

// A prefix that Wine made, with values that a 32-bit installer's view
// received from Wine's own reg.exe: they read back as they were written.
TEST(RegistryWrittenByWineTest, ReadsWhatWineWrote) {
  const fs::path wine = "/usr/lib/wine/wine64";
  const fs::path server = "/usr/lib/wine/wineserver";
  if (!fs::exists(wine) || !fs::exists(server)) {
    GTEST_SKIP() << "Wine is not installed";
  }
  std::string pattern =
      (fs::temp_directory_path() / "registry_wine_XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  const std::string prefix = (dir / "prefix").string();
  const std::string product =
      "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
      "{4C8A2F10-7B3E-4D91-A6C5-19E0B7D3F421}";
  const struct {
    const char* view;
    const char* name;
    const char* type;
    const char* data;
  } values[] = {
      {"32", "InstallLocation", "REG_SZ", "C:\\Program Files\\App\\"},
      {"32", "Folders", "REG_MULTI_SZ", "C:\\a\\0D:\\b c"},
      {"32", "Expand", "REG_EXPAND_SZ", "%ProgramFiles%\\App"},
      {"32", "Text", "REG_SZ", "caf\xC3\xA9 \"q\" \xE2\x82\xAC"},
      {"32", "Empty", "REG_SZ", ""},
      {"32", "Number", "REG_DWORD", "305419896"},
      {"32", "Bytes", "REG_BINARY", "01ff7f"},
      {"64", "InstallLocation", "REG_SZ", "D:\\Other"},
  };
  // One Wine session for all of it; its server is ended (which saves the
  // registry) before the file is read.
  std::string script =
      "export WINEPREFIX='" + prefix +
      "' WINEDEBUG=-all LC_ALL=C.UTF-8 "
      "WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d';"
      " mkdir -p \"$WINEPREFIX\"; { ";
  for (const auto& v : values) {
    script += wine.string() + " reg add '" + product + "' /v " + v.name +
              " /t " + v.type + " /d '" + v.data + "' /reg:" + v.view +
              " /f && ";
  }
  script += "true; } >/dev/null 2>&1; status=$?; " + server.string() +
            " -k 2>/dev/null; " + server.string() + " -w; exit $status";
  const int status = system(script.c_str());

  const char* saved = getenv("WINEPREFIX");
  const std::optional<std::string> saved_prefix =
      saved ? std::optional<std::string>(saved) : std::nullopt;
  setenv("WINEPREFIX", prefix.c_str(), 1);
  const struct {
    REGSAM access;
    const char* name;
    DWORD type;
    std::string bytes;
  } cases[] = {
      {KEY_READ, "InstallLocation", REG_SZ, "C:\\Program Files\\App\\\0"s},
      {KEY_READ, "Folders", REG_MULTI_SZ, "C:\\a\0D:\\b c\0\0"s},
      {KEY_READ, "Expand", REG_EXPAND_SZ, "%ProgramFiles%\\App\0"s},
      {KEY_READ, "Text", REG_SZ, "caf\xC3\xA9 \"q\" \xE2\x82\xAC\0"s},
      {KEY_READ, "Empty", REG_SZ, "\0"s},
      {KEY_READ, "Number", REG_DWORD, "\x78\x56\x34\x12"s},
      {KEY_READ, "Bytes", REG_BINARY, "\x01\xFF\x7F"s},
      {KEY_READ | KEY_WOW64_64KEY, "InstallLocation", REG_SZ, "D:\\Other\0"s},
  };
  if (status == 0) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      const Read read = ReadValue(product.c_str() + 5, c.name, c.access);
      ASSERT_EQ(read.status, ERROR_SUCCESS);
      EXPECT_EQ(read.type, c.type);
      EXPECT_EQ(read.bytes, c.bytes);
    }
  }
  if (saved_prefix) {
    setenv("WINEPREFIX", saved_prefix->c_str(), 1);
  } else {
    unsetenv("WINEPREFIX");
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  ASSERT_EQ(status, 0) << "Wine could not write the prefix's registry";
}

}  // namespace

#endif  // _WIN32
