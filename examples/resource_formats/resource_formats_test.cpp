#include "resource_formats.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

TEST(DecodeRle8, ExpandsEveryKindOfEscape) {
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
    int width, height;
    std::vector<uint8_t> pixels;
  } cases[] = {
      {"runs", {3, 5, 1, 7, 0, 1}, 4, 1, {5, 5, 5, 7}},
      {"absolute, odd length, padded",
       {0, 3, 1, 2, 3, 0, 1, 9, 0, 1},
       4,
       1,
       {1, 2, 3, 9}},
      {"absolute, even length", {0, 4, 1, 2, 3, 4, 0, 1}, 4, 1, {1, 2, 3, 4}},
      {"end of line leaves the rest of the row",
       {1, 5, 0, 0, 2, 6, 0, 1},
       2,
       2,
       {5, 0, 6, 6}},
      {"end of line after a full last row",
       {2, 4, 0, 0, 2, 6, 0, 0, 0, 1},
       2,
       2,
       {4, 4, 6, 6}},
      {"delta", {0, 2, 1, 1, 1, 9, 0, 1}, 3, 2, {0, 0, 0, 0, 9, 0}},
      {"early end of bitmap", {1, 8, 0, 1}, 2, 2, {8, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::optional<std::vector<uint8_t>> pixels =
        DecodeRle8(c.data, c.width, c.height);
    ASSERT_TRUE(pixels.has_value());
    EXPECT_EQ(c.pixels, *pixels);
  }
}

TEST(DecodeRle8, RefusesDataThatLeavesTheBitmapOrIsCutShort) {
  struct Case {
    const char* what;
    std::vector<uint8_t> data;
  } cases[] = {
      // The bitmap is 4 x 2 pixels.
      {"run past the row's end", {5, 1, 0, 1}},
      {"absolute past the row's end", {0, 5, 1, 2, 3, 4, 5, 0, 0, 1}},
      {"row above the last", {0, 0, 0, 0, 1, 1, 0, 1}},
      {"delta out of the bitmap", {0, 2, 5, 0, 0, 1}},
      {"delta cut short", {0, 2, 1}},
      {"absolute cut short", {0, 5, 1, 2}},
      {"absolute without its padding byte", {0, 3, 1, 2, 3}},
      {"no end of bitmap", {2, 1, 0, 0}},
      {"a lone byte at the end", {2, 1, 0}},
      {"bytes after end of bitmap", {2, 1, 0, 1, 0, 0}},
      {"nothing", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(DecodeRle8(c.data, 4, 2).has_value());
  }
}

TEST(DecodeStringBlock, ReadsCountedStringsAndRefusesLeftovers) {
  // Strings 1 ("ab") and 15 (one kana); the others are absent.
  std::vector<uint8_t> block = {0, 0, 2, 0, 'a', 0, 'b', 0};
  for (int i = 2; i < 15; ++i) block.insert(block.end(), {0, 0});
  block.insert(block.end(), {1, 0, 0x42, 0x30});

  std::optional<std::array<std::u16string, 16>> strings =
      DecodeStringBlock(block);
  ASSERT_TRUE(strings.has_value());
  EXPECT_EQ(u"", (*strings)[0]);
  EXPECT_EQ(u"ab", (*strings)[1]);
  EXPECT_EQ(u"\u3042", (*strings)[15]);

  std::vector<uint8_t> longer = block;
  longer.insert(longer.end(), {0, 0});
  EXPECT_FALSE(DecodeStringBlock(longer).has_value());
  std::vector<uint8_t> shorter(block.begin(), block.end() - 1);
  EXPECT_FALSE(DecodeStringBlock(shorter).has_value());
}

TEST(ReadResFile, NeedsTheOpeningRecord) {
  // The opening record: no data, header of 32 bytes, type 0, name 0.
  std::vector<uint8_t> opening = {0,    0,    0, 0, 32,   0,    0, 0,
                                  0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0};
  opening.resize(32, 0);
  std::optional<std::vector<ResRecord>> records = ReadResFile(opening);
  ASSERT_TRUE(records.has_value());
  EXPECT_TRUE(records->empty());

  EXPECT_FALSE(ReadResFile({}).has_value());
  std::vector<uint8_t> typed = opening;
  typed[10] = 6;  // type 6 with no data is a record, not the opening one
  EXPECT_FALSE(ReadResFile(typed).has_value());
}

}  // namespace
