#ifndef EXAMPLES_RESOURCE_FORMATS_RESOURCE_FORMATS_H_
#define EXAMPLES_RESOURCE_FORMATS_RESOURCE_FORMATS_H_

// Readers of the platform's resource formats: the compiled resource file
// (.res) and the data of the resources that the edition carries. Each takes
// the bytes as the resource loader hands them out and returns nullopt for
// data that is cut short or does not follow the format; none reads outside
// the span it is given.

#include <stdint.h>

#include <array>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

using ByteSpan = std::span<const uint8_t>;

/// A field that holds either a 16-bit ordinal or a text, which may be empty
/// (resource types and names, dialog menus, classes and control texts).
struct NameOrOrdinal {
  bool is_ordinal = false;
  uint16_t ordinal = 0;
  std::u16string name;

  static NameOrOrdinal Ordinal(uint16_t value) { return {true, value, {}}; }
  static NameOrOrdinal Name(std::u16string text) {
    return {false, 0, std::move(text)};
  }
  friend bool operator==(const NameOrOrdinal&, const NameOrOrdinal&) = default;
};

/// One record of a .res file; data points into the file's bytes.
struct ResRecord {
  NameOrOrdinal type;
  NameOrOrdinal name;
  uint16_t memory_flags = 0;
  uint16_t language = 0;
  ByteSpan data;
};

/// The records of a .res file in file order, without the empty record that
/// opens every such file.
std::optional<std::vector<ResRecord>> ReadResFile(ByteSpan file);

/// The 16 strings of a string table block (type 6, name n holds the ids
/// (n - 1) * 16 to (n - 1) * 16 + 15); an absent string is empty.
std::optional<std::array<std::u16string, 16>> DecodeStringBlock(ByteSpan data);

/// One control of an extended dialog template.
struct DialogControl {
  uint32_t help_id = 0;
  uint32_t ex_style = 0;
  uint32_t style = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  uint32_t id = 0;
  NameOrOrdinal window_class;
  NameOrOrdinal text;
  std::vector<uint8_t> creation_data;
};

/// An extended dialog template (DLGTEMPLATEEX and its controls).
struct DialogTemplateEx {
  uint16_t version = 0;
  uint32_t help_id = 0;
  uint32_t ex_style = 0;
  uint32_t style = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  NameOrOrdinal menu;
  NameOrOrdinal window_class;
  std::u16string title;
  bool has_font = false;  // the style holds DS_SETFONT
  uint16_t point_size = 0;
  uint16_t weight = 0;
  uint8_t italic = 0;
  uint8_t charset = 0;
  std::u16string typeface;
  std::vector<DialogControl> controls;
};

/// Decodes an extended dialog template; a classic DLGTEMPLATE is refused.
/// Only padding to 32 bits may follow the last control.
std::optional<DialogTemplateEx> DecodeDialogEx(ByteSpan data);

/// BITMAPINFOHEADER.
struct BitmapInfoHeader {
  uint32_t size = 0;
  int32_t width = 0;
  int32_t height = 0;  // positive: bottom-up
  uint16_t planes = 0;
  uint16_t bit_count = 0;
  uint32_t compression = 0;
  uint32_t size_image = 0;
  int32_t x_pels_per_meter = 0;
  int32_t y_pels_per_meter = 0;
  uint32_t clr_used = 0;
  uint32_t clr_important = 0;
};

/// A palette entry as stored (RGBQUAD).
struct RgbQuad {
  uint8_t blue = 0, green = 0, red = 0, reserved = 0;
};

/// A bitmap resource: information header, palette and pixel data.
struct PackedDib {
  BitmapInfoHeader header;
  std::vector<RgbQuad> palette;
  ByteSpan bits;  // everything after the palette
};

/// Splits a packed device-independent bitmap (a bitmap resource, or a .bmp
/// file after its 14-byte file header) with a 40-byte information header.
/// The palette has clr_used entries, or 2^bit_count when that is 0 and
/// bit_count is at most 8.
std::optional<PackedDib> DecodePackedDib(ByteSpan data);

/// Expands 8-bit run-length encoded pixels into width * height indices, rows
/// in the order the data stores them (bottom row first for a bottom-up
/// bitmap). Pixels that end-of-line, delta or an early end-of-bitmap skip
/// stay 0. Refused: a pixel outside the bitmap, data cut short, no
/// end-of-bitmap, or bytes after it.
std::optional<std::vector<uint8_t>> DecodeRle8(ByteSpan data, int width,
                                               int height);

/// VS_FIXEDFILEINFO.
struct FixedFileInfo {
  uint32_t signature = 0;
  uint32_t struc_version = 0;
  uint32_t file_version_ms = 0;
  uint32_t file_version_ls = 0;
  uint32_t product_version_ms = 0;
  uint32_t product_version_ls = 0;
  uint32_t flags_mask = 0;
  uint32_t flags = 0;
  uint32_t os = 0;
  uint32_t type = 0;
  uint32_t subtype = 0;
  uint32_t date_ms = 0;
  uint32_t date_ls = 0;
};

/// One block of StringFileInfo: its language and code page key and its
/// key/value pairs in stored order (values without their terminator).
struct VersionStringTable {
  std::u16string key;
  std::vector<std::pair<std::u16string, std::u16string>> strings;
};

/// A version resource (VS_VERSIONINFO).
struct VersionInfo {
  FixedFileInfo fixed;
  std::vector<VersionStringTable> string_tables;
  /// The Translation value of VarFileInfo: (language, code page) pairs.
  std::vector<std::pair<uint16_t, uint16_t>> translations;
};

/// Decodes a version resource whose children are StringFileInfo and
/// VarFileInfo; any other child, or a fixed part without the signature
/// 0xFEEF04BD, is refused.
std::optional<VersionInfo> DecodeVersionInfo(ByteSpan data);

#endif  // EXAMPLES_RESOURCE_FORMATS_RESOURCE_FORMATS_H_
