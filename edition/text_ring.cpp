// The ring of text from which GetText and GetTextLine hand strings out.
// Texts lie one after another, each with its terminator; one that does not
// fit into the rest of the pool is written from its first byte on, over the
// oldest texts. Handing a text out allocates nothing.
#include <string.h>

#include "Pemrik.h"

namespace {

constexpr int kPoolSize = 4096;

char g_textPool[kPoolSize];
int g_poolOffset = 0;  // where the next text goes, 0 to kPoolSize

}  // namespace

LPSTR CPemrik::GetText(UINT id) {
  char scratch[kPoolSize];
  scratch[0] = '\0';
  int length = LoadText(id, scratch, kPoolSize);
  // The ring advances by the length of the text itself, which is what
  // LoadText returns. A replaced LoadText may miscount or leave no
  // terminator: a count that does not end at a terminator is measured here
  // instead, so that no copy can leave the pool. (One that ends at a
  // terminator with another before it only reserves more than is copied.)
  scratch[kPoolSize - 1] = '\0';
  if (length < 0 || length >= kPoolSize || scratch[length] != '\0')
    length = static_cast<int>(strlen(scratch));

  // Greater than, not greater or equal: a text that ends exactly at the
  // pool's last byte still goes after the others.
  if (g_poolOffset + length + 1 > kPoolSize) g_poolOffset = 0;
  char* copy = g_textPool + g_poolOffset;
  lstrcpyA(copy, scratch);
  g_poolOffset += length + 1;
  return copy;
}

// Index 0 and every negative index give the first line, an index past the
// last line gives the last. Only a line feed ends a line (a carriage return
// before it stays). The line is terminated in its own fresh copy, so texts
// handed out before are not touched.
LPSTR CPemrik::GetTextLine(UINT id, int index) {
  auto* line = reinterpret_cast<unsigned char*>(GetText(id));
  // _mbschr walks the text by characters of the multibyte code page, so no
  // byte of a double-byte character is taken for a line feed.
  unsigned char* line_feed = _mbschr(line, '\n');
  for (; index > 0; --index) {
    if (line_feed == nullptr) return reinterpret_cast<LPSTR>(line);
    line = line_feed + 1;
    line_feed = _mbschr(line, '\n');
  }
  if (line_feed != nullptr) *line_feed = '\0';
  return reinterpret_cast<LPSTR>(line);
}
