// The registry of the Linux build: HKEY_LOCAL_MACHINE as the Wine prefix
// stores it in system.reg ($WINEPREFIX, default ~/.wine), read only, in the
// view that a 32-bit program has of it.
//
// Wine keeps the machine's keys in memory and writes them out as text:
//
//   WINE REGISTRY Version 2
//   #arch=win64
//   [Software\\Wow6432Node\\Microsoft\\...] 1733912345
//   #time=1d9...
//   "InstallLocation"="C:\\x\\"
//   "Paths"=str(7):"C:\\a\0D:\\b\0"
//   "Data"=hex:01,02,ff
//
// Long hex data goes on in continuation lines after a trailing backslash.
//
// Each open reads that file once and keeps, with the handle, the opened key
// and the keys below it, so that the subkeys of an open key are opened
// without reading the file again. Nothing is cached between opens of keys of
// HKEY_LOCAL_MACHINE: the file changes whenever Wine saves its registry.
//
// The 32-bit view is Wine's: on a prefix marked "#arch=win64", a key that has
// a "Wow6432Node" subkey looks its other subkeys up in there (that is how
// Software\X becomes Software\Wow6432Node\X), and symbolic links (keys marked
// "#link", such as Software\Wow6432Node\Classes, which leads to
// Software\Classes\Wow6432Node) are followed to their targets as written.
#include <errno.h>
#include <fcntl.h>
#include <locale.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "utf8.h"
#include "win32.h"

namespace {

using win32::AppendUtf8;
using win32::FromSurrogates;
using win32::IsHighSurrogate;
using win32::IsLowSurrogate;

// Access rights that would change the registry; the view is read only.
constexpr REGSAM kWriteAccess =
    0x0002 /* KEY_SET_VALUE */ | 0x0004 /* KEY_CREATE_SUB_KEY */ |
    0x0020 /* KEY_CREATE_LINK */ | 0x00010000 /* DELETE */ |
    0x00040000 /* WRITE_DAC */ | 0x00080000 /* WRITE_OWNER */ |
    0x10000000 /* GENERIC_ALL */ | 0x40000000 /* GENERIC_WRITE */;

constexpr DWORD kRegLink = 6;

// Links followed in one open before it is given up as a loop.
constexpr int kMaxLinks = 16;

// The registry holds keys at most 512 levels deep. The keys read are a tree
// whose every level is freed in a nested call, so a deeper key line (which
// no Wine writes) would run the stack out.
constexpr size_t kMaxDepth = 512;

// ---- Text ------------------------------------------------------------------

constexpr char32_t kReplacement = 0xFFFD;

// The code point of the UTF-8 sequence at text[pos], advancing pos past it.
// A byte that does not begin a valid sequence is U+FFFD and is passed alone.
char32_t DecodeUtf8(std::string_view text, size_t& pos) {
  const auto byte = [&](size_t i) {
    return static_cast<unsigned char>(text[i]);
  };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  size_t length;
  char32_t c;
  char32_t min;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, c = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, c = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, c = lead & 0x07, min = 0x10000;
  } else {
    ++pos;
    return kReplacement;
  }
  if (text.size() - pos < length) {
    ++pos;
    return kReplacement;
  }
  for (size_t i = 1; i < length; ++i) {
    if ((byte(pos + i) & 0xC0) != 0x80) {
      ++pos;
      return kReplacement;
    }
    c = (c << 6) | (byte(pos + i) & 0x3F);
  }
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++pos;
    return kReplacement;
  }
  pos += length;
  return c;
}

void AppendUtf16(char32_t c, std::u16string& out) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

std::u16string Utf16FromUtf8(std::string_view text) {
  std::u16string out;
  for (size_t pos = 0; pos < text.size();) {
    AppendUtf16(DecodeUtf8(text, pos), out);
  }
  return out;
}

// The UTF-16 units of little-endian data; an odd last byte is dropped.
std::u16string Utf16FromBytes(const std::string& bytes) {
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units +=
        static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                              static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  return units;
}

// The UTF-8 text of UTF-16 units; an unpaired surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view units) {
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (IsHighSurrogate(c) && i + 1 < units.size() &&
        IsLowSurrogate(units[i + 1])) {
      c = FromSurrogates(c, units[i + 1]);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

// Key and value names match case-insensitively, unit by unit in upper case,
// as the registry compares them.
char16_t FoldUnit(char16_t c) {
  if (c < 0x80) return c >= u'a' && c <= u'z' ? c - (u'a' - u'A') : c;
  if (c >= 0xD800 && c <= 0xDFFF) return c;
  // glibc's C.UTF-8 locale carries Unicode's case mappings. Without it only
  // ASCII letters fold.
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  if (utf8 == nullptr) return c;
  const wint_t upper = towupper_l(c, utf8);
  return upper <= 0xFFFF ? static_cast<char16_t>(upper) : c;
}

std::u16string Fold(std::u16string text) {
  for (char16_t& c : text) c = FoldUnit(c);
  return text;
}

constexpr std::u16string_view kWow6432Node = u"WOW6432NODE";  // folded

// The folded components of a key path, separated by backslashes; empty
// ones are skipped, as the registry skips them.
std::vector<std::u16string> SplitPath(std::u16string_view path) {
  std::vector<std::u16string> components;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == u'\\') {
      if (i > start) {
        components.push_back(
            Fold(std::u16string(path.substr(start, i - start))));
      }
      start = i + 1;
    }
  }
  return components;
}

// ---- The keys --------------------------------------------------------------

// A value as stored.
struct Value {
  DWORD type = REG_NONE;
  std::string data;  // as stored: strings are UTF-16 (little-endian)
};

// A key with the keys below it that were read. A link ("#link") stands for
// the key that its "SymbolicLinkValue" names.
struct Key {
  bool link = false;
  // By folded name.
  std::map<std::u16string, std::shared_ptr<Key>, std::less<>> children;
  std::map<std::u16string, Value> values;

  std::shared_ptr<const Key> Child(std::u16string_view folded) const {
    const auto it = children.find(folded);
    return it == children.end() ? nullptr : it->second;
  }
};

// One component of a path to open. Components that the caller names are
// looked up in the caller's view (redirect); those of a link's target are
// taken as written.
struct Step {
  std::u16string folded;
  bool redirect;
};

// How many leading components of the key at path (folded components) are
// on the way to the key that steps name, or within it: all of them for a
// key on the way or within. A "Wow6432Node" before each component that is
// looked up in the 32-bit view is allowed for (whether one is taken is
// decided later, once the whole file is known). A key off the way can still
// show that a key on the way exists, as Software\Wow6432Node exists when
// only Software\Wow6432Node\Other is written.
size_t PlaceOf(const std::vector<std::u16string>& path,
               const std::vector<Step>& steps) {
  size_t j = 0;
  for (const Step& step : steps) {
    if (j == path.size()) return j;
    if (step.redirect && step.folded != kWow6432Node &&
        path[j] == kWow6432Node) {
      if (++j == path.size()) return j;
    }
    if (path[j] != step.folded) return j;
    ++j;
  }
  return path.size();
}

// ---- Reading system.reg ----------------------------------------------------

// Lines of a file read through a buffer, so that a line that is not wanted
// costs no memory however long it is.
class LineReader {
 public:
  explicit LineReader(int fd) : fd_(fd) {}

  // The next line, without its line end (LF or CR LF), into line, or
  // dropped when line is null. False at the end of the file or on a read
  // error.
  bool Next(std::string* line) {
    if (line != nullptr) line->clear();
    bool any = false;
    for (;;) {
      if (pos_ == end_ && !Fill()) break;
      any = true;
      const char* start = buffer_ + pos_;
      const size_t available = end_ - pos_;
      const void* newline = memchr(start, '\n', available);
      const size_t length =
          newline ? static_cast<const char*>(newline) - start : available;
      if (line != nullptr) line->append(start, length);
      pos_ += length;
      if (newline) {
        ++pos_;
        break;
      }
    }
    if (line != nullptr && !line->empty() && line->back() == '\r') {
      line->pop_back();
    }
    return any && !failed_;
  }

  // The first byte of the next line, or -1 at the end of the file.
  int Peek() {
    if (pos_ == end_ && !Fill()) return -1;
    return static_cast<unsigned char>(buffer_[pos_]);
  }

  // From the start of a line, passes over the lines before the next one
  // that starts with '[' (or the end of the file): the lines of a key that
  // is not kept, found by their brackets rather than line by line.
  void SkipToKeyLine() {
    bool line_start = true;  // pos_ is at the start of a line
    for (;;) {
      if (pos_ == end_ && !Fill()) return;
      if (line_start && buffer_[pos_] == '[') return;
      const void* found = memchr(buffer_ + pos_, '[', end_ - pos_);
      if (found == nullptr) {
        line_start = buffer_[end_ - 1] == '\n';
        pos_ = end_;
        continue;
      }
      const size_t at = static_cast<const char*>(found) - buffer_;
      if (at == pos_) {  // a bracket inside a line
        line_start = false;
        pos_ = at + 1;
        continue;
      }
      line_start = buffer_[at - 1] == '\n';
      pos_ = at;
    }
  }

  bool failed() const { return failed_; }

  bool Rewind() {
    pos_ = end_ = 0;
    return lseek(fd_, 0, SEEK_SET) == 0;
  }

 private:
  bool Fill() {
    if (failed_) return false;
    ssize_t n;
    do {
      n = read(fd_, buffer_, sizeof buffer_);
    } while (n < 0 && errno == EINTR);
    if (n < 0) failed_ = true;
    pos_ = 0;
    end_ = n > 0 ? static_cast<size_t>(n) : 0;
    return n > 0;
  }

  int fd_;
  char buffer_[1 << 16];
  size_t pos_ = 0;
  size_t end_ = 0;
  bool failed_ = false;
};

void SkipSpaces(std::string_view line, size_t& pos) {
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
}

bool OnlySpacesFrom(std::string_view line, size_t pos) {
  SkipSpaces(line, pos);
  return pos == line.size();
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A number of 1 to max_digits hex digits at line[pos]; false when there is
// none or more follow.
bool ParseHex(std::string_view line, size_t& pos, size_t max_digits,
              DWORD& value) {
  size_t digits = 0;
  value = 0;
  for (; pos < line.size() && HexDigit(line[pos]) >= 0; ++pos, ++digits) {
    if (digits == max_digits) return false;
    value = value << 4 | static_cast<DWORD>(HexDigit(line[pos]));
  }
  return digits > 0;
}

// Decodes Wine's escaped text from line[pos] up to the first unescaped
// terminator and moves pos past it: \\ \" \[ \] stand for themselves, \a \b
// \e \f \n \r \t \v for their control characters, \ooo (up to 3 octal
// digits) and \xhhhh (up to 4 hex digits) for one UTF-16 unit; other bytes
// are UTF-8. False when the line ends first.
bool DecodeText(std::string_view line, size_t& pos, char terminator,
                std::u16string& out) {
  while (pos < line.size()) {
    const char c = line[pos];
    if (c == terminator) {
      ++pos;
      return true;
    }
    if (c != '\\') {
      AppendUtf16(DecodeUtf8(line, pos), out);
      continue;
    }
    if (++pos == line.size()) return false;
    const char e = line[pos];
    static constexpr std::string_view kNamed = "abefnrtv";
    static constexpr char16_t kControls[] = {7,    8,    0x1B, 0x0C,
                                             0x0A, 0x0D, 9,    0x0B};
    if (const size_t named = kNamed.find(e); named != std::string_view::npos) {
      out += kControls[named];
      ++pos;
    } else if (e >= '0' && e <= '7') {
      unsigned unit = 0;
      for (int digits = 0; digits < 3 && pos < line.size() &&
                           line[pos] >= '0' && line[pos] <= '7';
           ++digits, ++pos) {
        unit = unit * 8 + (line[pos] - '0');
      }
      out += static_cast<char16_t>(unit);
    } else if (e == 'x' && pos + 1 < line.size() &&
               HexDigit(line[pos + 1]) >= 0) {
      ++pos;
      unsigned unit = 0;
      for (int digits = 0;
           digits < 4 && pos < line.size() && HexDigit(line[pos]) >= 0;
           ++digits, ++pos) {
        unit = unit * 16 + HexDigit(line[pos]);
      }
      out += static_cast<char16_t>(unit);
    } else {
      AppendUtf16(DecodeUtf8(line, pos), out);
    }
  }
  return false;
}

// The folded components of a key line "[Software\\Wine] 1733912345", or
// nothing when the line is malformed or names a key deeper than any.
std::optional<std::vector<std::u16string>> ParseKeyLine(std::string_view line) {
  size_t pos = 1;
  std::u16string path;
  if (!DecodeText(line, pos, ']', path)) return std::nullopt;
  // Counted before they are split, so that such a line costs no more than
  // its reading.
  size_t depth = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] != u'\\' && (i == 0 || path[i - 1] == u'\\')) ++depth;
  }
  if (depth > kMaxDepth) return std::nullopt;
  return SplitPath(path);
}

// Most keys of a large file lie off the way to the opened key, and parsing
// each of their lines whole would cost many times the file's reading. This
// places a key line from its bytes as PlaceOf places its parsed path, as
// far as the line is plain: ASCII components between "\\\\" separators.
// For a key off the way it gives the number of components on the way and,
// in *prefix_end, where in the line they end; nothing when the line is not
// that plain up to where it leaves the way, or when it is on the way or
// within the opened key (the caller then parses it whole).
std::optional<size_t> PlainOffTheWay(std::string_view line,
                                     const std::vector<Step>& steps,
                                     size_t* prefix_end) {
  size_t pos = 1;  // after '['
  // The next non-empty component as [begin, end); false when the line is
  // not plain there or the path ends.
  auto next = [&](size_t& begin, size_t& end) {
    for (;;) {
      if (pos >= line.size() || line[pos] == ']') return false;
      if (line[pos] == '\\') {
        if (pos + 1 >= line.size() || line[pos + 1] != '\\') return false;
        pos += 2;  // a separator; empty components are skipped
        continue;
      }
      break;
    }
    begin = pos;
    while (pos < line.size() && line[pos] != '\\' && line[pos] != ']') {
      if (static_cast<unsigned char>(line[pos]) >= 0x80) return false;
      ++pos;
    }
    if (pos >= line.size()) return false;  // no closing bracket
    // A backslash that is no separator starts an escape within the name.
    if (line[pos] == '\\' && (pos + 1 >= line.size() || line[pos + 1] != '\\'))
      return false;
    end = pos;
    return true;
  };
  auto same = [&](size_t begin, size_t end, std::u16string_view folded) {
    if (end - begin != folded.size()) return false;
    for (size_t i = 0; i < folded.size(); ++i) {
      if (FoldUnit(static_cast<unsigned char>(line[begin + i])) != folded[i])
        return false;
    }
    return true;
  };
  size_t on_the_way = 0;
  size_t last_end = 1;
  for (const Step& step : steps) {
    size_t begin, end;
    if (!next(begin, end)) return std::nullopt;
    if (step.redirect && step.folded != kWow6432Node &&
        same(begin, end, kWow6432Node)) {
      ++on_the_way;
      last_end = end;
      if (!next(begin, end)) return std::nullopt;
    }
    if (!same(begin, end, step.folded)) {
      *prefix_end = last_end;
      return on_the_way;
    }
    ++on_the_way;
    last_end = end;
  }
  return std::nullopt;  // within the opened key
}

// The name of a value line, "name"= or @=, leaving pos at its data.
bool ParseValueName(std::string_view line, size_t& pos, std::u16string& name) {
  pos = 1;
  if (line[0] != '@' && !DecodeText(line, pos, '"', name)) return false;
  SkipSpaces(line, pos);
  if (pos == line.size() || line[pos] != '=') return false;
  ++pos;
  SkipSpaces(line, pos);
  return true;
}

// Whether the data at line[pos] is a list of hex bytes (hex: or hex(N):),
// which may go on over continuation lines.
bool IsHexData(std::string_view line, size_t pos) {
  return line.substr(pos, 4) == "hex:" || line.substr(pos, 4) == "hex(";
}

// Whether a line of hex bytes goes on in the next line: it ends with a
// backslash, which is removed.
bool TakeContinuation(std::string& line) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) {
    line.pop_back();
  }
  if (line.empty() || line.back() != '\\') return false;
  line.pop_back();
  return true;
}

void AppendUtf16Bytes(const std::u16string& text, std::string& out) {
  for (char16_t unit : text) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
}

// The data of a value line, from line[pos]: "text", str(2):"text",
// str(7):"text", hex:bytes, hex(N):bytes, dword:hhhhhhhh.
std::optional<Value> ParseValueData(std::string_view line, size_t pos) {
  Value value;
  DWORD type = REG_SZ;
  if (line.substr(pos, 7) == "str(2):" || line.substr(pos, 7) == "str(7):") {
    type = line[pos + 4] - '0';
    pos += 7;
  }
  if (pos < line.size() && line[pos] == '"') {
    // Wine writes a string value this way only when it ends with its NUL.
    std::u16string text;
    if (!DecodeText(line, ++pos, '"', text) || !OnlySpacesFrom(line, pos)) {
      return std::nullopt;
    }
    text += u'\0';
    value.type = type;
    AppendUtf16Bytes(text, value.data);
    return value;
  }
  if (type != REG_SZ) return std::nullopt;

  if (line.substr(pos, 6) == "dword:") {
    pos += 6;
    DWORD number;
    if (!ParseHex(line, pos, 8, number) || !OnlySpacesFrom(line, pos)) {
      return std::nullopt;
    }
    value.type = REG_DWORD;
    for (int i = 0; i < 4; ++i) {
      value.data += static_cast<char>(number >> (8 * i) & 0xFF);
    }
    return value;
  }

  if (line.substr(pos, 4) == "hex:") {
    value.type = REG_BINARY;
    pos += 4;
  } else if (line.substr(pos, 4) == "hex(") {
    pos += 4;
    if (!ParseHex(line, pos, 8, value.type) || line.substr(pos, 2) != "):") {
      return std::nullopt;
    }
    pos += 2;
  } else {
    return std::nullopt;
  }
  // Bytes of one or two hex digits separated by commas; a comma may end the
  // list, as it does before a continuation.
  for (;;) {
    SkipSpaces(line, pos);
    if (pos == line.size()) return value;
    DWORD byte;
    if (!ParseHex(line, pos, 2, byte)) return std::nullopt;
    value.data += static_cast<char>(byte);
    SkipSpaces(line, pos);
    if (pos == line.size()) return value;
    if (line[pos++] != ',') return std::nullopt;
  }
}

// The keys of system.reg that an open of steps can need: those on the way
// to the key (for the view and the links) and those within it, the latter
// with their values. A link's target is kept with the link.
struct Hive {
  std::shared_ptr<Key> root = std::make_shared<Key>();
  bool win64 = false;
};

std::shared_ptr<Key> AddKey(Key& root,
                            const std::vector<std::u16string>& path) {
  Key* key = &root;
  std::shared_ptr<Key> added;
  for (const std::u16string& name : path) {
    std::shared_ptr<Key>& child = key->children[name];
    if (!child) child = std::make_shared<Key>();
    added = child;
    key = child.get();
  }
  return added;
}

// Reads system.reg for an open of steps. Nothing when the file cannot be
// read or is not Wine's registry. Whatever cannot be parsed is left out:
// a key line without its closing bracket drops that key with its values, a
// value line that does not parse drops that value.
std::optional<Hive> LoadHive(LineReader& reader,
                             const std::vector<Step>& steps) {
  std::string line;
  if (!reader.Next(&line) || line != "WINE REGISTRY Version 2") {
    return std::nullopt;
  }
  Hive hive;
  bool in_header = true;
  std::shared_ptr<Key> key;  // the key that the lines belong to, if kept
  // The bytes of the last key line off the way, up to where it left the
  // way: a line that leaves the way with the same bytes adds nothing new.
  std::string last_off_the_way;
  for (int first;;) {
    if (!in_header && !key) reader.SkipToKeyLine();
    if ((first = reader.Peek()) < 0) break;
    // Values and marks are read for the keys kept (a key on the way may
    // turn out to be a link, its mark before its values or after them),
    // and marks for the header; every other line but key lines is passed
    // over unread.
    const bool wanted = first == '[' || (first == '#' && (in_header || key)) ||
                        (key && (first == '"' || first == '@'));
    if (!reader.Next(wanted ? &line : nullptr)) break;
    if (!wanted) continue;

    if (first == '[') {
      in_header = false;
      key = nullptr;
      size_t prefix_end = 0;
      const auto off = PlainOffTheWay(line, steps, &prefix_end);
      if (off && *off == 0) continue;  // nothing of it is on the way
      if (off && line.compare(0, prefix_end, last_off_the_way) == 0) continue;
      auto path = ParseKeyLine(line);
      if (!path) continue;
      // Only a line that is a key shows its way: a malformed one may share
      // its start with the next and hide it.
      if (off) last_off_the_way.assign(line, 0, prefix_end);
      const size_t on_the_way = PlaceOf(*path, steps);
      if (on_the_way < path->size()) {
        path->resize(on_the_way);
        if (!path->empty()) AddKey(*hive.root, *path);
        continue;
      }
      key = path->empty() ? hive.root : AddKey(*hive.root, *path);
      continue;
    }
    if (first == '#') {
      if (in_header && line == "#arch=win64") hive.win64 = true;
      if (in_header && line == "#arch=win32") hive.win64 = false;
      if (key && line == "#link") key->link = true;
      continue;
    }

    std::u16string name;
    size_t pos;
    if (!ParseValueName(line, pos, name)) continue;
    if (IsHexData(line, pos)) {
      std::string more;
      bool complete = true;
      while (TakeContinuation(line)) {
        // A key line is never the rest of a value: the value is cut short
        // there, and the line starts its key, as it does where the lines of
        // a key passed over unread are skipped to the next key line.
        if (reader.Peek() == '[' || !reader.Next(&more)) {
          complete = false;  // the value ends unfinished
          break;
        }
        line += more;
      }
      if (!complete) continue;
    }
    if (auto value = ParseValueData(line, pos)) {
      key->values[Fold(std::move(name))] = std::move(*value);
    }
  }
  if (reader.failed()) return std::nullopt;
  return hive;
}

// The folded components of a link's target, which names a key of the
// machine ("\Registry\Machine\Software\Classes\AppId"). Nothing for a
// target outside the machine's keys or a link without one.
std::optional<std::vector<std::u16string>> LinkTarget(const Key& link) {
  const auto it = link.values.find(Fold(u"SymbolicLinkValue"));
  if (it == link.values.end() || it->second.type != kRegLink) {
    return std::nullopt;
  }
  const std::u16string target = Fold(Utf16FromBytes(it->second.data));
  constexpr std::u16string_view kMachine = u"\\REGISTRY\\MACHINE";
  if (target.compare(0, kMachine.size(), kMachine) != 0 ||
      (target.size() > kMachine.size() && target[kMachine.size()] != u'\\')) {
    return std::nullopt;
  }
  return SplitPath(std::u16string_view(target).substr(kMachine.size()));
}

// Where a walk through the keys ended.
struct Walk {
  enum Outcome { kFound, kMissing, kLink } outcome = kMissing;
  std::shared_ptr<const Key> key;  // kFound
  std::vector<Step> next;          // kLink: the steps to open instead
};

Walk FollowLink(const Key& link, const std::vector<Step>& steps, size_t rest) {
  Walk walk;
  const auto target = LinkTarget(link);
  if (!target) return walk;
  walk.outcome = Walk::kLink;
  for (const std::u16string& name : *target) walk.next.push_back({name, false});
  walk.next.insert(walk.next.end(), steps.begin() + rest, steps.end());
  return walk;
}

// Walks steps down from key. In the 32-bit view of a 64-bit prefix a key
// with a "Wow6432Node" subkey has its other subkeys looked up in there. A link
// on the way ends the walk with the steps to take from the root instead: its
// target, as written, and the steps after it.
Walk WalkSteps(std::shared_ptr<const Key> key, const std::vector<Step>& steps,
               bool win64) {
  for (size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    if (win64 && step.redirect && step.folded != kWow6432Node) {
      if (auto wow = key->Child(kWow6432Node)) {
        if (wow->link) return FollowLink(*wow, steps, i);
        key = std::move(wow);
      }
    }
    auto child = key->Child(step.folded);
    if (!child) return Walk{};
    if (child->link) return FollowLink(*child, steps, i + 1);
    key = std::move(child);
  }
  Walk walk;
  walk.outcome = Walk::kFound;
  walk.key = std::move(key);
  return walk;
}

// An open key: the key with the keys below it, as read when it was opened.
struct OpenKey {
  std::shared_ptr<const Key> key;
  bool win64 = false;  // the file's mark, which its subkeys are opened by
};

std::string SystemRegPath() {
  const char* prefix = getenv("WINEPREFIX");
  if (prefix != nullptr && *prefix != '\0') {
    return std::string(prefix) + "/system.reg";
  }
  const char* home = getenv("HOME");
  if (home == nullptr || *home == '\0') return "";
  return std::string(home) + "/.wine/system.reg";
}

class File {
 public:
  explicit File(const std::string& path)
      : fd_(path.empty() ? -1 : open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~File() {
    if (fd_ >= 0) close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // The descriptor of a regular file, or -1.
  int regular_fd() const {
    struct stat st;
    return fd_ >= 0 && fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) ? fd_ : -1;
  }

 private:
  int fd_;
};

// Opens the key that steps name from the root, reading system.reg once,
// and once more for each link on the way (its target may be anywhere).
LONG OpenFromRoot(std::vector<Step> steps, OpenKey& out) {
  const File file(SystemRegPath());
  if (file.regular_fd() < 0) return ERROR_FILE_NOT_FOUND;
  auto reader = std::make_unique<LineReader>(file.regular_fd());
  for (int links = 0; links <= kMaxLinks; ++links) {
    if (links > 0 && !reader->Rewind()) return ERROR_FILE_NOT_FOUND;
    std::optional<Hive> hive = LoadHive(*reader, steps);
    if (!hive) return ERROR_FILE_NOT_FOUND;
    Walk walk = WalkSteps(hive->root, steps, hive->win64);
    if (walk.outcome == Walk::kMissing) return ERROR_FILE_NOT_FOUND;
    if (walk.outcome == Walk::kFound) {
      out = {std::move(walk.key), hive->win64};
      return ERROR_SUCCESS;
    }
    steps = std::move(walk.next);
  }
  return ERROR_FILE_NOT_FOUND;
}

// The open keys by handle. A handle is the address of its OpenKey, and is
// only ever looked up here, so a stale or made-up one is found missing.
class Handles {
 public:
  HKEY Add(OpenKey key) {
    auto owned = std::make_unique<OpenKey>(std::move(key));
    const HKEY handle = reinterpret_cast<HKEY>(owned.get());
    std::lock_guard<std::mutex> lock(mutex_);
    keys_.emplace(handle, std::move(owned));
    return handle;
  }

  std::optional<OpenKey> Find(HKEY handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = keys_.find(handle);
    if (it == keys_.end()) return std::nullopt;
    return *it->second;
  }

  bool Remove(HKEY handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    return keys_.erase(handle) == 1;
  }

 private:
  std::mutex mutex_;
  std::map<HKEY, std::unique_ptr<OpenKey>> keys_;
};

Handles& OpenKeys() {
  static Handles handles;
  return handles;
}

// The steps of a subkey path, looked up in the caller's view or not.
std::vector<Step> StepsOf(const char* subkey, bool redirect) {
  std::vector<Step> steps;
  for (std::u16string& name : SplitPath(Utf16FromUtf8(subkey))) {
    steps.push_back({std::move(name), redirect});
  }
  return steps;
}

LONG OpenKeyOf(HKEY parent, LPCSTR subkey, REGSAM access, PHKEY result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (access & kWriteAccess) return ERROR_ACCESS_DENIED;
  std::optional<OpenKey> from;
  if (parent != HKEY_LOCAL_MACHINE) {
    from = OpenKeys().Find(parent);
    if (!from) return ERROR_INVALID_HANDLE;
  }
  if (subkey != nullptr && subkey[0] == '\\') return ERROR_BAD_PATHNAME;
  const bool redirect = !(access & KEY_WOW64_64KEY);
  std::vector<Step> steps = StepsOf(subkey ? subkey : "", redirect);

  if (!from) {
    // The machine's root is the predefined handle itself.
    if (steps.empty()) {
      *result = HKEY_LOCAL_MACHINE;
      return ERROR_SUCCESS;
    }
    OpenKey opened;
    const LONG status = OpenFromRoot(std::move(steps), opened);
    if (status == ERROR_SUCCESS) *result = OpenKeys().Add(std::move(opened));
    return status;
  }

  Walk walk = WalkSteps(from->key, steps, from->win64);
  if (walk.outcome == Walk::kMissing) return ERROR_FILE_NOT_FOUND;
  OpenKey opened;
  if (walk.outcome == Walk::kLink) {
    const LONG status = OpenFromRoot(std::move(walk.next), opened);
    if (status != ERROR_SUCCESS) return status;
  } else {
    opened = {std::move(walk.key), from->win64};
  }
  *result = OpenKeys().Add(std::move(opened));
  return ERROR_SUCCESS;
}

LONG QueryValueOf(HKEY handle, LPCSTR name, LPDWORD reserved, LPDWORD type,
                  LPBYTE data, LPDWORD size) {
  if (reserved != nullptr || (data != nullptr && size == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  std::optional<OpenKey> key;
  if (handle != HKEY_LOCAL_MACHINE) {
    key = OpenKeys().Find(handle);
    if (!key) return ERROR_INVALID_HANDLE;
  }
  // As on Windows: a failed query reports no type, and a size query of a
  // missing value reports size 0.
  if (type != nullptr) *type = REG_NONE;
  if (data == nullptr && size != nullptr) *size = 0;

  // The machine's root holds no values in a Wine prefix.
  if (!key) return ERROR_FILE_NOT_FOUND;
  const auto it = key->key->values.find(Fold(Utf16FromUtf8(name ? name : "")));
  if (it == key->key->values.end()) return ERROR_FILE_NOT_FOUND;
  const Value& value = it->second;

  const bool text = value.type == REG_SZ || value.type == REG_EXPAND_SZ ||
                    value.type == REG_MULTI_SZ;
  const std::string bytes =
      text ? Utf8FromUtf16(Utf16FromBytes(value.data)) : value.data;
  if (bytes.size() > 0xFFFFFFFFu) return ERROR_OUTOFMEMORY;
  const DWORD needed = static_cast<DWORD>(bytes.size());
  if (type != nullptr) *type = value.type;
  if (data != nullptr) {
    if (*size < needed) {
      *size = needed;
      return ERROR_MORE_DATA;
    }
    memcpy(data, bytes.data(), bytes.size());
    // A string stored without its NUL gets one where the buffer has room,
    // uncounted, as Windows does.
    if (text && needed < *size && (needed == 0 || bytes.back() != '\0')) {
      data[needed] = 0;
    }
  }
  if (size != nullptr) *size = needed;
  return ERROR_SUCCESS;
}

}  // namespace

// No exception leaves these: running out of memory fails the call.
LONG RegOpenKeyExA(HKEY parent, LPCSTR subkey, DWORD, REGSAM access,
                   PHKEY result) {
  try {
    return OpenKeyOf(parent, subkey, access, result);
  } catch (const std::exception&) {
    return ERROR_OUTOFMEMORY;
  }
}

LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type,
                      LPBYTE data, LPDWORD size) {
  try {
    return QueryValueOf(key, name, reserved, type, data, size);
  } catch (const std::exception&) {
    return ERROR_OUTOFMEMORY;
  }
}

LONG RegCloseKey(HKEY key) {
  // The predefined root is never closed, as on Windows.
  if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  return OpenKeys().Remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
