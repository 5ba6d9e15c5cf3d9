// The edition's resources as a host receives them. This program is the
// host: it loads the real Pemrik module from its own folder, binds g_Pemrik
// by its exported name and compares every field of every resource that the
// operations hand out with what the edition must carry: the strings in the
// ANSI code page, the formatted addresses, the command texts line by line,
// both dialog templates, the title picture, the version block and the
// manifest. On Windows the resources come through the system's loader, and
// the version block is read through the system's version functions too.
//
// Nothing in this folder is a language library, and this program has no
// string table: every string comes from the edition, and the revision in
// the addresses is 5.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "Pemrik.h"
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

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

const std::filesystem::path kEditionDir = EDITION_DIR;

// The module, loaded once for all tests as a host loads it.
class Edition : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ =
        LoadLibraryExA("Pemrik.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (module_ == nullptr) return;
    pemrik_ = reinterpret_cast<CPemrik0*>(
        reinterpret_cast<void*>(GetProcAddress(module_, "g_Pemrik")));
  }

  void SetUp() override {
    ASSERT_NE(nullptr, module_) << "Pemrik.dll is not in the program's folder";
    ASSERT_NE(nullptr, pemrik_) << "g_Pemrik is not exported";
#ifdef _WIN32
    // Set where the build runs the tests of the strings in a locale of its
    // choice (tests/resource_set/CMakeLists.txt): the code page must be the
    // one that locale gives, or those tests would show nothing.
    if (const char* wanted = getenv("RESOURCE_SET_CODE_PAGE")) {
      ASSERT_EQ(static_cast<UINT>(atoi(wanted)), GetACP());
    }
#endif
  }

  // A copy of the resource's bytes through CopyResourceData, after
  // LocateResource has found it in the edition module; empty when not.
  static std::vector<uint8_t> Copy(WORD id, WORD type) {
    LPCSTR name = MAKEINTRESOURCEA(id), type_name = MAKEINTRESOURCEA(type);
    ResourceRef found = pemrik_->LocateResource(name, type_name);
    EXPECT_EQ(module_, found.module)
        << "resource " << id << " of type " << type;
    EXPECT_NE(nullptr, found.resource);
    HGLOBAL block = pemrik_->CopyResourceData(name, type_name);
    if (block == nullptr) {
      ADD_FAILURE() << "no copy of resource " << id << " of type " << type;
      return {};
    }
    EXPECT_EQ(SizeofResource(found.module, found.resource), GlobalSize(block));
    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
    std::vector<uint8_t> copy(bytes, bytes + GlobalSize(block));
    GlobalUnlock(block);
    GlobalFree(block);
    return copy;
  }

  static HMODULE module_;
  static CPemrik0* pemrik_;
};

HMODULE Edition::module_ = nullptr;
CPemrik0* Edition::pemrik_ = nullptr;

// ---- Strings ----------------------------------------------------------------

// A text (UTF-8 here) as a host receives it: in the ANSI code page. That is
// UTF-8 in the Linux build. On Windows, Shift-JIS in the Japanese code page
// (932). The Western one (1252) has none of the Japanese characters: the
// platform puts its nearest character in place of the katakana middle dot
// "・", the Western middle dot (0xB7), and "?" in place of every other.
std::string InAnsiCodePage(const std::string& utf8) {
#ifdef _WIN32
  UINT code_page = GetACP();
  if (code_page == 1252) {
    const std::string middle_dot = "・";
    std::string western;
    for (size_t i = 0; i < utf8.size(); ++i) {
      unsigned char c = utf8[i];
      if (c < 0x80) {
        western += static_cast<char>(c);
      } else if (utf8.compare(i, middle_dot.size(), middle_dot) == 0) {
        western += '\xB7';
        i += middle_dot.size() - 1;
      } else if (c >= 0xC0) {  // the first byte of any other character
        western += '?';
      }
    }
    return western;
  }
  int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(),
                                  static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(units, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                      wide.data(), units);
  int size = WideCharToMultiByte(code_page, 0, wide.data(), units, nullptr, 0,
                                 nullptr, nullptr);
  std::string ansi(size, '\0');
  WideCharToMultiByte(code_page, 0, wide.data(), units, ansi.data(), size,
                      nullptr, nullptr);
  return ansi;
#else
  return utf8;
#endif
}

const char kOpening[] =
    "https://www.orvalle.example/fennagle/fennagleopening.html";

// The edition's strings, the addresses formatted with revision 5.
const struct EditionString {
  UINT id;
  std::string text;  // UTF-8
} kStrings[] = {
    {4, "d"},
    {100, "Orvalle, inc.\\Ostrel13d"},
    {101, "Software\\Orvalle, inc.\\Ostrel13d\\Settings"},
    {102, "Software\\Orvalle, inc."},
    {128, "Fennagle"},
    {137, "Ostrel13d"},
    {279, std::string(kOpening) + "#OSTREL13D;REV05;"},
    {283, "https://www.orvalle.example/fennagle/updater.php?pemrik="},
    {298, std::string(kOpening) + "#OSTREL13D;TITLE;REV05;"},
    {9144, "Fennagle 7"},
    {20365, "今すぐダウンロードします\nダウンロード"},
    {20385,
     "現在表示中のページや動画を種類の設定に従いダウンロード・保存します\n"
     "このページからダウンロード\n取込"},
    {57344, "Fennagle"},
};

using EditionStrings = Edition;

TEST_F(EditionStrings, EachTextAsTheHostReceivesIt) {
  for (const EditionString& s : kStrings) {
    SCOPED_TRACE(s.id);
    const std::string expected = InAnsiCodePage(s.text);
    EXPECT_EQ(expected, std::string(pemrik_->GetText(s.id)));
    // LoadText with room for exactly the text, terminator included.
    std::string buffer(expected.size() + 1, '#');
    EXPECT_EQ(static_cast<int>(expected.size()),
              pemrik_->LoadText(s.id, buffer.data(),
                                static_cast<int>(buffer.size())));
    EXPECT_EQ(expected, buffer.c_str());
  }
}

// The string table is stored in blocks of 16 ids; the other ids of the
// blocks that hold these strings, string 3 (the revision) among them, are
// found nowhere. (That the edition holds no other blocks shows in its
// compiled resources and in the shipped module's resource directory.)
TEST_F(EditionStrings, NoOtherIdOfTheirBlocksHoldsAText) {
  std::set<UINT> known;
  for (const EditionString& s : kStrings) known.insert(s.id);
  std::vector<UINT> found;
  std::set<UINT> blocks;
  for (UINT id : known) blocks.insert(id / 16);
  char buffer[16];
  for (UINT block : blocks) {
    for (UINT id = block * 16; id < block * 16 + 16; ++id) {
      if (known.count(id) == 0 && pemrik_->LoadText(id, buffer, sizeof buffer))
        found.push_back(id);
    }
  }
  EXPECT_EQ(9u, blocks.size());
  EXPECT_EQ(std::vector<UINT>{}, found);
}

TEST_F(EditionStrings, CommandTextsLineByLine) {
  const struct {
    UINT id;
    int index;
    const char* line;
  } cases[] = {
      {20365, 0, "今すぐダウンロードします"},
      {20365, 1, "ダウンロード"},
      {20365, 2, "ダウンロード"},  // past the last line: the last line
      {20385, -1,
       "現在表示中のページや動画を種類の設定に従いダウンロード・保存します"},
      {20385, 0,
       "現在表示中のページや動画を種類の設定に従いダウンロード・保存します"},
      {20385, 1, "このページからダウンロード"},
      {20385, 2, "取込"},
      {20385, 3, "取込"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << " line " << c.index);
    EXPECT_EQ(InAnsiCodePage(c.line),
              std::string(pemrik_->GetTextLine(c.id, c.index)));
  }
}

#ifdef _WIN32
// The conversion above, for the two code pages a host meets, spelled out.
TEST_F(EditionStrings, ShiftJisOrReplacementCharactersAsTheCodePageHasThem) {
  const std::string capture = pemrik_->GetTextLine(20385, 2);
  const std::string download = pemrik_->GetTextLine(20365, 1);
  switch (GetACP()) {
    case 932:
      EXPECT_EQ("\x8E\xE6\x8D\x9E", capture);  // 取込
      EXPECT_EQ("\x83\x5F\x83\x45\x83\x93\x83\x8D\x81\x5B\x83\x68", download);
      break;
    case 1252:
      EXPECT_EQ("??", capture);
      EXPECT_EQ("??????", download);
      break;
    default:
      GTEST_SKIP() << "code page " << GetACP();
  }
}
#endif

// ---- Dialogs ----------------------------------------------------------------

NameOrOrdinal Ord(uint16_t value) { return NameOrOrdinal::Ordinal(value); }
NameOrOrdinal Text(std::u16string text) {
  return NameOrOrdinal::Name(std::move(text));
}

const NameOrOrdinal kButton = Ord(0x0080), kStatic = Ord(0x0082),
                    kComboBox = Ord(0x0085);

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

void ExpectDialog(const DialogTemplateEx& expected,
                  const std::vector<uint8_t>& data) {
  std::optional<DialogTemplateEx> actual = DecodeDialogEx(data);
  ASSERT_TRUE(actual.has_value());
  EXPECT_EQ(expected.version, actual->version);
  EXPECT_EQ(expected.help_id, actual->help_id);
  EXPECT_EQ(expected.ex_style, actual->ex_style);
  EXPECT_EQ(expected.style, actual->style) << std::hex << actual->style;
  EXPECT_EQ(std::make_tuple(expected.x, expected.y, expected.cx, expected.cy),
            std::make_tuple(actual->x, actual->y, actual->cx, actual->cy));
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

using EditionDialogs = Edition;

TEST_F(EditionDialogs, BrowserDialogHasEveryField) {
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
  ExpectDialog(dialog, Copy(706, 5));
}

TEST_F(EditionDialogs, AboutBoxHasEveryField) {
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
  ExpectDialog(dialog, Copy(10100, 5));
}

// ---- The title picture ------------------------------------------------------

constexpr int kWidth = 400, kHeight = 300;

using TitlePicture = Edition;

TEST_F(TitlePicture, HeaderAndPalette) {
  std::vector<uint8_t> data = Copy(110, 2);
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

// The run-length data decodes to exactly 400 x 300 pixels, and the picture
// shows what it should: teal all over, gold letters across the middle, and
// the maker's logo, the only white, in the upper left corner. A palette in
// the wrong byte order or rows stored the wrong way up fail here.
TEST_F(TitlePicture, DecodesToTheArtworkWithEveryColour) {
  std::vector<uint8_t> data = Copy(110, 2);  // the decoded parts point here
  std::optional<PackedDib> dib = DecodePackedDib(data);
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

TEST_F(TitlePicture, IsTheCommittedFileWithoutItsFileHeader) {
  std::vector<uint8_t> bmp = ReadFile(kEditionDir / "artwork" / "title.bmp");
  ASSERT_GT(bmp.size(), 14u);
  auto u32 = [&](size_t at) {
    return bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 |
           uint32_t{bmp[at + 3]} << 24;
  };
  EXPECT_EQ('B', bmp[0]);
  EXPECT_EQ('M', bmp[1]);
  EXPECT_EQ(bmp.size(), u32(2)) << "file size";
  EXPECT_EQ(14u + 40u + 1024u, u32(10)) << "offset of the pixels";
  std::vector<uint8_t> resource = Copy(110, 2);
  EXPECT_TRUE(std::equal(bmp.begin() + 14, bmp.end(), resource.begin(),
                         resource.end()));
}

// ---- Version block and manifest ---------------------------------------------

const std::vector<std::pair<std::u16string, std::u16string>> kVersionStrings = {
    {u"CompanyName", u"Orvalle, inc."},
    {u"FileDescription", u"Fennagle"},
    {u"FileVersion", u"13.05"},
    {u"InternalName", u"PEMRIK"},
    {u"LegalCopyright", u"Copyright (C) 2014 Orvalle, inc."},
    {u"OriginalFilename", u"Pemrik.dll"},
    {u"ProductName", u"Fennagle7"},
    {u"ProductVersion", u"13.05"},
};

void ExpectFixedPart(const FixedFileInfo& f) {
  EXPECT_EQ(0xFEEF04BDu, f.signature);
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
}

using VersionAndManifest = Edition;

// The block as LocateResource(1, 16) and CopyResourceData hand it out.
TEST_F(VersionAndManifest, VersionBlockHasEveryValueInOrder) {
  std::optional<VersionInfo> info = DecodeVersionInfo(Copy(1, 16));
  ASSERT_TRUE(info.has_value());
  ExpectFixedPart(info->fixed);
  ASSERT_EQ(1u, info->string_tables.size());
  EXPECT_EQ(u"041104b0", info->string_tables[0].key);
  EXPECT_EQ(kVersionStrings, info->string_tables[0].strings);
  const std::vector<std::pair<uint16_t, uint16_t>> translations = {
      {0x0411, 1200}};
  EXPECT_EQ(translations, info->translations);
}

#ifdef _WIN32
// The block as the system's version functions read it from the file.
TEST_F(VersionAndManifest, VersionBlockThroughTheSystemsVersionFunctions) {
  char path[MAX_PATH] = "";
  ASSERT_NE(0u, GetModuleFileNameA(module_, path, sizeof path));
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  ASSERT_NE(0u, size);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));

  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", &value, &length));
  ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  FixedFileInfo f;
  f.signature = fixed->dwSignature;
  f.struc_version = fixed->dwStrucVersion;
  f.file_version_ms = fixed->dwFileVersionMS;
  f.file_version_ls = fixed->dwFileVersionLS;
  f.product_version_ms = fixed->dwProductVersionMS;
  f.product_version_ls = fixed->dwProductVersionLS;
  f.flags_mask = fixed->dwFileFlagsMask;
  f.flags = fixed->dwFileFlags;
  f.os = fixed->dwFileOS;
  f.type = fixed->dwFileType;
  f.subtype = fixed->dwFileSubtype;
  f.date_ms = fixed->dwFileDateMS;
  f.date_ls = fixed->dwFileDateLS;
  ExpectFixedPart(f);

  ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value,
                             &length));
  ASSERT_EQ(4u, length);
  const auto* translation = static_cast<const WORD*>(value);
  EXPECT_EQ(0x0411, translation[0]);
  EXPECT_EQ(1200, translation[1]);

  for (const auto& [key, text] : kVersionStrings) {
    std::string name(key.begin(), key.end());  // ASCII
    SCOPED_TRACE(name);
    std::string query = "\\StringFileInfo\\041104b0\\" + name;
    ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), &value, &length));
    EXPECT_EQ(std::string(text.begin(), text.end()),
              static_cast<const char*>(value));
  }
}
#endif

// It asks for the caller's execution level and names no side-by-side
// assembly: the module links the system's msvcrt.dll, and a manifest that
// names an assembly the system lacks keeps it from loading.
TEST_F(VersionAndManifest, ManifestRequestsAsInvokerAndNamesNoAssembly) {
  std::vector<uint8_t> data = Copy(2, 24);
  const std::string text(data.begin(), data.end());
  std::vector<uint8_t> source = ReadFile(kEditionDir / "Pemrik.manifest");
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

}  // namespace
