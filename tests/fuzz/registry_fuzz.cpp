// The Linux registry over random and mutated system.reg files. The input is
// written as system.reg of a Wine prefix of this process; then a set of keys
// (defpatch's Uninstall key and product codes, the keys of the 32-bit view
// and its links, keys that the file itself names) is opened from the
// machine's root and again below an open parent, in both views, and values
// (fixed names, and names that the file itself holds) are queried the ways
// callers query them. Checked:
// - every call returns a status it may return for its arguments, and a
//   failed open hands out no key;
// - every key that opens closes once, and a closed key is refused;
// - a size query reports 0 for a missing value (defpatch relies on it);
//   a buffer of exactly the size reported receives the value with that
//   size and type, one byte less gets ERROR_MORE_DATA and the size needed,
//   and one byte more gets a string its terminator. Buffers have exactly
//   the size offered, so AddressSanitizer sees any write past them;
// - a key opened below its parent reads exactly as the same key opened
//   from the root.
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "win32.h"

namespace {

constexpr char kUninstall[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// What a value read gives, compared between two opens of one key.
struct Read {
  LONG status = 0;
  DWORD type = 0;
  std::string bytes;
};

// A value read as callers read it: its size first, then into a buffer of
// exactly that size, one byte short and one byte more.
Read ReadValue(HKEY key, const char* name) {
  Read read;
  DWORD type = 0xBADu;
  DWORD size = 0xBADu;
  read.status = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
  FUZZ_CHECK(read.status == ERROR_SUCCESS ||
             read.status == ERROR_FILE_NOT_FOUND);
  if (read.status != ERROR_SUCCESS) {
    FUZZ_CHECK_EQ(0u, size);
    FUZZ_CHECK_EQ(REG_NONE, type);
    return read;
  }
  read.type = type;
  // Neither type nor size asked for: the same answer.
  FUZZ_CHECK_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name, nullptr, nullptr,
                                                nullptr, nullptr));

  const DWORD needed = size;
  std::unique_ptr<BYTE[]> exact(new BYTE[needed + 1]);
  DWORD stored = needed;
  FUZZ_CHECK_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name, nullptr, &type,
                                                exact.get(), &stored));
  FUZZ_CHECK_EQ(needed, stored);
  FUZZ_CHECK_EQ(read.type, type);
  read.bytes.assign(reinterpret_cast<char*>(exact.get()), needed);

  if (needed > 0) {
    std::unique_ptr<BYTE[]> short_buffer(new BYTE[needed - 1 + 1]);
    DWORD offered = needed - 1;
    FUZZ_CHECK_EQ(ERROR_MORE_DATA,
                  RegQueryValueExA(key, name, nullptr, &type,
                                   short_buffer.get(), &offered));
    FUZZ_CHECK_EQ(needed, offered);
  }

  // What defpatch offers: one byte more than the size.
  std::unique_ptr<BYTE[]> more(new BYTE[needed + 1]);
  memset(more.get(), 0x55, needed + 1);
  DWORD offered = needed + 1;
  FUZZ_CHECK_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name, nullptr, &type,
                                                more.get(), &offered));
  FUZZ_CHECK_EQ(needed, offered);
  FUZZ_CHECK(memcmp(more.get(), exact.get(), needed) == 0);
  const bool text =
      type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
  if (text) {
    // A string ends with its NUL, stored or added.
    FUZZ_CHECK((needed > 0 && more[needed - 1] == 0) || more[needed] == 0);
  }

  // Arguments that no call may take.
  DWORD reserved = 0;
  FUZZ_CHECK_EQ(ERROR_INVALID_PARAMETER,
                RegQueryValueExA(key, name, &reserved, &type, nullptr, &size));
  FUZZ_CHECK_EQ(
      ERROR_INVALID_PARAMETER,
      RegQueryValueExA(key, name, nullptr, &type, more.get(), nullptr));
  return read;
}

// Opens subkey below parent. Statuses a valid parent may get: the key, or
// no such key; a path that starts with a backslash is a bad path name.
HKEY Open(HKEY parent, const std::string& subkey, REGSAM access) {
  HKEY key = reinterpret_cast<HKEY>(0x1234);
  const LONG status = RegOpenKeyExA(parent, subkey.c_str(), 0, access, &key);
  if (!subkey.empty() && subkey[0] == '\\') {
    FUZZ_CHECK_EQ(ERROR_BAD_PATHNAME, status);
  } else {
    FUZZ_CHECK(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
  }
  if (status != ERROR_SUCCESS) {
    FUZZ_CHECK(key == nullptr);
    return nullptr;
  }
  FUZZ_CHECK(key != nullptr);
  return key;
}

void Close(HKEY key) {
  FUZZ_CHECK_EQ(ERROR_SUCCESS, RegCloseKey(key));
  if (key == HKEY_LOCAL_MACHINE) return;  // never closed
  FUZZ_CHECK_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
  DWORD size = 0;
  FUZZ_CHECK_EQ(ERROR_INVALID_HANDLE,
                RegQueryValueExA(key, "InstallLocation", nullptr, nullptr,
                                 nullptr, &size));
}

std::vector<Read> ReadValues(HKEY key, const std::vector<std::string>& names) {
  std::vector<Read> reads;
  for (const std::string& name : names) {
    reads.push_back(ReadValue(key, name.c_str()));
  }
  return reads;
}

// Key paths and value names that the file names, roughly unescaped: a
// mutated file mostly names keys that the fixed set does not.
void NamesInFile(const std::string& file, std::vector<std::string>& keys,
                 std::vector<std::string>& values) {
  size_t begin = 0;
  while (begin < file.size() && keys.size() < 12 && values.size() < 8) {
    size_t end = file.find('\n', begin);
    if (end == std::string::npos) end = file.size();
    const std::string line = file.substr(begin, end - begin);
    begin = end + 1;
    const char open = line.empty() ? 0 : line[0];
    const size_t close = line.find(open == '[' ? ']' : '"', 1);
    if ((open != '[' && open != '"') || close == std::string::npos) continue;
    std::string name;
    for (size_t i = 1; i < close; ++i) {
      if (line[i] == '\\' && i + 1 < close) ++i;
      name += line[i];
    }
    // Names reach the registry as C strings.
    (open == '[' ? keys : values).push_back(name.c_str());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string& prefix = ProcessFolder("registry_fuzz");
  setenv("WINEPREFIX", prefix.c_str(), 1);
  const std::string file(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(prefix + "/system.reg", std::ios::binary);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
  }

  std::vector<std::string> keys = {
      kUninstall,
      "Software",
      "Software\\Wow6432Node",
      "Software\\Classes",
      "Software\\Classes\\Wow6432Node\\CLSID",
      "Software\\Wow6432Node\\Classes\\CLSID",
      "System\\CurrentControlSet",
      "a\\b\\c",
      "\\Software",
      "Software\\\\Microsoft\\",
  };
  for (const char* suffix : {"21", "23", "26", "27", "28", "29", "2B"}) {
    keys.push_back(std::string(kUninstall) +
                   "\\{4C8A2F10-7B3E-4D91-A6C5-19E0B7D3F4" + suffix + "}");
  }
  std::vector<std::string> values = {"InstallLocation", "", "@",
                                     "SymbolicLinkValue", "installlocation"};
  std::vector<std::string> file_keys;
  NamesInFile(file, file_keys, values);
  keys.insert(keys.end(), file_keys.begin(), file_keys.end());

  // The machine's root: never a handle of its own, and it holds no values.
  const HKEY root = Open(HKEY_LOCAL_MACHINE, "", KEY_READ);
  FUZZ_CHECK(root == HKEY_LOCAL_MACHINE);
  FUZZ_CHECK_EQ(ERROR_FILE_NOT_FOUND,
                ReadValue(HKEY_LOCAL_MACHINE, "InstallLocation").status);
  // Access that would change the registry is refused.
  HKEY refused = nullptr;
  FUZZ_CHECK_EQ(ERROR_ACCESS_DENIED,
                RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0,
                              KEY_READ | 0x0002 /* KEY_SET_VALUE */, &refused));
  FUZZ_CHECK(refused == nullptr);

  for (const std::string& path : keys) {
    for (REGSAM access : {KEY_READ, KEY_READ | KEY_WOW64_64KEY}) {
      const HKEY key = Open(HKEY_LOCAL_MACHINE, path, access);
      std::vector<Read> reads;
      if (key != nullptr) reads = ReadValues(key, values);

      // The same key below its parent, the path split at its first
      // separator (a path below a parent cannot start with another).
      const size_t cut = path.find('\\');
      if (cut != std::string::npos && cut > 0 && path[cut + 1] != '\\') {
        const HKEY parent =
            Open(HKEY_LOCAL_MACHINE, path.substr(0, cut), access);
        if (parent != nullptr) {
          const HKEY child = Open(parent, path.substr(cut + 1), access);
          FUZZ_CHECK((child == nullptr) == (key == nullptr));
          if (child != nullptr) {
            const std::vector<Read> child_reads = ReadValues(child, values);
            for (size_t i = 0; i < reads.size(); ++i) {
              FUZZ_CHECK_EQ(reads[i].status, child_reads[i].status);
              FUZZ_CHECK_EQ(reads[i].type, child_reads[i].type);
              FUZZ_CHECK_EQ(reads[i].bytes, child_reads[i].bytes);
            }
            Close(child);
          }
          Close(parent);
        }
      }
      if (key != nullptr) Close(key);
    }
  }
  return 0;
}
