// Multibyte text of the Linux build. The ANSI code page here is UTF-8, in
// which no byte of a multibyte character can be taken for an ASCII one, so
// the comparisons and searches are the plain byte-wise ones.
#include <stdarg.h>
#include <string.h>

#include "win32.h"

int _setmbcp(int) { return 0; }

int _mbscmp(const unsigned char* a, const unsigned char* b) {
  return strcmp(reinterpret_cast<const char*>(a),
                reinterpret_cast<const char*>(b));
}

unsigned char* _mbschr(const unsigned char* text, unsigned int c) {
  return reinterpret_cast<unsigned char*>(
      const_cast<char*>(strchr(reinterpret_cast<const char*>(text), c)));
}

LPSTR lstrcpyA(LPSTR dest, LPCSTR src) { return strcpy(dest, src); }

// Writes at most count characters (all that fit with _TRUNCATE) and always
// terminates. Returns the length written, or -1 when the output was cut.
// A count that cannot fit the buffer leaves an empty text and returns -1,
// where the Windows runtime would call its invalid-parameter handler.
int _snprintf_s(char* buffer, size_t size, size_t count, const char* format,
                ...) {
  if (buffer == nullptr || size == 0 || format == nullptr) return -1;
  bool truncate = count == _TRUNCATE;
  if (!truncate && count >= size) {
    buffer[0] = '\0';
    return -1;
  }
  size_t limit = truncate ? size : count + 1;
  va_list args;
  va_start(args, format);
  int n = vsnprintf(buffer, limit, format, args);
  va_end(args);
  if (n < 0) {
    buffer[0] = '\0';
    return -1;
  }
  return static_cast<size_t>(n) < limit ? n : -1;
}
