// The Linux profile service against a model of the file. An input makes a
// profile file (lines of the kinds an INI file holds, raw bytes, or no file)
// in one of the encodings the service keeps, then runs a series of reads,
// writes and deletes through GetPrivateProfileStringA and
// WritePrivateProfileStringA on that real file.
//
// The model predicts every read (value, count, buffer) and every byte of the
// file after each write: the one line that a write must change, the line it
// adds, or the section it appends, and nothing else. A UTF-16 file is modelled
// through its text, which a write changes the same way, and what the write put
// in passes through the conversion. After every write the folder holds the file
// and nothing else.
#include <dirent.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "win32.h"

namespace {

// ---- The model: what the service documents, for one file ------------------

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view CutAtNul(std::string_view s) {
  return s.substr(0, s.find('\0'));
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool HasLineBreak(std::string_view s) {
  return s.find_first_of("\r\n") != std::string_view::npos;
}

// UTF-8 of UTF-16 units: a high and a low surrogate side by side are one
// character, a lone surrogate is the three bytes of its value.
std::string Utf8Of(std::u16string_view units) {
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t code = units[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < units.size() &&
        units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | code >> 6);
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | code >> 12);
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | code >> 18);
      out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

// What a text becomes through a UTF-16 file and back: valid UTF-8 stays (the
// three bytes of a surrogate stand for that unit), every other byte becomes
// U+FFFD.
std::string ThroughUtf16(std::string_view text) {
  std::u16string units;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80                    ? 1
                    : lead >= 0xC2 && lead <= 0xDF ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    bool valid = length > 0 && i + length <= text.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = code << 6 | (next & 0x3F);
    }
    static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!valid || code < kLeast[length] || code > 0x10FFFF) {
      units += u'\xFFFD';
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      units += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(code);
    }
    i += length;
  }
  return Utf8Of(units);
}

bool IsUtf16(std::string_view bytes) {
  return bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF";
}

// The text of a file's bytes, as the service reads it: after a UTF-8 BOM,
// or decoded from UTF-16 (an odd last byte is no character).
std::string TextOf(const std::string& bytes) {
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
  if (!IsUtf16(bytes)) return bytes;
  const bool big_endian = bytes[0] == '\xFE';
  std::u16string units;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    units += static_cast<char16_t>(big_endian ? b0 << 8 | b1 : b1 << 8 | b0);
  }
  return Utf8Of(units);
}

// A line: its bytes up to its line end (CR LF, LF or CR), and the offset
// after that line end.
struct Line {
  size_t begin;
  size_t end;
  size_t next;
};

std::vector<Line> LinesOf(std::string_view text) {
  std::vector<Line> lines;
  size_t begin = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '\r' && text[i] != '\n') {
      ++i;
      continue;
    }
    size_t next = i + 1;
    if (text[i] == '\r' && next < text.size() && text[next] == '\n') ++next;
    lines.push_back({begin, i, next});
    begin = i = next;
  }
  if (begin < text.size()) lines.push_back({begin, text.size(), text.size()});
  return lines;
}

// What a line says. Offsets are into the whole text.
struct Meaning {
  enum Kind { kBlank, kHeader, kKey } kind = kBlank;
  std::string_view name;
  bool has_value = false;
  size_t value_begin = 0;  // the value trimmed; a key line without '='
  size_t value_end = 0;    // has an empty one at the end of its text
};

Meaning MeaningOf(std::string_view text, const Line& line) {
  Meaning m;
  size_t b = line.begin;
  size_t e = line.end;
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  if (b == e) return m;
  const std::string_view content = text.substr(b, e - b);
  const size_t close = content.rfind(']');
  if (content[0] == '[' && close != std::string_view::npos) {
    m.kind = Meaning::kHeader;
    m.name = CutAtNul(Trim(content.substr(1, close - 1)));
    return m;
  }
  m.kind = Meaning::kKey;
  const size_t equals = content.find('=');
  m.name = CutAtNul(Trim(content.substr(0, equals)));
  m.value_end = e;
  m.value_begin = e;
  if (equals != std::string_view::npos) {
    m.has_value = true;
    m.value_begin = b + equals + 1;
    while (m.value_begin < e && IsBlank(text[m.value_begin])) ++m.value_begin;
  }
  return m;
}

// Where a key of a section is, and where a new one would go.
struct Spot {
  bool section_found = false;
  std::optional<Line> key_line;
  Meaning key;
  size_t insert_at = 0;
  bool insert_after_unended_line = false;
};

// The section's lines are those after its first header up to the next
// header; the empty name names the lines before the first header. A new key
// goes after the last non-blank line among them, else after the header.
Spot SpotOf(std::string_view text, std::string_view section,
            std::string_view key) {
  const std::vector<Line> lines = LinesOf(text);
  Spot spot;
  size_t first = 0;
  if (section.empty()) {
    spot.section_found = true;
  } else {
    for (; first < lines.size(); ++first) {
      const Meaning m = MeaningOf(text, lines[first]);
      if (m.kind == Meaning::kHeader && SameName(m.name, section)) break;
    }
    if (first == lines.size()) return spot;
    spot.section_found = true;
    spot.insert_at = lines[first].next;
    spot.insert_after_unended_line = lines[first].next == lines[first].end;
    ++first;
  }
  for (size_t i = first; i < lines.size(); ++i) {
    const Meaning m = MeaningOf(text, lines[i]);
    if (m.kind == Meaning::kHeader) break;
    if (m.kind == Meaning::kBlank) continue;
    spot.insert_at = lines[i].next;
    spot.insert_after_unended_line = lines[i].next == lines[i].end;
    if (!spot.key_line && SameName(m.name, key)) {
      spot.key_line = lines[i];
      spot.key = m;
    }
  }
  return spot;
}

std::string_view StoredValue(std::string_view text, const Meaning& m) {
  return CutAtNul(text.substr(m.value_begin, m.value_end - m.value_begin));
}

struct ReadResult {
  DWORD count = 0;
  std::string text;  // what the buffer holds up to the count
};

// A read with a buffer of size bytes. file is the file's bytes, or none
// when there is no file.
ReadResult ModelRead(const std::optional<std::string>& file,
                     const char* section, const char* key,
                     const char* default_value, DWORD size) {
  std::string_view value = default_value ? default_value : "";
  while (value.size() > 1 && value.back() == ' ') value.remove_suffix(1);
  std::string text;
  if (file && section && key) {
    text = TextOf(*file);
    const Spot spot = SpotOf(text, Trim(section), Trim(key));
    if (spot.key_line && spot.key.has_value) {
      value = StoredValue(text, spot.key);
    }
  }
  ReadResult result;
  if (size == 0) return result;
  const bool quoted = value.size() >= 2 && value.front() == value.back() &&
                      (value.front() == '"' || value.front() == '\'');
  if (quoted) value = value.substr(1, value.size() - 2);
  size_t count = std::min<size_t>(value.size(), size - 1);
  // A quoted value in a buffer one byte longer than it loses its last byte.
  if (quoted && size == value.size() + 1 && count > 0) --count;
  result.count = static_cast<DWORD>(count);
  result.text = std::string(value.substr(0, count));
  return result;
}

// Whether the service takes the write at all: nothing that would break a
// line or not read back as written.
bool Accepted(const char* section, const char* key, const char* value) {
  if (!section || !key) return false;
  const std::string_view s = Trim(section);
  const std::string_view k = Trim(key);
  if (HasLineBreak(s) || HasLineBreak(k)) return false;
  if (k.find('=') != std::string_view::npos || (!k.empty() && k[0] == '['))
    return false;
  return !value || !HasLineBreak(value);
}

// The text after an accepted write of value (none: delete) to key of
// section, or none when the write leaves it as it is.
std::optional<std::string> ModelWrite(const std::string& text,
                                      std::string_view section,
                                      std::string_view key,
                                      std::optional<std::string_view> value) {
  const Spot spot = SpotOf(text, section, key);
  std::string after = text;
  if (!value) {
    if (!spot.key_line) return std::nullopt;
    after.erase(spot.key_line->begin,
                spot.key_line->next - spot.key_line->begin);
    return after;
  }
  if (spot.key_line) {
    const Meaning& m = spot.key;
    if (!m.has_value) {
      after.insert(m.value_end, "=" + std::string(*value));
      return after;
    }
    if (StoredValue(text, m) == *value) return std::nullopt;
    after.replace(m.value_begin, m.value_end - m.value_begin, *value);
    return after;
  }
  // New lines end as the first line does; CR LF in a file without one.
  std::string eol = "\r\n";
  const size_t first_end = text.find_first_of("\r\n");
  if (first_end != std::string::npos && text.compare(first_end, 2, "\r\n")) {
    eol = text.substr(first_end, 1);
  }
  const std::string line = std::string(key) + "=" + std::string(*value) + eol;
  if (spot.section_found) {
    after.insert(spot.insert_at,
                 (spot.insert_after_unended_line ? eol : "") + line);
    return after;
  }
  if (!after.empty() && after.back() != '\r' && after.back() != '\n') {
    after += eol;
  }
  after += "[" + std::string(section) + "]" + eol + line;
  return after;
}

// A value as a read returns it with a buffer large enough.
std::string ReadsAs(std::string_view stored) {
  std::string_view value = Trim(stored);
  if (value.size() >= 2 && value.front() == value.back() &&
      (value.front() == '"' || value.front() == '\''))
    value = value.substr(1, value.size() - 2);
  return std::string(value);
}

// ---- The real file ----------------------------------------------------------

std::optional<std::string> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string{std::istreambuf_iterator<char>(in),
                     std::istreambuf_iterator<char>()};
}

void SetFile(const std::string& path, const std::optional<std::string>& bytes) {
  unlink(path.c_str());
  if (!bytes) return;
  std::ofstream out(path, std::ios::binary);
  out.write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
  FUZZ_CHECK(out.good());
}

// Every entry of the folder but "." and "..".
std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  FUZZ_CHECK(dir != nullptr);
  while (const dirent* entry = readdir(dir)) {
    if (strcmp(entry->d_name, ".") && strcmp(entry->d_name, ".."))
      names.push_back(entry->d_name);
  }
  closedir(dir);
  return names;
}

// A read through the service with a buffer of exactly size bytes, so that
// AddressSanitizer sees any byte written past it. A buffer of size 0 must
// stay as it was.
ReadResult RealRead(const char* section, const char* key,
                    const char* default_value, DWORD size,
                    const std::string& path) {
  const size_t bytes = size == 0 ? 1 : size;
  std::unique_ptr<char[]> buffer(new char[bytes]);
  memset(buffer.get(), '#', bytes);
  ReadResult result;
  result.count = GetPrivateProfileStringA(section, key, default_value,
                                          buffer.get(), size, path.c_str());
  if (size == 0) {
    FUZZ_CHECK_EQ(0u, result.count);
    FUZZ_CHECK_EQ('#', buffer[0]);
    return result;
  }
  FUZZ_CHECK(result.count < size);
  FUZZ_CHECK_EQ('\0', buffer[result.count]);
  result.text.assign(buffer.get(), result.count);
  return result;
}

// ---- Inputs -----------------------------------------------------------------

// Names a write or read may use: different spellings of the same name,
// names that need trimming, and names the service must refuse.
const char* const kSections[] = {
    "S", "s",  " S\t", "T",  "SEARCHDEF-YouTube", "searchdef-YOUTUBE",
    "",  "[x", "a]b",  "S\n"};
const char* const kKeys[] = {"k",  "K", " k\t", "query/url", "Query/URL", "x",
                             ";c", "",  "[k",   "a=b",       "k\r"};
constexpr size_t kSectionCount = sizeof kSections / sizeof kSections[0];
constexpr size_t kKeyCount = sizeof kKeys / sizeof kKeys[0];

std::string NameFrom(FuzzInput& in, const char* const* names, size_t count) {
  const size_t pick = in.Below(count + 1);
  if (pick < count) return names[pick];
  return std::string(CutAtNul(in.Bytes(6)));  // any bytes at all
}

std::string Blanks(FuzzInput& in) {
  static const char* const kBlanks[] = {"", "", " ", "\t", "  ", " \v\f"};
  return kBlanks[in.Below(6)];
}

// A value of the characters that mean something to the file's syntax and
// of bytes at the edges of UTF-8 (lead bytes of every length, the first and
// last continuation byte, bytes that never occur), or a long one near the
// sizes where a read must grow its buffer.
std::string ValueText(FuzzInput& in) {
  static constexpr std::string_view kChars =
      "abAB \"'=;[]#/\t"
      "\x80\xBF\xC0\xC1\xC2\xDF\xE0\xED\xEF\xF0\xF4\xF5\xFF";
  const size_t length = in.Below(12);
  if (length == 11) return std::string(248 + in.Below(12), 'v');
  std::string value;
  for (size_t i = 0; i < length; ++i) value += kChars[in.Below(kChars.size())];
  return value;
}

std::string LineEnd(FuzzInput& in) {
  static const char* const kEnds[] = {"\r\n", "\n", "\r", "\r\n"};
  return kEnds[in.Below(4)];
}

// A file of lines an INI file holds: headers (with blanks and trailing
// text), key lines, keys without '=', comments and blank lines, ending in
// any of the three line ends, the last one maybe in none.
// Each choice is a statement of its own: the order in which the operands of
// one expression are evaluated is unspecified, and an input must mean the
// same to every compiler.
std::string MadeFile(FuzzInput& in) {
  std::string text;
  const size_t count = in.Below(16);
  for (size_t i = 0; i < count; ++i) {
    std::string line = Blanks(in);
    switch (in.Below(8)) {
      case 0:
      case 1:
        line += "[";
        line += Blanks(in);
        line += NameFrom(in, kSections, kSectionCount);
        line += Blanks(in);
        line += "]";
        if (in.Below(4) == 0) line += " x";
        break;
      case 2:
      case 3:
      case 4:
        line += NameFrom(in, kKeys, kKeyCount);
        line += Blanks(in);
        line += "=";
        line += Blanks(in);
        line += ValueText(in);
        break;
      case 5:
        line += NameFrom(in, kKeys, kKeyCount);
        break;
      case 6:
        line += ";" + ValueText(in);
        break;
      default:
        break;
    }
    line += Blanks(in);
    text += line + (i + 1 == count && in.Flag() ? "" : LineEnd(in));
  }
  return text;
}

// ASCII text in the encoding chosen: as it is, after a UTF-8 BOM, or in
// UTF-16 either way round with its BOM.
std::string Encoded(const std::string& text, size_t encoding) {
  if (encoding == 1) return "\xEF\xBB\xBF" + text;
  if (encoding < 2) return text;
  const bool big_endian = encoding == 3;
  std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : text) {
    bytes += big_endian ? '\0' : c;
    bytes += big_endian ? c : '\0';
  }
  return bytes;
}

std::optional<std::string> InitialFile(FuzzInput& in) {
  switch (in.Below(4)) {
    case 0:
      return std::nullopt;
    case 1:
      return in.Bytes(1024);
    default: {
      const size_t encoding = in.Below(4);
      return Encoded(MadeFile(in), encoding);
    }
  }
}

std::string Value(FuzzInput& in) {
  static const char* const kValues[] = {
      "  leading", "trailing  ", "\"quoted\"", "'q'",        "\"",
      "",          " ",          "a\r\nb",     "caf\xC3\xA9"};
  switch (in.Below(3)) {
    case 0:
      return ValueText(in);
    case 1:
      return std::string(CutAtNul(in.Bytes(12)));
    default:
      return kValues[in.Below(sizeof kValues / sizeof kValues[0])];
  }
}

// ---- The checks -------------------------------------------------------------

class Run {
 public:
  explicit Run(const std::string& folder)
      : folder_(folder), path_(folder + "/search.ini") {}

  void Start(const std::optional<std::string>& bytes) { SetFile(path_, bytes); }

  void Read(FuzzInput& in) {
    const std::string section = NameFrom(in, kSections, kSectionCount);
    const std::string key = NameFrom(in, kKeys, kKeyCount);
    static const char* const kDefaults[] = {"",      "d", "dflt  ",
                                            "\"q\"", " ", "'"};
    const char* default_value = kDefaults[in.Below(6)];
    const std::optional<std::string> file = FileBytes(path_);
    // The value's length decides which buffer sizes are interesting.
    const size_t length =
        ModelRead(file, section.c_str(), key.c_str(), default_value, 1 << 20)
            .count;
    DWORD size = 0;
    switch (in.Below(6)) {
      case 0:
        size = static_cast<DWORD>(in.Below(4));
        break;
      case 1:
      case 2:  // length - 1 to length + 2
        size = static_cast<DWORD>(length + in.Below(4));
        if (length > 0) --size;
        break;
      case 3:
        size = 4096;
        break;
      default:
        size = static_cast<DWORD>(in.Below(300));
        break;
    }
    const ReadResult real =
        RealRead(section.c_str(), key.c_str(), default_value, size, path_);
    const ReadResult expected =
        ModelRead(file, section.c_str(), key.c_str(), default_value, size);
    FUZZ_CHECK_EQ(expected.count, real.count);
    FUZZ_CHECK_EQ(expected.text, real.text);
  }

  // A write of value, or a delete; with a null section or key when asked.
  void Write(FuzzInput& in, bool with_value, bool null_name) {
    const std::string section = NameFrom(in, kSections, kSectionCount);
    const std::string key = NameFrom(in, kKeys, kKeyCount);
    const std::string value = with_value ? Value(in) : "";
    const bool null_section = null_name && in.Flag();
    const char* section_arg = null_section ? nullptr : section.c_str();
    const char* key_arg = null_name && !null_section ? nullptr : key.c_str();
    const char* value_arg = with_value ? value.c_str() : nullptr;

    const std::optional<std::string> before = FileBytes(path_);
    const bool accepted = Accepted(section_arg, key_arg, value_arg);
    const BOOL result = WritePrivateProfileStringA(section_arg, key_arg,
                                                   value_arg, path_.c_str());
    FUZZ_CHECK_EQ(accepted, result == TRUE);
    const std::optional<std::string> after = FileBytes(path_);
    // Never a temporary file left behind, never a file made for nothing.
    FUZZ_CHECK_EQ(after ? 1u : 0u, FolderEntries(folder_).size());
    if (!accepted) {
      FUZZ_CHECK(before == after);
      return;
    }

    const std::string_view s = Trim(section);
    const std::string_view k = Trim(key);
    std::optional<std::string_view> stored;
    if (value_arg) stored = TrimLeft(value);
    const std::string text_before = TextOf(before.value_or(""));
    const std::optional<std::string> edited =
        ModelWrite(text_before, s, k, stored);
    if (!edited) {
      FUZZ_CHECK(before == after);  // not touched at all
    } else if (before && IsUtf16(*before)) {
      // Whatever the edit put in passes through UTF-16; the BOM and an odd
      // last byte stay.
      FUZZ_CHECK(after.has_value());
      FUZZ_CHECK_EQ(before->substr(0, 2), after->substr(0, 2));
      FUZZ_CHECK_EQ(before->size() % 2, after->size() % 2);
      if (before->size() % 2) FUZZ_CHECK_EQ(before->back(), after->back());
      FUZZ_CHECK_EQ(ThroughUtf16(*edited), TextOf(*after));
    } else {
      const std::string bom =
          before && before->compare(0, 3, "\xEF\xBB\xBF") == 0 ? "\xEF\xBB\xBF"
                                                               : "";
      FUZZ_CHECK(after.has_value());
      FUZZ_CHECK_EQ(bom + *edited, *after);
    }
    if (!stored) return;
    // The value reads back as written; through UTF-16 as the conversion
    // leaves it, by names that the conversion leaves alone.
    std::string expected_value = ReadsAs(*stored);
    if (after && IsUtf16(*after)) {
      if (ThroughUtf16(s) != s || ThroughUtf16(k) != k) return;
      expected_value = ReadsAs(ThroughUtf16(*stored));
    }
    // Room for the whole value: two bytes more than it (a quoted one needs
    // them), and one more, so that a longer answer shows.
    const DWORD room = static_cast<DWORD>(expected_value.size() + 3);
    FUZZ_CHECK_EQ(
        expected_value,
        RealRead(section.c_str(), key.c_str(), "-", room, path_).text);
  }

 private:
  std::string folder_;
  std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  Run run(ProcessFolder("profile_fuzz"));
  run.Start(InitialFile(in));
  for (int op = 0; op < 16 && !in.empty(); ++op) {
    switch (in.Below(10)) {
      case 0:
      case 1:
      case 2:
      case 3:
        run.Read(in);
        break;
      case 4:
      case 5:
      case 6:
      case 7:
        run.Write(in, true, false);
        break;
      case 8:
        run.Write(in, false, false);
        break;
      default:
        run.Write(in, in.Flag(), true);
        break;
    }
  }
  return 0;
}
