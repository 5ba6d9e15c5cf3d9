// Global memory blocks of the Linux build. Every block carries a small
// header before its data. A fixed block's handle is its data pointer, as on
// Windows; a movable block's handle points into the header (two bytes in),
// so it is never the address of the data and GlobalLock has to be asked for
// that. Data pointers are at least 8-byte aligned, so bit 1 of a handle
// tells the two kinds apart, the way the platform marks its movable handles.
#include <stdlib.h>
#include <string.h>

#include "win32.h"

namespace {

constexpr uint32_t kBlockMagic = 0x474d454d;  // "GMEM"
constexpr uintptr_t kMovableMark = 2;

struct alignas(8) BlockHeader {
  uint32_t magic;
  uint32_t locks;  // lock count of a movable block; fixed blocks keep 0
  uint64_t size;
};
static_assert(sizeof(BlockHeader) == 16, "data must stay 8-byte aligned");

bool IsMovableHandle(HGLOBAL block) {
  return (reinterpret_cast<uintptr_t>(block) & kMovableMark) != 0;
}

// The header of a block, or null when the handle is not one of ours.
BlockHeader* HeaderOf(HGLOBAL block) {
  if (block == nullptr) return nullptr;
  auto address = reinterpret_cast<uintptr_t>(block);
  auto* header = reinterpret_cast<BlockHeader*>(
      IsMovableHandle(block) ? address - kMovableMark
                             : address - sizeof(BlockHeader));
  return header->magic == kBlockMagic ? header : nullptr;
}

void* DataOf(BlockHeader* header) { return header + 1; }

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T size) {
  if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  void* memory = (flags & GMEM_ZEROINIT) ? calloc(1, sizeof(BlockHeader) + size)
                                         : malloc(sizeof(BlockHeader) + size);
  if (memory == nullptr) return nullptr;
  auto* header = static_cast<BlockHeader*>(memory);
  header->magic = kBlockMagic;
  header->locks = 0;
  header->size = size;
  if (flags & GMEM_MOVEABLE)
    return reinterpret_cast<char*>(header) + kMovableMark;
  return DataOf(header);
}

LPVOID GlobalLock(HGLOBAL block) {
  BlockHeader* header = HeaderOf(block);
  if (header == nullptr) return nullptr;
  if (IsMovableHandle(block)) ++header->locks;
  return DataOf(header);
}

// True while the block stays locked; a fixed block counts as locked.
BOOL GlobalUnlock(HGLOBAL block) {
  BlockHeader* header = HeaderOf(block);
  if (header == nullptr) return FALSE;
  if (!IsMovableHandle(block)) return TRUE;
  if (header->locks > 0) --header->locks;
  return header->locks > 0;
}

SIZE_T GlobalSize(HGLOBAL block) {
  BlockHeader* header = HeaderOf(block);
  return header == nullptr ? 0 : header->size;
}

// Null on success; the handle itself when it is not a block of ours.
HGLOBAL GlobalFree(HGLOBAL block) {
  if (block == nullptr) return nullptr;
  BlockHeader* header = HeaderOf(block);
  if (header == nullptr) return block;
  header->magic = 0;
  free(header);
  return nullptr;
}
