// The interface object and its resource and string operations.
#include "Pemrik.h"

#include <stdlib.h>
#include <string.h>

#include "module_handles.h"

constinit CPemrik g_Pemrik;
int nPemrik = 0;

int fnPemrik() { return 42; }

namespace {

// A name or type as the second attempt of LocateResource reads it: as 16-bit
// text. Only a pointer arrives, so a name given as 8-bit text cannot be told
// from a 16-bit one for sure, and reading an 8-bit name as 16-bit text could
// run past its storage. The reading is therefore bounded:
// - an integer identifier is passed on as it is;
// - a text is read as 16-bit only when, read as 8-bit, it is exactly one
//   character long and it lies at an even address. That is the form of every
//   16-bit name whose first character is in U+0001..U+00FF, and a 16-bit
//   text is always 2-byte aligned;
// - it is then copied unit by unit, up to its zero unit, into a buffer of
//   256 units here, and that copy is passed on; a longer text is not looked
//   up.
// An 8-bit name of any other length is thus never read past its terminator.
// What the rule cannot tell apart: a one-character 8-bit name at an even
// address that a module lacks is read on past its terminator (up to the
// first zero unit, at most 512 bytes); and a 16-bit name whose first
// character lies outside U+0001..U+00FF is not found by the second attempt.
class WideReading {
 public:
  /// Reads text; false when it cannot be a 16-bit text.
  bool Read(LPCSTR text) {
    if (IS_INTRESOURCE(text)) {
      value_ = reinterpret_cast<LPCWSTR>(text);
      return true;
    }
    if (reinterpret_cast<ULONG_PTR>(text) % 2 != 0 || text[0] == '\0' ||
        text[1] != '\0')
      return false;
    for (size_t i = 0; i < kUnits; ++i) {
      memcpy(&units_[i], text + 2 * i, sizeof units_[i]);
      if (units_[i] == 0) {
        value_ = units_;
        return true;
      }
    }
    return false;
  }

  LPCWSTR value() const { return value_; }

 private:
  static constexpr size_t kUnits = 256;
  WCHAR units_[kUnits];
  LPCWSTR value_ = nullptr;
};

bool IsAddressTemplate(UINT id) { return id == 279 || id == 283 || id == 298; }

// Only from the host application's folder and the system folders: a bare
// name would also be searched for in the current directory, where anyone
// who can write to it could plant a library for the host to run.
HMODULE LoadLanguageModule() {
  return LoadLibraryExA("Varsel.dll", nullptr,
                        LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
}

// Formats address template id with the revision number: string 3 of the
// language module, else of the host module, at least 5, one more for the
// update script (283). The templates come from the edition module alone.
int FormatAddress(UINT id, LPSTR buffer, int capacity) {
  char revision_text[10] = "5";
  if (LoadStringA(g_hLanguageModule, 3, revision_text, sizeof revision_text) ==
      0)
    LoadStringA(g_hHostModule, 3, revision_text, sizeof revision_text);
  long revision = atol(revision_text);
  if (revision < 5) revision = 5;
  int number = static_cast<int>(id == 283 ? revision + 1 : revision);

  char address_template[256];
  LoadStringA(g_hEditionModule, id, address_template, sizeof address_template);
  int count = _snprintf_s(buffer, static_cast<size_t>(capacity), _TRUNCATE,
                          address_template, number);
  // Cut to capacity - 1 bytes: that is the length now in buffer.
  return count >= 0 ? count : static_cast<int>(strlen(buffer));
}

}  // namespace

ResourceRef CPemrik::LocateResource(LPCSTR name, LPCSTR type) {
  WideReading wide_name, wide_type;
  bool read = false, wide = false;
  const HMODULE modules[] = {g_hEditionModule, g_hHostModule};
  for (HMODULE module : modules) {
    if (HRSRC found = FindResourceA(module, name, type)) return {module, found};
    if (!read) {
      wide = wide_name.Read(name) && wide_type.Read(type);
      read = true;
    }
    if (!wide) continue;
    if (HRSRC found =
            FindResourceW(module, wide_name.value(), wide_type.value()))
      return {module, found};
  }
  return {nullptr, nullptr};
}

HGLOBAL CPemrik::LoadResourceData(LPCSTR name, LPCSTR type) {
  ResourceRef found = LocateResource(name, type);
  return LoadResource(found.module, found.resource);
}

HGLOBAL CPemrik::CopyResourceData(LPCSTR name, LPCSTR type) {
  ResourceRef found = LocateResource(name, type);
  if (found.module == nullptr || found.resource == nullptr) return nullptr;
  HGLOBAL loaded = LoadResource(found.module, found.resource);
  DWORD size = SizeofResource(found.module, found.resource);
  if (loaded == nullptr || size == 0) return nullptr;
  const void* bytes = LockResource(loaded);
  if (bytes == nullptr) return nullptr;

  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  if (block == nullptr) return nullptr;
  void* data = GlobalLock(block);
  if (data == nullptr) {
    GlobalFree(block);  // never copy into a block we could not lock
    return nullptr;
  }
  memcpy(data, bytes, size);
  GlobalUnlock(block);
  return block;
}

int CPemrik::LoadText(UINT id, LPSTR buffer, int capacity) {
  // Not even the terminator fits: write nothing.
  if (buffer == nullptr || capacity < 1) return 0;
  if (g_hLanguageModule == nullptr) g_hLanguageModule = LoadLanguageModule();
  if (IsAddressTemplate(id)) return FormatAddress(id, buffer, capacity);

  // While the language module is missing, its null handle makes the first
  // lookup ask the host executable.
  int length = LoadStringA(g_hLanguageModule, id, buffer, capacity);
  if (length == 0) length = LoadStringA(g_hEditionModule, id, buffer, capacity);
  if (length == 0) length = LoadStringA(g_hHostModule, id, buffer, capacity);
  return length;
}
