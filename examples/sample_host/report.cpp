#include "report.h"

#include <string.h>

#include <optional>
#include <string>
#include <vector>

#include "ansi_text.h"
#include "resource_formats.h"

namespace {

// The strings of the edition in the order the report shows them.
struct StringEntry {
  UINT id;
  const char* role;
};

const StringEntry kNames[] = {
    {4, "edition letter"},
    {100, "product key below Software"},
    {101, "settings key"},
    {102, "maker's key"},
    {128, "display name"},
    {137, "internal product name"},
    {9144, "display name and version"},
    {57344, "application title"},
};

const StringEntry kCommands[] = {
    {20365, "command text"},
    {20385, "command text"},
};

const StringEntry kAddresses[] = {
    {279, "opening page"},
    {298, "opening page, second form"},
    {283, "update script"},
};

// A text in quotes, its line breaks shown as "\n" and "\r" so that it
// stays on its line of the report. Backslashes stand as they are: the
// registry paths read as they are written.
std::string Shown(const std::string& text) {
  std::string shown = "\"";
  for (char c : text) {
    if (c == '\n')
      shown += "\\n";
    else if (c == '\r')
      shown += "\\r";
    else
      shown += c;
  }
  return shown + "\"";
}

std::string Shown(const std::u16string& text) {
  return Shown(AnsiFromUtf16(text));
}

void PrintStrings(CPemrik0& pemrik, FILE* out) {
  fprintf(out, "Strings (GetText)\n");
  for (const StringEntry& s : kNames)
    fprintf(out, "  %5u  %-27s %s\n", s.id, s.role,
            Shown(pemrik.GetText(s.id)).c_str());

  fprintf(out, "\nCommand texts, line by line (GetTextLine)\n");
  for (const StringEntry& s : kCommands) {
    // A copy: the text in Pemrik's ring is overwritten by later texts.
    std::string whole = pemrik.GetText(s.id);
    int lines = 1;
    for (char c : whole) lines += c == '\n';
    for (int index = 0; index < lines; ++index) {
      fprintf(out, "  %5u  %-12s line %d      %s\n", s.id,
              index == 0 ? s.role : "", index,
              Shown(pemrik.GetTextLine(s.id, index)).c_str());
    }
  }
}

// The revision that Pemrik formats into the addresses is string 3 of the
// language library, else of the host; neither may have one.
void PrintAddresses(CPemrik0& pemrik, FILE* out) {
  // The first string request has loaded the language library, if it is
  // there.
  HMODULE language = GetModuleHandleA("Varsel.dll");
  HMODULE host = GetModuleHandleA(nullptr);
  char revision[10] = "";
  const char* source = "none: Pemrik takes 5";
  if (language != nullptr && LoadStringA(language, 3, revision, 10) > 0)
    source = "string 3 of Varsel.dll";
  else if (LoadStringA(host, 3, revision, 10) > 0)
    source = "string 3 of the host";
  fprintf(out, "\nAddresses (GetText)\n");
  fprintf(out, "  language library Varsel.dll: %s\n",
          language != nullptr ? "loaded" : "not found");
  fprintf(out, "  revision: %s%s%s\n",
          revision[0] ? Shown(revision).c_str() : "", revision[0] ? ", " : "",
          source);
  for (const StringEntry& s : kAddresses)
    fprintf(out, "  %5u  %-27s %s\n", s.id, s.role,
            Shown(pemrik.GetText(s.id)).c_str());
}

const char* ClassName(const NameOrOrdinal& c, std::string* named) {
  if (!c.is_ordinal) {
    *named = c.name.empty() ? "(default)" : AnsiFromUtf16(c.name);
    return named->c_str();
  }
  switch (c.ordinal) {
    case 0x0080:
      return "button";
    case 0x0081:
      return "edit";
    case 0x0082:
      return "static";
    case 0x0083:
      return "list box";
    case 0x0084:
      return "scroll bar";
    case 0x0085:
      return "combo box";
  }
  *named = "#" + std::to_string(c.ordinal);
  return named->c_str();
}

std::string TextOf(const NameOrOrdinal& text) {
  if (text.is_ordinal) return "resource " + std::to_string(text.ordinal);
  return Shown(text.name);
}

constexpr uint32_t kVisible = 0x10000000;  // WS_VISIBLE

bool PrintDialog(ByteSpan data, FILE* out) {
  std::optional<DialogTemplateEx> d = DecodeDialogEx(data);
  if (!d) {
    fprintf(out, "  not an extended dialog template\n");
    return false;
  }
  std::string named;
  fprintf(out, "  caption  %s\n", Shown(d->title).c_str());
  fprintf(out, "  size     %d x %d dialog units at %d, %d\n", d->cx, d->cy,
          d->x, d->y);
  fprintf(out,
          "  style    0x%08X, extended style 0x%08X, help id %u, "
          "template version %u\n",
          d->style, d->ex_style, d->help_id, d->version);
  fprintf(out, "  menu     %s; class %s\n",
          d->menu.is_ordinal || !d->menu.name.empty() ? "yes" : "none",
          ClassName(d->window_class, &named));
  if (d->has_font) {
    fprintf(out, "  font     %s, %u points, weight %u, %s, character set %u\n",
            Shown(d->typeface).c_str(), d->point_size, d->weight,
            d->italic ? "italic" : "not italic", d->charset);
  }
  fprintf(out, "  %u controls, in tab order:\n",
          static_cast<unsigned>(d->controls.size()));
  fprintf(out, "  %7s  %-16s %-17s %-10s %s\n", "id", "class", "x, y, w, h",
          "style", "text");
  for (const DialogControl& c : d->controls) {
    char box[32];
    snprintf(box, sizeof box, "%d, %d, %d, %d", c.x, c.y, c.cx, c.cy);
    fprintf(out, "  %7d  %-16s %-17s 0x%08X %s%s\n", static_cast<int>(c.id),
            ClassName(c.window_class, &named), box, c.style,
            TextOf(c.text).c_str(), c.style & kVisible ? "" : " (hidden)");
    if (c.help_id != 0 || c.ex_style != 0 || !c.creation_data.empty()) {
      fprintf(out,
              "           help id %u, extended style 0x%08X, %u bytes of"
              " creation data\n",
              c.help_id, c.ex_style,
              static_cast<unsigned>(c.creation_data.size()));
    }
  }
  return true;
}

bool PrintBitmap(ByteSpan data, FILE* out) {
  std::optional<PackedDib> dib = DecodePackedDib(data);
  if (!dib) {
    fprintf(out, "  not a device-independent bitmap\n");
    return false;
  }
  const BitmapInfoHeader& h = dib->header;
  fprintf(out, "  %d x %d pixels, stored %s, %u bits per pixel, %u plane%s\n",
          h.width, h.height < 0 ? -h.height : h.height,
          h.height < 0 ? "top-down" : "bottom-up", h.bit_count, h.planes,
          h.planes == 1 ? "" : "s");
  fprintf(out,
          "  palette of %u colours (%u used, %u important), "
          "%d x %d pixels per metre\n",
          static_cast<unsigned>(dib->palette.size()), h.clr_used,
          h.clr_important, h.x_pels_per_meter, h.y_pels_per_meter);
  const char* compression = h.compression == 0   ? "none"
                            : h.compression == 1 ? "8-bit run-length"
                                                 : "4-bit run-length";
  fprintf(out, "  compression %u (%s), %u bytes of pixels (header says %u)\n",
          h.compression, compression, static_cast<unsigned>(dib->bits.size()),
          h.size_image);
  if (h.compression != 1 || h.bit_count != 8) return true;
  std::optional<std::vector<uint8_t>> pixels =
      DecodeRle8(dib->bits, h.width, h.height);
  if (!pixels) {
    fprintf(out, "  the run-length data does not decode\n");
    return false;
  }
  bool used[256] = {};
  for (uint8_t index : *pixels) used[index] = true;
  int colours = 0;
  for (bool u : used) colours += u;
  fprintf(out, "  decoded: %u pixels (%d x %d), %d palette colours in use\n",
          static_cast<unsigned>(pixels->size()), h.width, h.height, colours);
  return true;
}

std::string Version(uint32_t ms, uint32_t ls) {
  return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
         std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
}

bool PrintVersion(ByteSpan data, FILE* out) {
  std::optional<VersionInfo> info = DecodeVersionInfo(data);
  if (!info) {
    fprintf(out, "  not a version block\n");
    return false;
  }
  const FixedFileInfo& f = info->fixed;
  fprintf(out, "  file version %s, product version %s\n",
          Version(f.file_version_ms, f.file_version_ls).c_str(),
          Version(f.product_version_ms, f.product_version_ls).c_str());
  fprintf(out,
          "  flags 0x%X of mask 0x%X, operating system 0x%X, file type %u%s,"
          " subtype %u, date %u.%u\n",
          f.flags, f.flags_mask, f.os, f.type,
          f.type == 1   ? " (application)"
          : f.type == 2 ? " (DLL)"
                        : "",
          f.subtype, f.date_ms, f.date_ls);
  for (const VersionStringTable& table : info->string_tables) {
    fprintf(out, "  strings %s:\n", Shown(table.key).c_str());
    for (const auto& [key, value] : table.strings)
      fprintf(out, "    %-17s %s\n", AnsiFromUtf16(key).c_str(),
              Shown(value).c_str());
  }
  for (const auto& [language, code_page] : info->translations)
    fprintf(out, "  translation: language 0x%04X, code page %u\n", language,
            code_page);
  return true;
}

bool PrintManifest(ByteSpan data, FILE* out) {
  std::string text(data.begin(), data.end());
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    fprintf(out, "  | %s\n", line.c_str());
    start = end + 1;
  }
  return true;
}

struct ResourceEntry {
  WORD id;
  WORD type;
  const char* what;
  bool (*print)(ByteSpan, FILE*);
};

const ResourceEntry kResources[] = {
    {706, 5, "Dialog 706, the browser dialog", PrintDialog},
    {10100, 5, "Dialog 10100, the about box", PrintDialog},
    {110, 2, "Bitmap 110, the title picture", PrintBitmap},
    {1, 16, "Version block 1", PrintVersion},
    {2, 24, "Manifest 2", PrintManifest},
};

const char* ModuleName(HMODULE module, HMODULE edition) {
  if (module == edition) return "Pemrik";
  if (module == GetModuleHandleA(nullptr)) return "the host";
  return "another module";
}

bool PrintResource(CPemrik0& pemrik, HMODULE edition, const ResourceEntry& r,
                   FILE* out) {
  LPCSTR name = MAKEINTRESOURCEA(r.id), type = MAKEINTRESOURCEA(r.type);
  ResourceRef found = pemrik.LocateResource(name, type);
  if (found.resource == nullptr) {
    fprintf(out, "\n%s (type %u): not found\n", r.what, r.type);
    return false;
  }
  // The host owns the copy and frees it.
  HGLOBAL block = pemrik.CopyResourceData(name, type);
  const void* bytes = block != nullptr ? GlobalLock(block) : nullptr;
  if (bytes == nullptr) {
    fprintf(out, "\n%s (type %u): in %s, but not copied\n", r.what, r.type,
            ModuleName(found.module, edition));
    if (block != nullptr) GlobalFree(block);
    return false;
  }
  size_t size = GlobalSize(block);
  fprintf(out, "\n%s (type %u): in %s, %u bytes\n", r.what, r.type,
          ModuleName(found.module, edition), static_cast<unsigned>(size));
  bool printed =
      r.print(ByteSpan(static_cast<const uint8_t*>(bytes), size), out);
  GlobalUnlock(block);
  GlobalFree(block);
  return printed;
}

}  // namespace

bool PrintReport(CPemrik0& pemrik, HMODULE edition, FILE* out) {
  PrintStrings(pemrik, out);
  PrintAddresses(pemrik, out);
  bool complete = true;
  for (const ResourceEntry& r : kResources)
    complete = PrintResource(pemrik, edition, r, out) && complete;
  return complete;
}
