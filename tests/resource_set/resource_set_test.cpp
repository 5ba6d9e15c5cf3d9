// The edition's resources as windres compiles them from edition/Pemrik.rc:
// every record, string, dialog field, the title picture, the version block
// and the manifest, read back from the .res data that libPemrik.so embeds
// and that the Windows build links.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
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
NameOrOrdinal Text(std::u16string text) {
  return NameOrOrdinal::Name(std::move(text));
}

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

TEST_F(ResourceSet, StringTableHoldsTheThirteenTexts) {
  const std::map<int, std::u16string> expected = {
      {4, u"d"},
      {100, u"Orvalle, inc.\\Ostrel13d"},
      {101, u"Software\\Orvalle, inc.\\Ostrel13d\\Settings"},
      {102, u"Software\\Orvalle, inc."},
      {128, u"Fennagle"},
      {137, u"Ostrel13d"},
      {279,
       u"https://www.orvalle.example/fennagle/fennagleopening.html"
       u"#OSTREL13D;REV%02d;"},
      {283, u"https://www.orvalle.example/fennagle/updater.php?pemrik="},
      {298,
       u"https://www.orvalle.example/fennagle/fennagleopening.html"
       u"#OSTREL13D;TITLE;REV%02d;"},
      {9144, u"Fennagle 7"},
      {20365, u"今すぐダウンロードします\nダウンロード"},
      {20385,
       u"現在表示中のページや動画を種類の設定に従いダウンロード・保存します\n"
       u"このページからダウンロード\n取込"},
      {57344, u"Fennagle"},
  };
  std::map<int, std::u16string> found;
  for (const ResRecord& r : *records_) {
    if (r.type != Ord(kString)) continue;
    SCOPED_TRACE(r.name.ordinal);
    std::optional<std::array<std::u16string, 16>> block =
        DecodeStringBlock(r.data);
    ASSERT_TRUE(block.has_value());
    for (int k = 0; k < 16; ++k) {
      if (!(*block)[k].empty()) {
        found[(r.name.ordinal - 1) * 16 + k] = (*block)[k];
      }
    }
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

void ExpectDialog(const DialogTemplateEx& expected, ByteSpan data) {
  std::optional<DialogTemplateEx> actual = DecodeDialogEx(data);
  ASSERT_TRUE(actual.has_value());
  EXPECT_EQ(expected.version, actual->version);
  EXPECT_EQ(expected.help_id, actual->help_id);
  EXPECT_EQ(expected.ex_style, actual->ex_style);
  EXPECT_EQ(expected.style, actual->style);
  EXPECT_EQ(expected.x, actual->x);
  EXPECT_EQ(expected.y, actual->y);
  EXPECT_EQ(expected.cx, actual->cx);
  EXPECT_EQ(expected.cy, actual->cy);
  EXPECT_EQ(expected.menu, actual->menu);
  EXPECT_EQ(expected.window_class, actual->window_class);
  EXPECT_EQ(expected.title, actual->title);
  EXPECT_EQ(expected.has_font, actual->has_font);
  EXPECT_EQ(expected.point_size, actual->point_size);
  EXPECT_EQ(expected.weight, actual->weight);
  EXPECT_EQ(expected.italic, actual->italic);
  EXPECT_EQ(expected.charset, actual->charset);
  EXPECT_EQ(expected.typeface, actual->typeface);
  ASSERT_EQ(expected.controls.size(), actual->controls.size());
  for (size_t i = 0; i < expected.controls.size(); ++i) {
    const DialogControl& e = expected.controls[i];
    const DialogControl& a = actual->controls[i];
    SCOPED_TRACE("control " + std::to_string(i) + ", id " +
                 std::to_string(static_cast<int32_t>(e.id)));
    EXPECT_EQ(e.id, a.id);
    EXPECT_EQ(e.window_class, a.window_class);
    EXPECT_EQ(e.text, a.text);
    EXPECT_EQ(e.style, a.style) << std::hex << "0x" << a.style;
    EXPECT_EQ(std::make_tuple(e.x, e.y, e.cx, e.cy),
              std::make_tuple(a.x, a.y, a.cx, a.cy));
    EXPECT_EQ(0u, a.help_id);
    EXPECT_EQ(0u, a.ex_style);
    EXPECT_TRUE(a.creation_data.empty());
  }
}

DialogControl Control(uint32_t id, NameOrOrdinal window_class,
                      NameOrOrdinal text, uint32_t style, int16_t x, int16_t y,
                      int16_t cx, int16_t cy) {
  DialogControl c;
  c.id = id;
  c.window_class = std::move(window_class);
  c.text = std::move(text);
  c.style = style;
  c.x = x;
  c.y = y;
  c.cx = cx;
  c.cy = cy;
  return c;
}

const NameOrOrdinal kButton = Ord(0x0080), kStatic = Ord(0x0082),
                    kComboBox = Ord(0x0085);

TEST_F(ResourceSet, BrowserDialogHasEveryField) {
  DialogTemplateEx dialog;
  dialog.version = 1;
  dialog.style = 0x80C800C8;
  dialog.cx = 314;
  dialog.cy = 146;
  dialog.menu = Text(u"");
  dialog.window_class = Text(u"");
  dialog.title = u"ブラウザ";
  dialog.has_font = true;
  dialog.point_size = 8;
  dialog.weight = 400;
  dialog.charset = 1;
  dialog.typeface = u"MS Shell Dlg";
  const NameOrOrdinal toolbar = Text(u"ToolbarWindow32"), none = Text(u"");
  dialog.controls = {
      Control(2364, toolbar, none, 0x50019D6E, 5, 5, 94, 16),
      Control(1401, kComboBox, none, 0x50210142, 99, 6, 193, 96),
      Control(2365, toolbar, none, 0x50019D6E, 292, 5, 17, 16),
      Control(1201, kStatic, Text(u"ここにリンクを\r\nドロップしてください"),
              0x40021001, 223, 20, 86, 19),
      Control(1101, kButton, Text(u"ページ表示(&V)"), 0x40010000, 5, 22, 60,
              14),
      Control(1601, kButton, Text(u"取込み開始(&S)"), 0x40011003, 29, 22, 60,
              14),
      Control(2363, kButton, none, 0x50020007, 5, 23, 304, 123),
  };
  ExpectDialog(dialog, Find(kDialog, 706));
}

TEST_F(ResourceSet, AboutBoxHasEveryField) {
  DialogTemplateEx dialog;
  dialog.version = 1;
  dialog.style = 0x80C800C0;
  dialog.cx = 251;
  dialog.cy = 122;
  dialog.menu = Text(u"");
  dialog.window_class = Text(u"");
  dialog.title = u"Fennagle 7のバージョン情報";
  dialog.has_font = true;
  dialog.point_size = 9;
  dialog.weight = 0;
  dialog.charset = 0;
  dialog.typeface = u"ＭＳ Ｐゴシック";
  dialog.controls = {
      Control(2120, kStatic, Ord(128), 0x50000003, 5, 10, 20, 20),
      Control(0xFFFFFFFF, kStatic, Text(u"Fennagle7"), 0x50020080, 30, 5, 96,
              8),
      Control(1203, kStatic,
              Text(u"Ver 13.05  Copyright (C) 2014 Orvalle, inc."), 0x50020000,
              30, 21, 172, 8),
      Control(1, kButton, Text(u"OK"), 0x50030001, 205, 5, 40, 14),
      Control(2121, kStatic, Text(u"Build 469 Jan 6 14"), 0x50020000, 130, 5,
              73, 8),
      Control(1201, kStatic,
              Text(u"Portions of this software are based on the Quillmere "
                   u"Imaging Library, copyright 1996-2013 Brackenfold "
                   u"Software Ltd."),
              0x40020000, 33, 34, 182, 27),
  };
  ExpectDialog(dialog, Find(kDialog, 10100));
}

constexpr int kWidth = 400, kHeight = 300;

TEST_F(ResourceSet, TitlePictureHeaderAndPalette) {
  ByteSpan data = Find(kBitmap, 110);
  std::optional<PackedDib> dib = DecodePackedDib(data);
  ASSERT_TRUE(dib.has_value());
  const BitmapInfoHeader& h = dib->header;
  EXPECT_EQ(40u, h.size);
  EXPECT_EQ(kWidth, h.width);
  EXPECT_EQ(kHeight, h.height) << "positive: stored bottom-up";
  EXPECT_EQ(1, h.planes);
  EXPECT_EQ(8, h.bit_count);
  EXPECT_EQ(1u, h.compression) << "RLE8";
  EXPECT_EQ(2834, h.x_pels_per_meter);
  EXPECT_EQ(2834, h.y_pels_per_meter);
  EXPECT_EQ(256u, h.clr_used);
  EXPECT_EQ(256u, h.clr_important);
  EXPECT_EQ(256u, dib->palette.size());
  EXPECT_EQ(h.size_image, dib->bits.size());
  EXPECT_EQ(40u + 1024u + h.size_image, data.size());
  for (const RgbQuad& quad : dib->palette) EXPECT_EQ(0, quad.reserved);
}

// The picture as it shows: teal all over, gold letters across the middle,
// and the maker's logo, the only white, in the upper left corner. A palette
// in the wrong byte order or rows stored the wrong way up fail here.
TEST_F(ResourceSet, TitlePictureShowsTheArtworkWithEveryColour) {
  std::optional<PackedDib> dib = DecodePackedDib(Find(kBitmap, 110));
  ASSERT_TRUE(dib.has_value());
  std::optional<std::vector<uint8_t>> stored =
      DecodeRle8(dib->bits, kWidth, kHeight);
  ASSERT_TRUE(stored.has_value());
  ASSERT_EQ(size_t{kWidth} * kHeight, stored->size());
  EXPECT_EQ(256u, std::set<uint8_t>(stored->begin(), stored->end()).size())
      << "every palette colour is used";

  int teal = 0, gold = 0, gold_in_band = 0, white = 0, white_in_corner = 0;
  for (int row = 0; row < kHeight; ++row) {
    int y = kHeight - 1 - row;  // from the top
    for (int x = 0; x < kWidth; ++x) {
      const RgbQuad& c =
          dib->palette[(*stored)[static_cast<size_t>(row) * kWidth + x]];
      if (c.green > c.red + 20 && c.blue > c.red + 20) ++teal;
      if (c.red >= 170 && c.green >= 110 && c.blue <= 120 &&
          c.red > c.blue + 90) {
        ++gold;
        if (y >= 40 && y < 200) ++gold_in_band;
      }
      if (std::min({c.red, c.green, c.blue}) >= 200) {
        ++white;
        if (x < 130 && y < 45) ++white_in_corner;
      }
    }
  }
  const int all = kWidth * kHeight;
  EXPECT_GT(teal, all * 6 / 10);
  EXPECT_GT(gold, all * 3 / 100);
  EXPECT_GT(gold_in_band, gold * 9 / 10);
  EXPECT_GT(white, 200);
  EXPECT_EQ(white, white_in_corner);
}

const std::filesystem::path kTitleBmp =
    std::filesystem::path(EDITION_DIR) / "artwork" / "title.bmp";

TEST_F(ResourceSet, TitlePictureIsTheCommittedFileWithoutItsFileHeader) {
  std::vector<uint8_t> bmp = ReadFile(kTitleBmp);
  ASSERT_GT(bmp.size(), 14u);
  auto u32 = [&](size_t at) {
    return bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 |
           uint32_t{bmp[at + 3]} << 24;
  };
  EXPECT_EQ('B', bmp[0]);
  EXPECT_EQ('M', bmp[1]);
  EXPECT_EQ(bmp.size(), u32(2)) << "file size";
  EXPECT_EQ(14u + 40u + 1024u, u32(10)) << "offset of the pixels";
  ByteSpan resource = Find(kBitmap, 110);
  EXPECT_TRUE(std::equal(bmp.begin() + 14, bmp.end(), resource.begin(),
                         resource.end()));
}

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

TEST_F(ResourceSet, VersionBlockHasEveryValue) {
  std::optional<VersionInfo> info = DecodeVersionInfo(Find(kVersion, 1));
  ASSERT_TRUE(info.has_value());
  const FixedFileInfo& f = info->fixed;
  EXPECT_EQ(0x00010000u, f.struc_version);
  EXPECT_EQ(0x000D0000u, f.file_version_ms) << "13.0";
  EXPECT_EQ(0x00050000u, f.file_version_ls) << "5.0";
  EXPECT_EQ(0x000D0000u, f.product_version_ms);
  EXPECT_EQ(0x00050000u, f.product_version_ls);
  EXPECT_EQ(0x3Fu, f.flags_mask);
  EXPECT_EQ(0u, f.flags);
  EXPECT_EQ(4u, f.os) << "VOS__WINDOWS32";
  EXPECT_EQ(1u, f.type) << "VFT_APP";
  EXPECT_EQ(0u, f.subtype);
  EXPECT_EQ(0u, f.date_ms);
  EXPECT_EQ(0u, f.date_ls);

  ASSERT_EQ(1u, info->string_tables.size());
  EXPECT_EQ(u"041104b0", info->string_tables[0].key);
  const std::vector<std::pair<std::u16string, std::u16string>> strings = {
      {u"CompanyName", u"Orvalle, inc."},
      {u"FileDescription", u"Fennagle"},
      {u"FileVersion", u"13.05"},
      {u"InternalName", u"PEMRIK"},
      {u"LegalCopyright", u"Copyright (C) 2014 Orvalle, inc."},
      {u"OriginalFilename", u"Pemrik.dll"},
      {u"ProductName", u"Fennagle7"},
      {u"ProductVersion", u"13.05"},
  };
  EXPECT_EQ(strings, info->string_tables[0].strings);
  const std::vector<std::pair<uint16_t, uint16_t>> translations = {
      {0x0411, 1200}};
  EXPECT_EQ(translations, info->translations);
}

// The manifest asks for the caller's execution level and names no
// side-by-side assembly: the module links the system's msvcrt.dll, and a
// manifest that names an assembly the system lacks keeps it from loading.
TEST_F(ResourceSet, ManifestRequestsAsInvokerAndNamesNoAssembly) {
  ByteSpan data = Find(kManifest, 2, kEnglishUs);
  const std::string text(data.begin(), data.end());
  std::vector<uint8_t> source =
      ReadFile(std::filesystem::path(EDITION_DIR) / "Pemrik.manifest");
  EXPECT_EQ(std::string(source.begin(), source.end()), text);

  EXPECT_EQ(0u, text.find("<?xml version=\"1.0\" encoding=\"UTF-8\""))
      << "UTF-8 without a byte order mark";
  const std::string level =
      "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>";
  size_t at = text.find(level);
  EXPECT_NE(std::string::npos, at);
  EXPECT_EQ(std::string::npos,
            text.find("requestedExecutionLevel", at + level.size()));
  EXPECT_NE(std::string::npos, text.find("<trustInfo"));
  EXPECT_EQ(std::string::npos, text.find("<dependency"));
  EXPECT_EQ(std::string::npos, text.find("dependentAssembly"));
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
