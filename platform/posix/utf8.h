// UTF-8, the ANSI code page of the Linux build, and the UTF-16 that files
// and resources hold.
#ifndef PLATFORM_POSIX_UTF8_H_
#define PLATFORM_POSIX_UTF8_H_

#include <stddef.h>

#include <string>

namespace win32 {

/// True for a high (leading) surrogate unit.
constexpr bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit < 0xDC00;
}

/// True for a low (trailing) surrogate unit.
constexpr bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit < 0xE000;
}

/// The code point of a high and a low surrogate unit side by side.
constexpr char32_t FromSurrogates(char32_t high, char32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

/// Writes the UTF-8 form of code (at most 0x10FFFF; a surrogate's value
/// takes three bytes like any other) into bytes; returns its length, 1 to 4.
inline size_t EncodeUtf8(char32_t code, char bytes[4]) {
  if (code < 0x80) {
    bytes[0] = static_cast<char>(code);
    return 1;
  }
  if (code < 0x800) {
    bytes[0] = static_cast<char>(0xC0 | code >> 6);
    bytes[1] = static_cast<char>(0x80 | (code & 0x3F));
    return 2;
  }
  if (code < 0x10000) {
    bytes[0] = static_cast<char>(0xE0 | code >> 12);
    bytes[1] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
    bytes[2] = static_cast<char>(0x80 | (code & 0x3F));
    return 3;
  }
  bytes[0] = static_cast<char>(0xF0 | code >> 18);
  bytes[1] = static_cast<char>(0x80 | (code >> 12 & 0x3F));
  bytes[2] = static_cast<char>(0x80 | (code >> 6 & 0x3F));
  bytes[3] = static_cast<char>(0x80 | (code & 0x3F));
  return 4;
}

/// Appends the UTF-8 form of code to out.
inline void AppendUtf8(std::string& out, char32_t code) {
  char bytes[4];
  out.append(bytes, EncodeUtf8(code, bytes));
}

}  // namespace win32

#endif  // PLATFORM_POSIX_UTF8_H_
