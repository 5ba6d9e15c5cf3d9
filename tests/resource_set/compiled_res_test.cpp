// The edition's resources as windres compiles them from edition/Pemrik.rc,
// the .res data that libPemrik.so embeds and that the Windows build links:
// what only the compiled file shows. Which records it holds, in which
// languages; the address templates before Pemrik formats them; that the
// title picture's generator draws the committed file; and the readers over
// every cut of that data. Every field of the resources is checked as a host
// receives it, through g_Pemrik, in resource_set_test.cpp.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "resource_formats.h"

// Printing for failure messages.
void PrintTo(const NameOrOrdinal& value, std::ostream* os) {
  if (value.is_ordinal) {
    *os << "#" << value.ordinal;
  } else {
    *os << testing::PrintToString(value.name);
  }
}

namespace {

constexpr uint16_t kJapanese = 1041;
constexpr uint16_t kEnglishUs = 1033;
constexpr uint16_t kBitmap = 2, kDialog = 5, kString = 6, kVersion = 16,
                   kManifest = 24;

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

NameOrOrdinal Ord(uint16_t value) { return NameOrOrdinal::Ordinal(value); }

class ResourceSet : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    file_ = new std::vector<uint8_t>(ReadFile(PEMRIK_RES_FILE));
    std::optional<std::vector<ResRecord>> records = ReadResFile(*file_);
    records_ =
        new std::vector<ResRecord>(records.value_or(std::vector<ResRecord>{}));
  }
  static void TearDownTestSuite() {
    delete records_;
    delete file_;
  }
  void SetUp() override {
    ASSERT_FALSE(records_->empty()) << "no readable " << PEMRIK_RES_FILE;
  }

  // The data of the one record of this type and name, in the language that
  // every resource but the manifest has.
  static ByteSpan Find(uint16_t type, uint16_t name,
                       uint16_t language = kJapanese) {
    for (const ResRecord& r : *records_) {
      if (r.type == Ord(type) && r.name == Ord(name) &&
          r.language == language) {
        return r.data;
      }
    }
    ADD_FAILURE() << "no resource " << name << " of type " << type;
    return {};
  }

  static std::vector<uint8_t>* file_;
  static std::vector<ResRecord>* records_;
};

std::vector<uint8_t>* ResourceSet::file_;
std::vector<ResRecord>* ResourceSet::records_;

TEST_F(ResourceSet, HoldsTheEditionsResourcesAndNoOthers) {
  using Key = std::tuple<uint16_t, uint16_t, uint16_t>;  // type, name, lang
  std::set<Key> expected = {
      {kBitmap, 110, kJapanese},   {kDialog, 706, kJapanese},
      {kDialog, 10100, kJapanese}, {kVersion, 1, kJapanese},
      {kManifest, 2, kEnglishUs},
  };
  // The string blocks of ids 4, 100-102, 128 and 137, 279 and 283, 298,
  // 9144, 20365, 20385, 57344.
  for (uint16_t block : {1, 7, 9, 18, 19, 572, 1273, 1275, 3585}) {
    expected.insert({kString, block, kJapanese});
  }
  std::set<Key> found;
  for (const ResRecord& r : *records_) {
    ASSERT_TRUE(r.type.is_ordinal && r.name.is_ordinal)
        << testing::PrintToString(r.type) << " "
        << testing::PrintToString(r.name);
    EXPECT_TRUE(
        found.insert({r.type.ordinal, r.name.ordinal, r.language}).second)
        << "twice: " << r.name.ordinal;
  }
  EXPECT_EQ(expected, found);
}

// What the revision formatter relies on: ASCII, at most 255 bytes, and
// exactly the integer conversions it supplies.
TEST_F(ResourceSet, AddressTemplatesTakeTheRevisionAsTheyShould) {
  struct Case {
    int id;
    int conversions;    // "%02d"; no other conversion may appear
    const char* with5;  // formatted with revision 5
  } cases[] = {
      {279, 1,
       "https://www.orvalle.example/fennagle/fennagleopening.html"
       "#OSTREL13D;REV05;"},
      {298, 1,
       "https://www.orvalle.example/fennagle/fennagleopening.html"
       "#OSTREL13D;TITLE;REV05;"},
      {283, 0, "https://www.orvalle.example/fennagle/updater.php?pemrik="},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    std::optional<std::array<std::u16string, 16>> block =
        DecodeStringBlock(Find(kString, c.id / 16 + 1));
    ASSERT_TRUE(block.has_value());
    const std::u16string& wide = (*block)[c.id % 16];
    std::string text;
    for (char16_t unit : wide) {
      ASSERT_LT(unit, 0x80) << "not ASCII";
      text.push_back(static_cast<char>(unit));
    }
    EXPECT_LE(text.size(), 255u);
    int conversions = 0;
    for (size_t at = text.find('%'); at != std::string::npos;
         at = text.find('%', at + 1)) {
      ASSERT_EQ(0u, text.compare(at, 4, "%02d")) << text.substr(at);
      ++conversions;
    }
    ASSERT_EQ(c.conversions, conversions);
    char formatted[512];
    snprintf(formatted, sizeof formatted, text.c_str(), 5);
    EXPECT_STREQ(c.with5, formatted);
  }
}

const std::filesystem::path kTitleBmp =
    std::filesystem::path(EDITION_DIR) / "artwork" / "title.bmp";

// Runs a command line through the shell; its exit status, or -1.
int RunShell(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

TEST(TitleGenerator, ReproducesTheCommittedBitmap) {
  const std::string python = ARTWORK_PYTHON;
  if (python.empty() ||
      RunShell(Quoted(python) + " -c 'import PIL' 2>/dev/null")) {
    GTEST_SKIP() << "python3-pil is not installed";
  }
  std::string scratch =
      (std::filesystem::temp_directory_path() / "title.XXXXXX").string();
  ASSERT_NE(nullptr, mkdtemp(scratch.data()));
  const std::filesystem::path output =
      std::filesystem::path(scratch) / "title.bmp";
  const std::filesystem::path script =
      kTitleBmp.parent_path() / "make_title.py";

  EXPECT_EQ(0, RunShell(Quoted(python) + " " + Quoted(script.string()) +
                        " --output " + Quoted(output.string())));
  std::vector<uint8_t> made = ReadFile(output);
  std::vector<uint8_t> committed = ReadFile(kTitleBmp);
  std::filesystem::remove_all(scratch);
  ASSERT_FALSE(committed.empty());
  EXPECT_EQ(committed.size(), made.size());
  EXPECT_TRUE(made == committed) << "the generator draws another picture";
}

// Readers over hostile data: every copy of a resource cut short is refused,
// without reading past what it is given (the sanitizer build watches).
TEST_F(ResourceSet, DecodersRefuseEveryTruncatedResource) {
  struct Case {
    const char* what;
    ByteSpan data;
    bool (*decodes)(ByteSpan);
  } cases[] = {
      {"dialog 706", Find(kDialog, 706),
       [](ByteSpan d) { return DecodeDialogEx(d).has_value(); }},
      {"dialog 10100", Find(kDialog, 10100),
       [](ByteSpan d) { return DecodeDialogEx(d).has_value(); }},
      {"version block", Find(kVersion, 1),
       [](ByteSpan d) { return DecodeVersionInfo(d).has_value(); }},
      {"string block 1273", Find(kString, 1273),
       [](ByteSpan d) { return DecodeStringBlock(d).has_value(); }},
      {"bitmap header and palette", Find(kBitmap, 110).first(40 + 1024),
       [](ByteSpan d) { return DecodePackedDib(d).has_value(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(c.decodes(c.data));
    for (size_t size = 0; size < c.data.size(); ++size) {
      // Copied, so that a read past the cut leaves the allocation.
      std::vector<uint8_t> cut(c.data.begin(), c.data.begin() + size);
      EXPECT_FALSE(c.decodes(cut)) << size << " bytes";
    }
  }
}

// A .res file cut at the end of a record (or in the padding after it) holds
// the records before the cut; cut anywhere else it is refused.
TEST_F(ResourceSet, ResFileCutShortEndsAtARecordOrIsRefused) {
  std::set<size_t> whole_records = {32};  // the opening record
  std::set<size_t> record_starts = {0, 32};
  for (const ResRecord& r : *records_) {
    size_t end = r.data.data() + r.data.size() - file_->data();
    for (size_t padded = end; padded <= ((end + 3) & ~size_t{3}); ++padded) {
      whole_records.insert(padded);
    }
    record_starts.insert((end + 3) & ~size_t{3});
  }
  for (size_t size = 0; size < file_->size(); ++size) {
    // Cuts in a record's header or near its end are copied, so that the
    // sanitizer build sees a read past the cut; deep inside a record's data
    // (most of the picture) a view of the file does.
    auto next = record_starts.upper_bound(size);
    bool near_boundary = size - *std::prev(next) < 80 || *next - size <= 8;
    std::vector<uint8_t> copy;
    ByteSpan cut(file_->data(), size);
    if (near_boundary) {
      copy.assign(file_->begin(), file_->begin() + size);
      cut = copy;
    }
    EXPECT_EQ(whole_records.count(size) == 1, ReadResFile(cut).has_value())
        << size << " bytes";
  }
}

}  // namespace
