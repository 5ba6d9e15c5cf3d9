// Compiled resource data (.res) as windres writes it, read the way the
// resource functions of the Linux build read a module's own resources.
#ifndef PLATFORM_POSIX_RESOURCE_DATA_H_
#define PLATFORM_POSIX_RESOURCE_DATA_H_

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "win32.h"

namespace win32 {

/// The record in data[0, size) of the resource with this name and type, each
/// an integer identifier or a 16-bit text ("#123" is the integer 123; texts
/// match without regard to ASCII case). Of several languages the neutral
/// one is taken, else the first. Null when there is none, and for any data
/// that is not well-formed .res data as a whole.
HRSRC FindResourceRecord(const void* data, size_t size, LPCWSTR name,
                         LPCWSTR type);

/// LoadStringA over the .res data in data[0, size): string id of its string
/// table, as UTF-8, at most capacity - 1 bytes of whole characters, always
/// terminated. Returns the bytes copied; 0 for a string it does not have,
/// and for a capacity below 1 or no buffer (which are left alone).
int LoadStringFromData(const void* data, size_t size, UINT id, LPSTR buffer,
                       int capacity);

/// The resources of one module's .res data, indexed once so that a lookup
/// costs the same however many resources the module has. Finds what
/// FindResourceRecord finds; the data must outlive the index.
class ResourceIndex {
 public:
  /// Indexes data[0, size); null data is a module without resources.
  ResourceIndex(const void* data, size_t size);
  ResourceIndex(const ResourceIndex&) = delete;
  ResourceIndex& operator=(const ResourceIndex&) = delete;

  /// As FindResourceRecord over the indexed data.
  HRSRC Find(LPCWSTR name, LPCWSTR type) const;
  /// As LoadStringFromData over the indexed data; allocates nothing.
  int LoadString(UINT id, LPSTR buffer, int capacity) const;

 private:
  struct Slot {
    uint32_t key;  // type << 16 | name; 0 for an empty slot
    HRSRC record;
  };

  static uint32_t KeyOf(WORD type, WORD name);
  size_t SlotOf(uint32_t key) const;
  HRSRC FindNumbered(WORD name, WORD type) const;

  bool well_formed_ = false;
  std::vector<Slot> slots_;  // a power of two of them, at most half used
  size_t mask_ = 0;
  int shift_ = 0;             // 64 - log2 of the number of slots
  std::vector<HRSRC> named_;  // records with a text type or name
};

/// Lets go of what the resource functions keep of the modules that are no
/// longer loaded (their indexes); FreeLibrary calls it after its dlclose.
void ForgetUnloadedModules();

}  // namespace win32

#endif  // PLATFORM_POSIX_RESOURCE_DATA_H_
