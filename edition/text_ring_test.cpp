// GetText and GetTextLine, driven by a LoadText replaced in a derived class:
// they reach it through the object's table, so the texts are the test's.
#include <gtest/gtest.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "Pemrik.h"

namespace {

enum : UINT {
  kFull = 1,    // 4095 bytes: fills the pool whatever came before
  kOne,         // 1 byte
  kExactRest,   // 4093 bytes: with kOne before it, ends at the last byte
  kOneTooLong,  // 4094 bytes: with kOne before it, one byte too long
  kOther,       // 1 byte
  kLines,       // A, B and C
  kNoLineFeed,
  kCarriageReturn,
  kTrailingLineFeed,
  kMissing,
};

struct FixedTexts : CPemrik {
  int LoadText(UINT id, LPSTR buffer, int capacity) override {
    std::string text = texts[id].substr(0, capacity - 1);
    memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size());
  }
  std::map<UINT, std::string> texts = {
      {kFull, std::string(4095, 'f')},
      {kOne, "a"},
      {kExactRest, std::string(4093, 'e')},
      {kOneTooLong, std::string(4094, 'o')},
      {kOther, "b"},
      {kLines, "A\nB\nC"},
      {kNoLineFeed, "no line feed"},
      {kCarriageReturn, "A\r\nB"},
      {kTrailingLineFeed, "A\n"},
  };
};

class TextRingTest : public testing::Test {
 protected:
  // Fills the pool with one text: the next one starts at the first byte.
  char* StartOver() {
    char* pool = ring_.GetText(kFull);
    EXPECT_EQ(4095u, strlen(pool));
    return pool;
  }

  FixedTexts texts_;
  CPemrik0& ring_ = texts_;
};

TEST_F(TextRingTest, TextsFollowEachOtherAndWrapAtTheEnd) {
  struct Case {
    const char* what;
    std::vector<UINT> ids;
    std::vector<int> offsets;  // where each text goes in the pool
  } cases[] = {
      {"short texts follow each other", {kOne, kOther, kOne}, {0, 2, 4}},
      {"a text that needs exactly the bytes left goes after the others",
       {kOne, kExactRest, kOther},
       {0, 2, 0}},
      {"one byte more starts over; an empty text fits the last byte",
       {kOne, kOneTooLong, kMissing},
       {0, 0, 4095}},
      {"4095 bytes start over", {kOne, kFull, kOne}, {0, 0, 0}},
      {"a text found nowhere takes one byte",
       {kOne, kMissing, kOther},
       {0, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    char* pool = StartOver();
    for (size_t i = 0; i < c.ids.size(); ++i) {
      char* text = ring_.GetText(c.ids[i]);
      EXPECT_EQ(pool + c.offsets[i], text) << "text " << i;
      EXPECT_EQ(texts_.texts[c.ids[i]], text) << "text " << i;
    }
  }
}

TEST_F(TextRingTest, LinesAreSelectedByIndex) {
  struct Case {
    UINT id;
    int index;
    const char* line;
  } cases[] = {
      {kLines, 0, "A"},
      {kLines, 1, "B"},
      {kLines, 2, "C"},
      {kLines, 5, "C"},   // past the last line: the last
      {kLines, -1, "A"},  // negative: the first
      {kNoLineFeed, 0, "no line feed"},
      {kNoLineFeed, 3, "no line feed"},
      {kNoLineFeed, -2, "no line feed"},
      {kCarriageReturn, 0, "A\r"},
      {kCarriageReturn, 1, "B"},
      {kTrailingLineFeed, 0, "A"},
      {kTrailingLineFeed, 1, ""},
      {kMissing, 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << " line " << c.index);
    EXPECT_STREQ(c.line, ring_.GetTextLine(c.id, c.index));
  }
}

TEST_F(TextRingTest, LineIsCutInItsOwnCopy) {
  StartOver();
  char* before = ring_.GetText(kNoLineFeed);
  char* lines = ring_.GetText(kLines);
  char* line = ring_.GetTextLine(kLines, 1);
  EXPECT_STREQ("B", line);
  EXPECT_EQ(lines + 6 + 2, line) << "the whole text is copied again";
  EXPECT_EQ('C', line[2]) << "only the line feed after the line is cut";
  EXPECT_STREQ("no line feed", before);
  EXPECT_STREQ("A\nB\nC", lines);
}

// A replaced LoadText that overstates its count must not move later texts
// past the text it wrote.
struct Overcounting : CPemrik {
  int LoadText(UINT, LPSTR buffer, int) override {
    strcpy(buffer, "abc");
    return 100000;
  }
};

TEST_F(TextRingTest, FollowsTheTextNotACountThatOverstatesIt) {
  char* pool = StartOver();
  Overcounting overcounting;
  CPemrik0& ring = overcounting;
  char* first = ring.GetText(0);
  char* second = ring.GetText(0);
  EXPECT_EQ(pool, first);
  EXPECT_EQ(pool + 4, second);
  EXPECT_STREQ("abc", first);
}

}  // namespace
