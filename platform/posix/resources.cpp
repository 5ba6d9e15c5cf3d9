// Resources of the Linux build. Each module carries the .res data that
// windres compiles from its resource script, under the exported symbol
// win32_module_resources (see cmake/res_blob.S.in). A module answers only
// with its own data: dlsym on a module's handle also searches what that
// module depends on (for the executable, every library it links), so the
// symbol found has to belong to the module asked.
//
// A resource handle (HRSRC) is the address of the resource's record in that
// data and stays valid while the module is loaded; loading a resource gives
// the address of its bytes.
//
// Finding a module's data (dlsym, dladdr) and walking its records would make
// every lookup cost as much as the module has resources. So the first lookup
// in a module indexes its records once (see ResourceIndex), and the module
// keeps that index until FreeLibrary lets it go; every later lookup, string
// lookups included, is a probe of that index and allocates nothing.
#include <dlfcn.h>
#include <link.h>
#include <string.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

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

// The language of a record that WalkRecords has accepted.
WORD LanguageOf(HRSRC resource) {
  const auto* start = reinterpret_cast<const BYTE*>(resource);
  const size_t header_end = Read32(start + 4);
  size_t field = 8;
  ResourceId id;
  ReadIdField(start, header_end, &field, &id);
  ReadIdField(start, header_end, &field, &id);
  return Read16(start + Align4(field) + 6);
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

// ---- The index of each module --------------------------------------------

// The indexes of the modules asked so far, by module handle. Readers find
// theirs without a lock: a slot's index is published before its handle. A
// slot is filled under the lock, once per module, and emptied only when its
// module has been unloaded, when no call may use that module any more (a
// module kept loaded by another reference keeps its index). Slots are never
// given back to the allocator except there, so what is indexed stays
// reachable and bounded by the number of slots.
struct CachedModule {
  std::atomic<void*> handle{nullptr};
  std::atomic<const win32::ResourceIndex*> index{nullptr};
  // The module's dynamic section: how the loaded objects show whether the
  // module is still there (a handle cannot be asked once it is gone).
  // Guarded by the lock.
  const void* dynamic = nullptr;
};

constexpr size_t kCachedModules = 64;
CachedModule g_cachedModules[kCachedModules];
std::atomic<size_t> g_slotsInUse{0};  // slots ever filled: the ones to look at

std::mutex& CacheMutex() {
  static std::mutex mutex;
  return mutex;
}

void* HandleOf(HMODULE module) {
  return module != nullptr ? module : GetModuleHandleA(nullptr);
}

const win32::ResourceIndex* CachedIndex(void* handle) {
  const size_t in_use = g_slotsInUse.load(std::memory_order_acquire);
  for (size_t i = 0; i < in_use; ++i) {
    if (g_cachedModules[i].handle.load(std::memory_order_acquire) == handle)
      return g_cachedModules[i].index.load(std::memory_order_acquire);
  }
  return nullptr;
}

// Makes the index of a module that has none yet; one thread makes it while
// the others wait. Null only when every slot holds another module: the
// caller then walks the module's records itself.
__attribute__((noinline)) const win32::ResourceIndex* MakeIndex(HMODULE module,
                                                                void* handle) {
  std::lock_guard<std::mutex> lock(CacheMutex());
  if (const win32::ResourceIndex* index = CachedIndex(handle)) return index;
  const size_t in_use = g_slotsInUse.load(std::memory_order_relaxed);
  size_t slot = 0;
  while (slot < in_use && g_cachedModules[slot].handle.load(
                              std::memory_order_relaxed) != nullptr) {
    ++slot;
  }
  if (slot == kCachedModules) return nullptr;
  const BYTE* data = nullptr;
  size_t size = 0;
  if (!ModuleResources(module, &data, &size)) data = nullptr, size = 0;
  auto* index = new win32::ResourceIndex(data, size);
  struct link_map* map = nullptr;
  g_cachedModules[slot].dynamic =
      dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map ? map->l_ld : nullptr;
  g_cachedModules[slot].index.store(index, std::memory_order_release);
  g_cachedModules[slot].handle.store(handle, std::memory_order_release);
  if (slot == in_use) g_slotsInUse.store(in_use + 1, std::memory_order_release);
  return index;
}

inline const win32::ResourceIndex* IndexOf(HMODULE module) {
  void* handle = HandleOf(module);
  if (const win32::ResourceIndex* index = CachedIndex(handle)) return index;
  return MakeIndex(module, handle);
}

// Marks the slots whose module is among the loaded objects.
int MarkLoaded(struct dl_phdr_info* info, size_t, void* loaded) {
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    if (info->dlpi_phdr[i].p_type != PT_DYNAMIC) continue;
    const void* dynamic = reinterpret_cast<const void*>(
        info->dlpi_addr + info->dlpi_phdr[i].p_vaddr);
    for (size_t slot = 0; slot < kCachedModules; ++slot) {
      if (g_cachedModules[slot].dynamic == dynamic)
        static_cast<bool*>(loaded)[slot] = true;
    }
  }
  return 0;
}

}  // namespace

// Called by FreeLibrary once it has given back its reference: the indexes of
// the modules that are no longer loaded go (their data went with them, and
// another module may later be loaded under the same handle). That is the
// freed module once its last reference is gone, and any library that only it
// kept loaded.
void win32::ForgetUnloadedModules() {
  std::lock_guard<std::mutex> lock(CacheMutex());
  bool loaded[kCachedModules] = {};
  dl_iterate_phdr(MarkLoaded, loaded);
  const size_t in_use = g_slotsInUse.load(std::memory_order_relaxed);
  for (size_t i = 0; i < in_use; ++i) {
    CachedModule& slot = g_cachedModules[i];
    if (slot.handle.load(std::memory_order_relaxed) == nullptr ||
        slot.dynamic == nullptr || loaded[i])
      continue;
    slot.handle.store(nullptr, std::memory_order_release);
    slot.dynamic = nullptr;
    delete slot.index.exchange(nullptr, std::memory_order_acq_rel);
  }
}

namespace {

HRSRC FindInModule(HMODULE module, LPCWSTR name, LPCWSTR type) {
  if (const win32::ResourceIndex* index = IndexOf(module))
    return index->Find(name, type);
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
  char* out = buffer;
  char* const end = buffer + (capacity - 1);
  for (size_t i = 0; i < length; ++i) {
    char32_t c = Read16(units + 2 * i);
    if (c < 0x80) {  // most text: one byte, written as it is
      if (out == end) break;
      *out++ = static_cast<char>(c);
      continue;
    }
    if (IsHighSurrogate(c) && i + 1 < length &&
        IsLowSurrogate(Read16(units + 2 * (i + 1)))) {
      c = FromSurrogates(c, Read16(units + 2 * (i + 1)));
      ++i;
    }
    if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
    // The length that EncodeUtf8 will write, checked first: never a cut
    // character.
    const ptrdiff_t count = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    if (count > end - out) break;
    out += EncodeUtf8(c, out);
  }
  *out = '\0';
  return static_cast<int>(out - buffer);
}

// Entry id & 15 of a string block: each entry is a 16-bit length and that
// many UTF-16 units. 0 for an entry that the block does not hold whole.
int StringFromBlock(HRSRC block, UINT id, LPSTR buffer, int capacity) {
  if (block == nullptr) return 0;
  const WORD number = static_cast<WORD>(id);
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

// String id is entry id & 15 of string block (id >> 4) + 1.
int LoadStringFromData(const void* resources, size_t resources_size, UINT id,
                       LPSTR buffer, int capacity) {
  if (buffer == nullptr || capacity < 1) return 0;
  buffer[0] = '\0';
  WORD number = static_cast<WORD>(id);
  HRSRC block = FindResourceRecord(resources, resources_size,
                                   MAKEINTRESOURCEW((number >> 4) + 1),
                                   MAKEINTRESOURCEW(6));  // RT_STRING
  return StringFromBlock(block, id, buffer, capacity);
}

// Records whose type and name are both integers go into a hash table by
// (type, name), each key holding the record that a walk would choose (the
// neutral language, else the first); the few with a text type or name stay
// in a list in their order. Data that is not well-formed as a whole finds
// nothing, as the walk would.
ResourceIndex::ResourceIndex(const void* data, size_t size) {
  std::vector<Record> named;
  size_t numbered = 0;
  well_formed_ =
      data != nullptr &&
      WalkRecords(static_cast<const BYTE*>(data), size, [&](const Record& r) {
        if (r.type.is_number && r.type.number == 0) return;
        if (r.type.is_number && r.name.is_number)
          ++numbered;
        else
          named.push_back(r);
      });
  if (!well_formed_) return;
  // At most half full, so that a probe ends after a step or two.
  size_t slots = 16;
  shift_ = 60;
  while (slots < 2 * numbered) slots *= 2, --shift_;
  slots_.assign(slots, Slot{0, nullptr});
  mask_ = slots - 1;
  WalkRecords(static_cast<const BYTE*>(data), size, [&](const Record& r) {
    if (r.type.is_number && r.type.number == 0) return;
    if (!r.type.is_number || !r.name.is_number) return;
    const uint32_t key = KeyOf(r.type.number, r.name.number);
    size_t at = SlotOf(key);
    while (slots_[at].key != 0 && slots_[at].key != key)
      at = (at + 1) & (slots - 1);
    Slot& slot = slots_[at];
    auto* record = reinterpret_cast<HRSRC>(const_cast<BYTE*>(r.start));
    if (slot.key == 0) {
      slot = {key, record};
    } else if (!IsNeutral(LanguageOf(slot.record)) && IsNeutral(r.language)) {
      slot.record = record;
    }
  });
  for (const Record& r : named) {
    named_.push_back(reinterpret_cast<HRSRC>(const_cast<BYTE*>(r.start)));
  }
}

HRSRC ResourceIndex::FindNumbered(WORD name, WORD type) const {
  // Type 0 is never indexed, so key 0 marks an empty slot.
  const uint32_t key = KeyOf(type, name);
  if (key == 0 || slots_.empty()) return nullptr;
  for (size_t at = SlotOf(key);; at = (at + 1) & mask_) {
    if (slots_[at].key == key) return slots_[at].record;
    if (slots_[at].key == 0) return nullptr;
  }
}

HRSRC ResourceIndex::Find(LPCWSTR name, LPCWSTR type) const {
  if (IS_INTRESOURCE(name) && IS_INTRESOURCE(type)) {
    return FindNumbered(static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)),
                        static_cast<WORD>(reinterpret_cast<ULONG_PTR>(type)));
  }
  ResourceId wanted_name, wanted_type;
  if (!well_formed_ || name == nullptr || type == nullptr ||
      !QueryId(name, &wanted_name) || !QueryId(type, &wanted_type))
    return nullptr;
  if (wanted_type.is_number && wanted_name.is_number)
    return FindNumbered(wanted_name.number, wanted_type.number);
  HRSRC found = nullptr;
  for (HRSRC record : named_) {
    const auto* start = reinterpret_cast<const BYTE*>(record);
    size_t field = 8;
    const size_t header_end = Read32(start + 4);
    ResourceId type_id, name_id;
    ReadIdField(start, header_end, &field, &type_id);
    ReadIdField(start, header_end, &field, &name_id);
    if (!SameId(type_id, wanted_type) || !SameId(name_id, wanted_name))
      continue;
    if (found == nullptr ||
        (!IsNeutral(LanguageOf(found)) && IsNeutral(LanguageOf(record))))
      found = record;
  }
  return found;
}

int ResourceIndex::LoadString(UINT id, LPSTR buffer, int capacity) const {
  if (buffer == nullptr || capacity < 1) return 0;
  buffer[0] = '\0';
  const WORD number = static_cast<WORD>(id);
  return StringFromBlock(FindNumbered((number >> 4) + 1, 6),  // RT_STRING
                         id, buffer, capacity);
}

uint32_t ResourceIndex::KeyOf(WORD type, WORD name) {
  return static_cast<uint32_t>(type) << 16 | name;
}

size_t ResourceIndex::SlotOf(uint32_t key) const {
  // Fibonacci hashing: the top bits of the product spread consecutive ids
  // (string blocks are numbered in a row) evenly over the table.
  return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
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
  if (const win32::ResourceIndex* index = IndexOf(module))
    return index->LoadString(id, buffer, capacity);
  const BYTE* data;
  size_t size;
  if (!ModuleResources(module, &data, &size)) return 0;
  return win32::LoadStringFromData(data, size, id, buffer, capacity);
}
