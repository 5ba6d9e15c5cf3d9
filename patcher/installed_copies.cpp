#include "installed_copies.h"

#include <stdio.h>

#include <memory>
#include <new>
#include <string>

#include "install_location.h"
#include "search_ini.h"
#include "win32.h"

namespace {

constexpr char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kProductCodePrefix[] = "{4C8A2F10-7B3E-4D91-A6C5-19E0B7D3F4";
constexpr const char* kProductCodeSuffixes[] = {"21", "23", "26", "27",
                                                "28", "29", "2B"};

// Reads "InstallLocation" of one product-code key as 8-bit text; a
// multi-string value comes back with every string followed by ';'. False
// when the value is missing, empty or cannot be read.
bool ReadInstallLocation(HKEY product, std::string& location) {
  DWORD type = 0;
  DWORD size = 0;
  RegQueryValueExA(product, "InstallLocation", nullptr, &type, nullptr, &size);
  if (size == 0) return false;

  // The query may fill size + 1 bytes; one more always holds NUL, so a
  // value stored without its terminator still ends inside the buffer. The
  // buffer starts cleared so that no stray byte joins such a value.
  const size_t bytes = size_t{size} + 2;
  if (bytes < size) return false;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[bytes]());
  if (!buffer) return false;
  DWORD stored = size + 1;
  if (RegQueryValueExA(product, "InstallLocation", nullptr, &type,
                       reinterpret_cast<LPBYTE>(buffer.get()),
                       &stored) != ERROR_SUCCESS) {
    return false;
  }
  if (type == REG_MULTI_SZ && stored > 1) {
    // Every NUL but the last stored byte separates or closes a string.
    for (DWORD i = 0; i + 1 < stored && i < size + 1; ++i) {
      if (buffer[i] == '\0') buffer[i] = ';';
    }
  }
  location = buffer.get();
  return true;
}

}  // namespace

int PatchInstalledCopies() {
  HKEY uninstall;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ,
                    &uninstall) != ERROR_SUCCESS) {
    printf("key open error\n");
    return kUninstallKeyError;
  }

  int changed = 0;
  for (const char* suffix : kProductCodeSuffixes) {
    const std::string product_code =
        std::string(kProductCodePrefix) + suffix + "}";
    HKEY product;
    if (RegOpenKeyExA(uninstall, product_code.c_str(), 0, KEY_READ, &product) !=
        ERROR_SUCCESS) {
      continue;
    }
    std::string location;
    if (ReadInstallLocation(product, location) &&
        CleanInstallLocation(location) && PatchSearchIni(location.c_str())) {
      ++changed;
    }
    RegCloseKey(product);
  }
  RegCloseKey(uninstall);
  return changed;
}
