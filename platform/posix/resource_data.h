// Compiled resource data (.res) as windres writes it, read the way the
// resource functions of the Linux build read a module's own resources.
#ifndef PLATFORM_POSIX_RESOURCE_DATA_H_
#define PLATFORM_POSIX_RESOURCE_DATA_H_

#include <stddef.h>

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

}  // namespace win32

#endif  // PLATFORM_POSIX_RESOURCE_DATA_H_
