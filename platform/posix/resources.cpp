// Resources of the Linux build. Each module carries the .res data that
// windres compiles from its resource script, under the exported symbol
// win32_module_resources (see cmake/res_blob.S.in). A module answers only
// with its own data: dlsym on a module's handle also searches what that
// module depends on (for the executable, every library it links), so the
// symbol found has to belong to the module asked.
//
// A resource handle (HRSRC) is the address of the resource's record in that
// data and stays valid while the module is loaded; loading a resource gives
// the address of its bytes. Nothing is allocated or cached.
#include <dlfcn.h>
#include <link.h>
#include <string.h>

#include <string>

#include "posix/resource_data.h"
#include "posix/utf8.h"
#include "win32.h"

namespace {

using win32::EncodeUtf8;
using win32::FromSurrogates;
using win32::IsHighSurrogate;
using win32::IsLowSurrogate;

constexpr char kResourceSymbol[] = "win32_module_resources";

uint16_t Read16(const BYTE* at) {
  uint16_t value;
  memcpy(&value, at, sizeof value);
  return value;
}

uint32_t Read32(const BYTE* at) {
  uint32_t value;
  memcpy(&value, at, sizeof value);
  return value;
}

size_t Align4(size_t offset) { return (offset + 3) & ~static_cast<size_t>(3); }

// A resource name or type: an integer, or a 16-bit text of length units
// (unaligned, little-endian as .res data and x86 store it).
struct ResourceId {
  bool is_number = false;
  WORD number = 0;
  const BYTE* text = nullptr;
  size_t length = 0;
};

char16_t AsciiUpper(char16_t unit) {
  return unit >= u'a' && unit <= u'z' ? unit - u'a' + u'A' : unit;
}

bool SameId(const ResourceId& a, const ResourceId& b) {
  if (a.is_number || b.is_number)
    return a.is_number && b.is_number && a.number == b.number;
  if (a.length != b.length) return false;
  for (size_t i = 0; i < a.length; ++i) {
    if (AsciiUpper(Read16(a.text + 2 * i)) !=
        AsciiUpper(Read16(b.text + 2 * i)))
      return false;
  }
  return true;
}

// What the caller asks for. "#123" is the integer 123, as on Windows; a
// "#" not followed by a number from 1 to 65535 names nothing.
bool QueryId(LPCWSTR value, ResourceId* id) {
  if (IS_INTRESOURCE(value)) {
    id->is_number = true;
    id->number = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(value));
    return true;
  }
  if (value[0] == u'#') {
    unsigned long number = 0;
    const WCHAR* digit = value + 1;
    for (; *digit >= u'0' && *digit <= u'9' && number <= 0xFFFF; ++digit)
      number = number * 10 + (*digit - u'0');
    if (digit == value + 1 || *digit != 0 || number == 0 || number > 0xFFFF)
      return false;
    id->is_number = true;
    id->number = static_cast<WORD>(number);
    return true;
  }
  size_t length = 0;
  while (value[length] != 0) ++length;
  id->text = reinterpret_cast<const BYTE*>(value);
  id->length = length;
  return true;
}

// Reads the type or name field at data[*offset, end) and moves past it.
bool ReadIdField(const BYTE* data, size_t end, size_t* offset, ResourceId* id) {
  size_t at = *offset;
  if (at > end || end - at < 2) return false;
  if (Read16(data + at) == 0xFFFF) {
    if (end - at < 4) return false;
    id->is_number = true;
    id->number = Read16(data + at + 2);
    *offset = at + 4;
    return true;
  }
  for (size_t unit = at; end - unit >= 2; unit += 2) {
    if (Read16(data + unit) == 0) {
      id->is_number = false;
      id->text = data + at;
      id->length = (unit - at) / 2;
      *offset = unit + 2;
      return true;
    }
  }
  return false;
}

struct Record {
  const BYTE* start;
  ResourceId type;
  ResourceId name;
  WORD language;
};

// Calls visit for every record; false as soon as one is not well-formed.
// Each record: data size and header size (32 bits each), type, name, padding
// to 4 bytes, 16 bytes of version, flags and language, then the data, padded
// to 4 bytes. Every length is checked against the end of the data.
template <typename Visit>
bool WalkRecords(const BYTE* data, size_t size, Visit visit) {
  size_t offset = 0;
  while (offset < size) {
    size_t remaining = size - offset;
    if (remaining < 8) return false;
    size_t data_size = Read32(data + offset);
    size_t header_size = Read32(data + offset + 4);
    if (header_size < 8 || header_size > remaining ||
        data_size > remaining - header_size)
      return false;
    size_t header_end = offset + header_size;
    size_t field = offset + 8;
    Record record{data + offset, {}, {}, 0};
    if (!ReadIdField(data, header_end, &field, &record.type) ||
        !ReadIdField(data, header_end, &field, &record.name))
      return false;
    field = Align4(field);
    if (field > header_end || header_end - field < 16) return false;
    record.language = Read16(data + field + 6);
    visit(record);
    offset = Align4(header_end + data_size);
  }
  return true;
}

bool IsNeutral(WORD language) { return (language & 0x3FF) == 0; }

size_t RecordDataSize(HRSRC resource) {
  return Read32(reinterpret_cast<const BYTE*>(resource));
}

const BYTE* RecordData(HRSRC resource) {
  auto* record = reinterpret_cast<const BYTE*>(resource);
  return record + Read32(record + 4);
}

// The module's own .res data, if it has any.
bool ModuleResources(HMODULE module, const BYTE** data, size_t* size) {
  void* handle = module != nullptr ? module : GetModuleHandleA(nullptr);
  void* symbol = dlsym(handle, kResourceSymbol);
  if (symbol == nullptr) return false;
  Dl_info info;
  void* entry_address = nullptr;
  if (!dladdr1(symbol, &info, &entry_address, RTLD_DL_SYMENT) ||
      entry_address == nullptr || info.dli_saddr != symbol)
    return false;
  const auto* entry = static_cast<const ElfW(Sym)*>(entry_address);
  struct link_map* owner = nullptr;
  struct link_map* asked = nullptr;
  if (!dladdr1(symbol, &info, reinterpret_cast<void**>(&owner),
               RTLD_DL_LINKMAP) ||
      dlinfo(handle, RTLD_DI_LINKMAP, &asked) != 0 || owner != asked)
    return false;
  *data = static_cast<const BYTE*>(symbol);
  *size = entry->st_size;
  return true;
}

HRSRC FindInModule(HMODULE module, LPCWSTR name, LPCWSTR type) {
  const BYTE* data;
  size_t size;
  if (!ModuleResources(module, &data, &size)) return nullptr;
  return win32::FindResourceRecord(data, size, name, type);
}

// UTF-8 to UTF-16; a byte that starts no valid sequence reads as U+FFFD.
std::u16string Utf16FromUtf8(const char* text) {
  std::u16string result;
  auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    char32_t c = *p;
    int follow = c < 0x80                ? 0
                 : c >= 0xF0 && c < 0xF5 ? 3
                 : c >= 0xE0 && c < 0xF0 ? 2
                 : c >= 0xC2 && c < 0xE0 ? 1
                                         : -1;
    bool valid = follow >= 0;
    if (follow > 0) c &= 0x3F >> follow;
    for (int i = 1; valid && i <= follow; ++i) {
      if ((p[i] & 0xC0) != 0x80)
        valid = false;
      else
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (valid && (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000) ||
                  (follow == 2 && c < 0x800) || (follow == 3 && c < 0x10000)))
      valid = false;
    if (!valid) {
      result += u'\uFFFD';
      ++p;
      continue;
    }
    p += follow + 1;
    if (c >= 0x10000) {
      result += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      result += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      result += static_cast<char16_t>(c);
    }
  }
  return result;
}

// Writes the UTF-8 form of units[0, length) into buffer, whole characters
// only, at most capacity - 1 bytes, and terminates it. Returns the bytes
// written. An unpaired surrogate becomes U+FFFD.
int WriteUtf8(const BYTE* units, size_t length, LPSTR buffer, int capacity) {
  size_t room = static_cast<size_t>(capacity) - 1;
  size_t written = 0;
  for (size_t i = 0; i < length; ++i) {
    char32_t c = Read16(units + 2 * i);
    if (IsHighSurrogate(c) && i + 1 < length &&
        IsLowSurrogate(Read16(units + 2 * (i + 1)))) {
      c = FromSurrogates(c, Read16(units + 2 * (i + 1)));
      ++i;
    }
    if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
    char bytes[4];
    const size_t count = EncodeUtf8(c, bytes);
    if (count > room - written) break;  // never a cut character
    memcpy(buffer + written, bytes, count);
    written += count;
  }
  buffer[written] = '\0';
  return static_cast<int>(written);
}

}  // namespace

namespace win32 {

HRSRC FindResourceRecord(const void* data, size_t size, LPCWSTR name,
                         LPCWSTR type) {
  ResourceId wanted_name, wanted_type;
  if (data == nullptr || name == nullptr || type == nullptr ||
      !QueryId(name, &wanted_name) || !QueryId(type, &wanted_type))
    return nullptr;
  bool have = false;
  Record found{};
  bool well_formed =
      WalkRecords(static_cast<const BYTE*>(data), size, [&](const Record& r) {
        // The first record of every .res file is an empty one of type 0.
        if (r.type.is_number && r.type.number == 0) return;
        if (!SameId(r.type, wanted_type) || !SameId(r.name, wanted_name))
          return;
        if (!have || (!IsNeutral(found.language) && IsNeutral(r.language))) {
          found = r;
          have = true;
        }
      });
  if (!well_formed || !have) return nullptr;
  return reinterpret_cast<HRSRC>(const_cast<BYTE*>(found.start));
}

// String id is entry id & 15 of string block (id >> 4) + 1; each entry is a
// 16-bit length and that many UTF-16 units.
int LoadStringFromData(const void* resources, size_t resources_size, UINT id,
                       LPSTR buffer, int capacity) {
  if (buffer == nullptr || capacity < 1) return 0;
  buffer[0] = '\0';
  WORD number = static_cast<WORD>(id);
  HRSRC block = FindResourceRecord(resources, resources_size,
                                   MAKEINTRESOURCEW((number >> 4) + 1),
                                   MAKEINTRESOURCEW(6));  // RT_STRING
  if (block == nullptr) return 0;
  const BYTE* data = RecordData(block);
  size_t size = RecordDataSize(block);
  size_t at = 0;
  for (unsigned entry = 0;; ++entry) {
    if (size - at < 2) return 0;
    size_t length = Read16(data + at);
    at += 2;
    if (length > (size - at) / 2) return 0;
    if (entry == (number & 15u))
      return WriteUtf8(data + at, length, buffer, capacity);
    at += 2 * length;
  }
}

}  // namespace win32

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  if (name == nullptr || type == nullptr) return nullptr;
  return FindInModule(module, name, type);
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  if (name == nullptr || type == nullptr) return nullptr;
  std::u16string wide_name, wide_type;
  auto widen = [](LPCSTR value, std::u16string* text) {
    if (IS_INTRESOURCE(value)) return reinterpret_cast<LPCWSTR>(value);
    *text = Utf16FromUtf8(value);
    return static_cast<LPCWSTR>(text->c_str());
  };
  LPCWSTR name_w = widen(name, &wide_name);
  LPCWSTR type_w = widen(type, &wide_type);
  return FindInModule(module, name_w, type_w);
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
  if (resource == nullptr) return nullptr;
  return const_cast<BYTE*>(RecordData(resource));
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
  if (resource == nullptr) return 0;
  return static_cast<DWORD>(RecordDataSize(resource));
}

LPVOID LockResource(HGLOBAL loaded) { return loaded; }

// The string from the module's own .res data. A capacity below 1 or no
// buffer gives 0. (Windows answers a capacity of 0 with a read-only pointer to
// the string itself; nothing here asks for that.)
int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int capacity) {
  if (buffer == nullptr || capacity < 1) return 0;
  buffer[0] = '\0';
  const BYTE* data;
  size_t size;
  if (!ModuleResources(module, &data, &size)) return 0;
  return win32::LoadStringFromData(data, size, id, buffer, capacity);
}
