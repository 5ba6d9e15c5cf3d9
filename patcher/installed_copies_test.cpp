#include "installed_copies.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "win32.h"

#ifndef _WIN32

#include "scoped_temp_dir.h"
#include "wine_prefix.h"

// The walk's calls to the registry and the file system, seen through the
// linker: each is recorded while g_record is set and passed on.
namespace {
bool g_record = false;
std::vector<std::string> g_calls;
std::map<HKEY, std::string> g_key_names;
std::string g_fail_read_of;  // a key whose second query fails

std::string KeyName(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return "HKLM";
  auto found = g_key_names.find(key);
  return found == g_key_names.end() ? "?" : found->second;
}

// "Uninstall" for the Uninstall key, the suffix for a product code.
std::string ShortName(const std::string& subkey) {
  if (subkey.size() == 38 && subkey.back() == '}') return subkey.substr(35, 2);
  const size_t slash = subkey.rfind('\\');
  return slash == std::string::npos ? subkey : subkey.substr(slash + 1);
}
}  // namespace

extern "C" {
LONG __real_RegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
LONG __real_RegQueryValueExA(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
LONG __real_RegCloseKey(HKEY);
DWORD __real_GetFileAttributesA(LPCSTR);

LONG __wrap_RegOpenKeyExA(HKEY parent, LPCSTR subkey, DWORD options,
                          REGSAM access, PHKEY result) {
  LONG status = __real_RegOpenKeyExA(parent, subkey, options, access, result);
  if (g_record) {
    std::string call = "open " + ShortName(subkey);
    if (options != 0 || access != KEY_READ) call += " (not KEY_READ)";
    if (status == ERROR_SUCCESS) {
      g_key_names[*result] = ShortName(subkey);
    } else {
      call += " failed";
    }
    g_calls.push_back(call);
  }
  return status;
}

LONG __wrap_RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved,
                             LPDWORD type, LPBYTE data, LPDWORD size) {
  if (g_record) {
    g_calls.push_back((data ? "read " : "size ") + KeyName(key));
    if (data && KeyName(key) == g_fail_read_of) return ERROR_MORE_DATA;
  }
  return __real_RegQueryValueExA(key, name, reserved, type, data, size);
}

LONG __wrap_RegCloseKey(HKEY key) {
  if (g_record) g_calls.push_back("close " + KeyName(key));
  return __real_RegCloseKey(key);
}

DWORD __wrap_GetFileAttributesA(LPCSTR path) {
  if (g_record) g_calls.push_back(std::string("attributes ") + path);
  return __real_GetFileAttributesA(path);
}
}

namespace {

const char kOutdated[] =
    "[SEARCHDEF-YouTube]\r\nquery/url=http://www.youtube.com/\r\n";

std::string Code(const char* suffix) {
  return std::string("{4C8A2F10-7B3E-4D91-A6C5-19E0B7D3F4") + suffix + "}";
}

class InstalledCopiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_key_names.clear();
    g_fail_read_of.clear();
  }

  // Runs the walk with the calls recorded; returns its count.
  int Walk() {
    ScopedWinePrefix use(prefix_.Path());
    g_record = true;
    const int changed = PatchInstalledCopies();
    g_record = false;
    return changed;
  }

  std::string Install(const std::string& name) {
    WriteFileBytes(prefix_.Folder(name) / "search.ini", kOutdated);
    return prefix_.WindowsFolder(name);
  }

  TestWinePrefix prefix_;
};

TEST_F(InstalledCopiesTest, WalksTheProductCodesInOrderAndClosesEveryKey) {
  const std::string a = Install("A");
  const std::string b = Install("B");
  const std::string d = Install("D");
  prefix_.WriteUninstallEntries(
      "[" + Code("21") + "]\n\"InstallLocation\"=" + TestWinePrefix::Quoted(a) +
      "\n" + "[" + Code("26") + "]\n\"DisplayName\"=\"no location\"\n" + "[" +
      Code("27") + "]\n\"InstallLocation\"=hex:\n" + "[" + Code("28") +
      "]\n\"InstallLocation\"=" + TestWinePrefix::MultiString({b, d}) + "\n" +
      "[" + Code("29") + "]\n\"InstallLocation\"=" + TestWinePrefix::Quoted(d) +
      "\n" + "[" + Code("2B") +
      "]\n\"InstallLocation\"=" + TestWinePrefix::Quoted(d) + "\n");
  g_fail_read_of = "29";
  // 21 patches A, 28 patches B (the first of its two folders); 29's value
  // cannot be read; 2B finds D not yet patched.
  EXPECT_EQ(3, Walk());

  const std::vector<std::string> expected = {
      "open Uninstall",
      "open 21",
      "size 21",
      "read 21",
      "attributes " + a,
      "close 21",
      "open 23 failed",
      "open 26",
      "size 26",
      "close 26",
      "open 27",
      "size 27",
      "close 27",
      "open 28",
      "size 28",
      "read 28",
      "attributes " + b + ";" + d + ";",
      "attributes " + b + ";" + d,
      "attributes " + b + ";C:\\Program Files",
      "attributes " + b + ";C:",
      "attributes " + b,
      "attributes " + d,
      "close 28",
      "open 29",
      "size 29",
      "read 29",
      "close 29",
      "open 2B",
      "size 2B",
      "read 2B",
      "attributes " + d,
      "close 2B",
      "close Uninstall",
  };
  EXPECT_EQ(expected, g_calls);
}

}  // namespace

#endif  // _WIN32
