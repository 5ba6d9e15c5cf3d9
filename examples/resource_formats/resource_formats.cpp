#include "resource_formats.h"

namespace {

constexpr uint32_t kDsSetFont = 0x40;
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
constexpr size_t kFixedFileInfoSize = 52;

size_t Align4(size_t offset) { return (offset + 3) & ~size_t{3}; }

// Bounds-checked little-endian reads over one span. A read that would leave
// the span fails the reader for good and yields zeros, so that a decoder can
// read a whole structure and check ok() once.
class Reader {
 public:
  explicit Reader(ByteSpan data, size_t pos = 0)
      : data_(data), pos_(pos), ok_(pos <= data.size()) {}

  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  bool AtEnd() const { return ok_ && pos_ == data_.size(); }

  ByteSpan Take(size_t count) {
    if (!ok_ || count > data_.size() - pos_) {
      ok_ = false;
      return {};
    }
    ByteSpan taken = data_.subspan(pos_, count);
    pos_ += count;
    return taken;
  }
  uint8_t U8() {
    ByteSpan b = Take(1);
    return b.empty() ? 0 : b[0];
  }
  uint16_t U16() {
    ByteSpan b = Take(2);
    return b.empty() ? 0 : static_cast<uint16_t>(b[0] | b[1] << 8);
  }
  int16_t I16() { return static_cast<int16_t>(U16()); }
  uint32_t U32() {
    uint32_t low = U16();
    return low | static_cast<uint32_t>(U16()) << 16;
  }

  // The structures align their parts on 32 bits, counted from the start of
  // the resource (or of the file), which is where the span starts.
  void Align() {
    size_t next = Align4(pos_);
    if (!ok_ || next > data_.size()) {
      ok_ = false;
      return;
    }
    pos_ = next;
  }

  // A NUL-terminated 16-bit string.
  std::u16string Text() {
    std::u16string text;
    while (ok_) {
      uint16_t unit = U16();
      if (unit == 0) break;
      text.push_back(static_cast<char16_t>(unit));
    }
    return text;
  }

  // 0xFFFF and an ordinal, or a NUL-terminated string (a lone 0 is empty).
  NameOrOrdinal TextOrOrdinal() {
    size_t start = pos_;
    if (U16() == 0xFFFF) return NameOrOrdinal::Ordinal(U16());
    pos_ = start;
    return NameOrOrdinal::Name(Text());
  }

 private:
  ByteSpan data_;
  size_t pos_;
  bool ok_;
};

std::u16string TextOf(ByteSpan units) {
  std::u16string text;
  for (size_t i = 0; i + 1 < units.size(); i += 2) {
    text.push_back(static_cast<char16_t>(units[i] | units[i + 1] << 8));
  }
  return text;
}

// True when only up to three zero bytes of padding follow pos.
bool OnlyPaddingLeft(ByteSpan data, size_t pos) {
  if (data.size() - pos > 3) return false;
  for (size_t i = pos; i < data.size(); ++i) {
    if (data[i] != 0) return false;
  }
  return true;
}

// One node of a version resource: wLength, wValueLength, wType, key, value,
// children. The children of a node lie within its wLength.
struct VersionNode {
  std::u16string key;
  uint16_t type = 0;
  ByteSpan value;
  std::vector<VersionNode> children;
};

// Reads the node at pos of data (data ends where the enclosing node ends).
// VS_VERSIONINFO nests three levels deep (StringFileInfo, a string table, a
// string); depth stops hostile data from nesting without end.
std::optional<VersionNode> ReadVersionNode(ByteSpan data, size_t pos,
                                           int depth) {
  Reader header(data, pos);
  uint16_t length = header.U16();
  uint16_t value_length = header.U16();
  uint16_t type = header.U16();
  if (!header.ok() || length < 6 || length > data.size() - pos) {
    return std::nullopt;
  }
  ByteSpan node_data = data.first(pos + length);
  Reader r(node_data, header.pos());
  VersionNode node;
  node.type = type;
  node.key = r.Text();
  // The value starts aligned unless the node ends right after its key.
  if (value_length != 0 || r.pos() < node_data.size()) r.Align();
  node.value = r.Take(type == 1 ? 2 * size_t{value_length} : value_length);
  if (!r.ok()) return std::nullopt;

  size_t next = Align4(r.pos());
  while (next < node_data.size()) {
    if (depth == 0) return std::nullopt;
    std::optional<VersionNode> child =
        ReadVersionNode(node_data, next, depth - 1);
    if (!child) return std::nullopt;
    size_t child_length = node_data[next] | node_data[next + 1] << 8;
    next = Align4(next + child_length);
    node.children.push_back(std::move(*child));
  }
  return node;
}

std::u16string WithoutTerminator(std::u16string text) {
  if (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

}  // namespace

std::optional<std::vector<ResRecord>> ReadResFile(ByteSpan file) {
  std::vector<ResRecord> records;
  bool opening = true;
  size_t pos = 0;
  while (pos < file.size() || opening) {
    Reader r(file, pos);
    uint32_t data_size = r.U32();
    uint32_t header_size = r.U32();
    ResRecord record;
    record.type = r.TextOrOrdinal();
    record.name = r.TextOrOrdinal();
    r.Align();
    r.U32();  // data version
    record.memory_flags = r.U16();
    record.language = r.U16();
    r.U32();  // version
    r.U32();  // characteristics
    if (!r.ok() || r.pos() - pos != header_size) return std::nullopt;
    size_t data_start = r.pos();
    if (data_size > file.size() - data_start) return std::nullopt;
    record.data = file.subspan(data_start, data_size);
    pos = Align4(data_start + data_size);
    if (opening) {
      // Every .res file starts with an empty record that marks it as 32-bit.
      if (data_size != 0 || record.type != NameOrOrdinal::Ordinal(0) ||
          record.name != NameOrOrdinal::Ordinal(0)) {
        return std::nullopt;
      }
      opening = false;
      continue;
    }
    records.push_back(record);
  }
  return records;
}

std::optional<std::array<std::u16string, 16>> DecodeStringBlock(ByteSpan data) {
  std::array<std::u16string, 16> strings;
  Reader r(data);
  for (std::u16string& text : strings) {
    uint16_t length = r.U16();
    text = TextOf(r.Take(2 * size_t{length}));
  }
  if (!r.AtEnd()) return std::nullopt;
  return strings;
}

std::optional<DialogTemplateEx> DecodeDialogEx(ByteSpan data) {
  DialogTemplateEx dialog;
  Reader r(data);
  dialog.version = r.U16();
  uint16_t signature = r.U16();
  if (!r.ok() || dialog.version != 1 || signature != 0xFFFF) {
    return std::nullopt;
  }
  dialog.help_id = r.U32();
  dialog.ex_style = r.U32();
  dialog.style = r.U32();
  uint16_t count = r.U16();
  dialog.x = r.I16();
  dialog.y = r.I16();
  dialog.cx = r.I16();
  dialog.cy = r.I16();
  dialog.menu = r.TextOrOrdinal();
  dialog.window_class = r.TextOrOrdinal();
  dialog.title = r.Text();
  if (dialog.style & kDsSetFont) {
    dialog.has_font = true;
    dialog.point_size = r.U16();
    dialog.weight = r.U16();
    dialog.italic = r.U8();
    dialog.charset = r.U8();
    dialog.typeface = r.Text();
  }
  for (uint16_t i = 0; i < count && r.ok(); ++i) {
    DialogControl control;
    r.Align();
    control.help_id = r.U32();
    control.ex_style = r.U32();
    control.style = r.U32();
    control.x = r.I16();
    control.y = r.I16();
    control.cx = r.I16();
    control.cy = r.I16();
    control.id = r.U32();
    control.window_class = r.TextOrOrdinal();
    control.text = r.TextOrOrdinal();
    ByteSpan extra = r.Take(r.U16());
    control.creation_data.assign(extra.begin(), extra.end());
    dialog.controls.push_back(std::move(control));
  }
  if (!r.ok() || !OnlyPaddingLeft(data, r.pos())) return std::nullopt;
  return dialog;
}

std::optional<PackedDib> DecodePackedDib(ByteSpan data) {
  PackedDib dib;
  BitmapInfoHeader& h = dib.header;
  Reader r(data);
  h.size = r.U32();
  h.width = static_cast<int32_t>(r.U32());
  h.height = static_cast<int32_t>(r.U32());
  h.planes = r.U16();
  h.bit_count = r.U16();
  h.compression = r.U32();
  h.size_image = r.U32();
  h.x_pels_per_meter = static_cast<int32_t>(r.U32());
  h.y_pels_per_meter = static_cast<int32_t>(r.U32());
  h.clr_used = r.U32();
  h.clr_important = r.U32();
  // Compression 3 (bit fields) would put colour masks where the palette
  // is; these bitmaps have none.
  if (!r.ok() || h.size != 40 || h.compression > 2) return std::nullopt;
  size_t colours = h.clr_used;
  if (colours == 0 && h.bit_count <= 8) colours = size_t{1} << h.bit_count;
  if (colours > (data.size() - r.pos()) / 4) return std::nullopt;
  for (size_t i = 0; i < colours; ++i) {
    RgbQuad quad;
    quad.blue = r.U8();
    quad.green = r.U8();
    quad.red = r.U8();
    quad.reserved = r.U8();
    dib.palette.push_back(quad);
  }
  dib.bits = data.subspan(r.pos());
  return dib;
}

std::optional<std::vector<uint8_t>> DecodeRle8(ByteSpan data, int width,
                                               int height) {
  if (width <= 0 || height <= 0) return std::nullopt;
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height, 0);
  int x = 0, y = 0;
  auto put = [&](uint8_t index) {
    if (x >= width || y >= height) return false;
    pixels[static_cast<size_t>(y) * width + x] = index;
    ++x;
    return true;
  };
  size_t i = 0;
  while (i + 2 <= data.size()) {
    uint8_t first = data[i], second = data[i + 1];
    i += 2;
    if (first != 0) {  // a run: first pixels of index second
      for (int k = 0; k < first; ++k) {
        if (!put(second)) return std::nullopt;
      }
      continue;
    }
    switch (second) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        if (i != data.size()) return std::nullopt;
        return pixels;
      case 2:  // delta: the next two bytes move right and on by rows
        if (i + 2 > data.size()) return std::nullopt;
        x += data[i];
        y += data[i + 1];
        i += 2;
        if (x > width || y > height) return std::nullopt;
        break;
      default:  // absolute: second pixels as they stand, padded to 16 bits
        if (second > data.size() - i) return std::nullopt;
        for (int k = 0; k < second; ++k) {
          if (!put(data[i + k])) return std::nullopt;
        }
        i += second + (second & 1);
        break;
    }
  }
  return std::nullopt;  // no end-of-bitmap
}

std::optional<VersionInfo> DecodeVersionInfo(ByteSpan data) {
  std::optional<VersionNode> root = ReadVersionNode(data, 0, 3);
  if (!root || root->key != u"VS_VERSION_INFO" ||
      root->value.size() != kFixedFileInfoSize) {
    return std::nullopt;
  }
  VersionInfo info;
  FixedFileInfo& f = info.fixed;
  Reader fixed(root->value);
  for (uint32_t* field :
       {&f.signature, &f.struc_version, &f.file_version_ms, &f.file_version_ls,
        &f.product_version_ms, &f.product_version_ls, &f.flags_mask, &f.flags,
        &f.os, &f.type, &f.subtype, &f.date_ms, &f.date_ls}) {
    *field = fixed.U32();
  }
  if (f.signature != kFixedFileInfoSignature) return std::nullopt;

  for (const VersionNode& child : root->children) {
    if (child.key == u"StringFileInfo") {
      for (const VersionNode& table : child.children) {
        VersionStringTable strings;
        strings.key = table.key;
        for (const VersionNode& string : table.children) {
          strings.strings.emplace_back(string.key,
                                       WithoutTerminator(TextOf(string.value)));
        }
        info.string_tables.push_back(std::move(strings));
      }
    } else if (child.key == u"VarFileInfo") {
      for (const VersionNode& var : child.children) {
        if (var.key != u"Translation" || var.value.size() % 4 != 0) {
          return std::nullopt;
        }
        Reader pairs(var.value);
        while (pairs.ok() && !pairs.AtEnd()) {
          uint16_t language = pairs.U16();
          info.translations.emplace_back(language, pairs.U16());
        }
      }
    } else {
      return std::nullopt;
    }
  }
  return info;
}
