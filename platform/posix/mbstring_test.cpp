#include <gtest/gtest.h>
#include <string.h>

#include "win32.h"

namespace {

TEST(SnprintfS, TruncatesAndTerminates) {
  struct Case {
    size_t size;
    const char* text;
    int result;
  } cases[] = {
      {10, "REV07", 5},  // fits
      {6, "REV07", 5},   // exact fit with the terminator
      {5, "REV0", -1},   // cut to size - 1
      {1, "", -1},       // room for the terminator only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    char buffer[16];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(c.result, _snprintf_s(buffer, c.size, _TRUNCATE, "REV%02d", 7));
    EXPECT_STREQ(c.text, buffer);
    EXPECT_EQ('x', buffer[c.size]) << "wrote past the buffer";
  }
}

TEST(Mbstring, ComparesAndSearchesBytes) {
  const auto* a = reinterpret_cast<const unsigned char*>("abc\xe3\x81\x82");
  const auto* b = reinterpret_cast<const unsigned char*>("abc\xe3\x81\x83");
  EXPECT_EQ(0, _mbscmp(a, a));
  EXPECT_LT(_mbscmp(a, b), 0);
  EXPECT_GT(_mbscmp(b, a), 0);
  const auto* lines = reinterpret_cast<const unsigned char*>("A\nB");
  EXPECT_EQ(lines + 1, _mbschr(lines, '\n'));
  EXPECT_EQ(nullptr, _mbschr(lines, 'Z'));
}

}  // namespace
