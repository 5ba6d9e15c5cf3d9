// Profile (INI) files: GetPrivateProfileStringA and WritePrivateProfileStringA
// as the host application sees them under Wine, plus the safety that a file
// shared with a running program needs.
//
// Reading. A line ends at CR LF, LF or a lone CR. It is trimmed of blanks
// (space, TAB, VT, FF; nothing else). A line that then starts with '[' and
// holds a ']' is a section header: the name is the text between the '[' and
// the last ']', trimmed; text after that ']' is ignored. Any other non-blank
// line is a key line: the key is the text before the first '=', the value the
// text after it, both trimmed. A line without '=' is a key without a value: it
// reads as missing, yet hides a later line of the same key. Names compare
// case-insensitively in ASCII only, and the requested names are trimmed too.
// A name or value ends at a NUL byte; the rest of that line is ignored. The
// lines before the first header form a section with the empty name, which
// hides every later "[]" section. Only the first section of a name and its
// first line of a key count. ';' starts no comment of its own: "; x=y" is the
// key "; x", which no ordinary request names. A value of two or more bytes
// whose first and last bytes are the same quote (" or ') is returned without
// them, and then a buffer one byte longer than the value gets one byte less
// than would fit: callers therefore treat a count of size - 2 as possibly cut.
// A value longer than the buffer is cut to size - 1 bytes. A missing file,
// section or key gives the default with its trailing spaces trimmed (its
// first byte always stays) and its quotes treated as a value's; an empty
// value is no missing value. Encoding: no BOM, the bytes as they are (UTF-8
// is the ANSI code page here); a UTF-8 BOM is skipped; a file with a UTF-16
// BOM (either order) is read as UTF-16 and reaches the caller as UTF-8.
// Nothing is cached: every call reads the file as it is now. Only a regular
// file is read; a folder, FIFO or device reads as missing and never blocks.
// A file without the owner's read permission is unreadable, even for root,
// just as one without the owner's write permission is read-only: it reads
// as missing, and a write, which could not keep what it cannot read, fails.
//
// Writing changes only the bytes it must. An existing key gets the new value
// in place of its old one on its own line, keeping the key's spelling and the
// blanks around '='; a key without a value gets "=value". A new key goes on a
// line after the last non-blank line of its section; a missing section is
// appended at the end of the file as "[section]" and "key=value" lines; a
// missing file is created holding just those. A null value deletes the key's
// line. New lines end as the file's first line does (CR LF in a new file).
// Leading blanks of the value are not stored. A write whose value equals the
// stored one (trimmed, quotes kept), or that deletes a key that is not there,
// succeeds without touching the file. The file keeps its BOM and encoding.
// Refused (FALSE) rather than written: a line break in a name or value, and a
// key containing '=' or starting with '[', none of which would read back as
// written.
//
// Safety. A changed file is written to a temporary file in the same folder,
// synced and renamed over the old one, so that a reader or a crash sees the
// old file or the new, never half of one (the folder is not synced: a crash
// may undo the last changes, but never mixes old and new); it keeps the old
// file's mode, and its owner and group where the process may set them (a new
// file gets 0666 & ~umask). Through a symbolic link the file it points to is
// replaced and the link kept. Writers lock the folder (flock on the folder
// itself, so no lock file is left behind) for their read-modify-write, so
// concurrent writers lose no update. A file without the owner's write
// permission is read-only, even for root, as under Wine; such a write fails and
// the file stays untouched. A write fails when the folder is missing or takes
// no new file, and when the name is a folder, FIFO or device. A write that the
// disk or the process's file-size limit cuts short fails and leaves the old
// file; the limit's signal does not end the process. A writer killed before
// its rename leaves its temporary file; the next write in the folder removes
// it. A process that holds the folder already, as an editor holding its
// file for a whole patch does (a lock of the file, files.cpp), does not wait
// for itself.
//
// Only what the components call is provided: reads and writes of one key of
// a named section. A null section or key (the listing of names, deleting a
// whole section) gives the default or FALSE.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "folder_lock.h"
#include "unix_path.h"
#include "utf8.h"
#include "win32.h"

namespace {

using win32::AppendUtf8;
using win32::FromSurrogates;
using win32::IsHighSurrogate;
using win32::IsLowSurrogate;

// ---- Text -----------------------------------------------------------------

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view Trim(std::string_view s) {
  s = TrimLeft(s);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view UpToNul(std::string_view s) {
  return s.substr(0, s.find('\0'));
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// ---- Encodings ------------------------------------------------------------

enum class Encoding { kBytes, kUtf8Bom, kUtf16Le, kUtf16Be };

// A profile file as text: its content after the BOM, in UTF-8 for a UTF-16
// file, and what it takes to write the same bytes back.
struct ProfileText {
  Encoding encoding = Encoding::kBytes;
  std::string text;
  std::string odd_byte;  // a UTF-16 file's odd last byte, kept as it was
};

// A lone surrogate becomes the three bytes of its value, so that text which
// a write does not change turns back into the same code units.
std::string Utf16ToUtf8(std::string_view bytes, bool big_endian) {
  auto unit = [&](size_t i) -> unsigned {
    auto b0 = static_cast<unsigned char>(bytes[i]);
    auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    return big_endian ? (b0 << 8 | b1) : (b1 << 8 | b0);
  };
  std::string out;
  const size_t count = bytes.size() / 2;
  for (size_t i = 0; i < count; ++i) {
    char32_t code = unit(2 * i);
    if (IsHighSurrogate(code) && i + 1 < count &&
        IsLowSurrogate(unit(2 * i + 2))) {
      code = FromSurrogates(code, unit(2 * i + 2));
      ++i;
    }
    AppendUtf8(out, code);
  }
  return out;
}

// The code point of the UTF-8 sequence at text[i] and its length; 0 when
// the bytes there are no such sequence. An overlong form is none: C0 8A
// would otherwise put a line break, and C0 80 a NUL, into a UTF-16 file
// behind the check for line breaks. (A surrogate's three bytes stand for
// that unit, so that a lone one read from a UTF-16 file goes back as it was.)
size_t NextCodePoint(std::string_view text, size_t i, unsigned& code) {
  const auto lead = static_cast<unsigned char>(text[i]);
  size_t length = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = code << 6 | (next & 0x3F);
  }
  static const unsigned kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  return code >= kLeast[length] && code <= 0x10FFFF ? length : 0;
}

// Bytes that are not UTF-8 (only a caller's value can hold them) become
// U+FFFD, as the platform substitutes what a code page cannot convert.
std::string Utf8ToUtf16(std::string_view text, bool big_endian) {
  std::string out;
  auto put = [&](unsigned unit) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    out += big_endian ? high : low;
    out += big_endian ? low : high;
  };
  for (size_t i = 0; i < text.size();) {
    unsigned code = 0;
    const size_t length = NextCodePoint(text, i, code);
    if (length == 0) {
      put(0xFFFD);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      put(0xD800 + ((code - 0x10000) >> 10));
      put(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      put(code);
    }
    i += length;
  }
  return out;
}

ProfileText Decode(std::string_view bytes) {
  ProfileText file;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    file.encoding = Encoding::kUtf8Bom;
    file.text = bytes.substr(3);
  } else if (bytes.substr(0, 2) == "\xFF\xFE" ||
             bytes.substr(0, 2) == "\xFE\xFF") {
    bool big_endian = bytes[0] == '\xFE';
    file.encoding = big_endian ? Encoding::kUtf16Be : Encoding::kUtf16Le;
    std::string_view units = bytes.substr(2);
    if (units.size() % 2) file.odd_byte = units.substr(units.size() - 1);
    file.text = Utf16ToUtf8(units, big_endian);
  } else {
    file.text = bytes;
  }
  return file;
}

std::string Encode(const ProfileText& file) {
  switch (file.encoding) {
    case Encoding::kBytes:
      return file.text;
    case Encoding::kUtf8Bom:
      return "\xEF\xBB\xBF" + file.text;
    case Encoding::kUtf16Le:
      return "\xFF\xFE" + Utf8ToUtf16(file.text, false) + file.odd_byte;
    case Encoding::kUtf16Be:
      return "\xFE\xFF" + Utf8ToUtf16(file.text, true) + file.odd_byte;
  }
  return file.text;
}

// ---- Lines and what they mean ---------------------------------------------

struct Line {
  size_t begin;  // first byte of the line
  size_t end;    // end of its text: its line end, or the end of the file
  size_t next;   // first byte after its line end
};

// The first CR or LF at or after pos, or npos. (find_first_of would look
// each byte up in the set with a call of its own; two searches for one byte
// each are many times faster.)
size_t FindLineEnd(std::string_view text, size_t pos) {
  if (pos >= text.size()) return std::string_view::npos;
  const char* start = text.data() + pos;
  const size_t rest = text.size() - pos;
  const void* lf = memchr(start, '\n', rest);
  const size_t before_lf =
      lf ? static_cast<size_t>(static_cast<const char*>(lf) - start) : rest;
  const void* cr = memchr(start, '\r', before_lf);
  if (cr) return pos + (static_cast<const char*>(cr) - start);
  return lf ? pos + before_lf : std::string_view::npos;
}

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = FindLineEnd(text, pos);
    if (end == std::string_view::npos) {
      lines.push_back({pos, text.size(), text.size()});
      break;
    }
    size_t next = end + 1;
    if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
    lines.push_back({pos, end, next});
    pos = next;
  }
  return lines;
}

// The line end that new lines get: the file's first one, CR LF in a file
// that has none.
std::string_view LineEndOf(std::string_view text) {
  size_t end = FindLineEnd(text, 0);
  if (end == std::string_view::npos) return "\r\n";
  if (text.substr(end, 2) == "\r\n") return "\r\n";
  return text.substr(end, 1);
}

struct Entry {
  enum Kind { kBlank, kHeader, kKey } kind = kBlank;
  std::string_view name;   // section or key name, up to a NUL
  bool has_value = false;  // a key line with '='
  size_t value_begin = 0;  // the value's bytes (offsets into the text),
  size_t value_end = 0;    // trimmed; for a key without '=' the end of the key
};

Entry ParseLine(std::string_view text, const Line& line) {
  Entry entry;
  const std::string_view whole = text.substr(line.begin, line.end - line.begin);
  const std::string_view content = Trim(whole);
  if (content.empty()) return entry;
  const size_t begin = line.begin + (content.data() - whole.data());
  const size_t end = begin + content.size();
  const size_t close = content.rfind(']');
  if (content.front() == '[' && close != std::string_view::npos) {
    entry.kind = Entry::kHeader;
    entry.name = UpToNul(Trim(content.substr(1, close - 1)));
    return entry;
  }
  entry.kind = Entry::kKey;
  const size_t equals = content.find('=');
  if (equals == std::string_view::npos) {
    entry.name = UpToNul(content);
    entry.value_begin = entry.value_end = end;
    return entry;
  }
  entry.name = UpToNul(Trim(content.substr(0, equals)));
  entry.has_value = true;
  // The content ends in a non-blank byte, so only the value's front needs
  // trimming.
  std::string_view value = TrimLeft(content.substr(equals + 1));
  entry.value_begin = end - value.size();
  entry.value_end = end;
  return entry;
}

std::string_view ValueOf(std::string_view text, const Entry& entry) {
  return UpToNul(
      text.substr(entry.value_begin, entry.value_end - entry.value_begin));
}

// Where a key of a section is, or where it would go.
struct Place {
  bool section_found = false;
  size_t insert_at = 0;  // after the section's last non-blank line
  bool insert_needs_line_end = false;  // that line is the last, unended one
  std::optional<Line> key_line;
  Entry key;
};

Place Find(std::string_view text, const std::vector<Line>& lines,
           std::string_view section, std::string_view key) {
  Place place;
  // The lines before the first header form a section of their own.
  bool inside = NamesEqual(section, "");
  place.section_found = inside;
  for (const Line& line : lines) {
    // Outside the section only a header matters, and a header starts with
    // '[': most lines of a large file are passed over at their first byte.
    if (!inside) {
      size_t first = line.begin;
      while (first < line.end && IsBlank(text[first])) ++first;
      if (first == line.end || text[first] != '[') continue;
    }
    const Entry entry = ParseLine(text, line);
    if (entry.kind == Entry::kBlank) continue;
    if (entry.kind == Entry::kHeader) {
      if (place.section_found) break;  // only the first copy counts
      inside = place.section_found = NamesEqual(section, entry.name);
    } else if (inside && !place.key_line && NamesEqual(key, entry.name)) {
      place.key_line = line;
      place.key = entry;
    }
    if (!inside) continue;
    // A new key goes after the section's last non-blank line or its header.
    place.insert_at = line.next;
    place.insert_needs_line_end = line.next == line.end;
  }
  return place;
}

// Applies a write to the text. False when the text stays as it is.
bool Edit(std::string& text, std::string_view section, std::string_view key,
          std::optional<std::string_view> value) {
  const std::vector<Line> lines = SplitLines(text);
  const Place place = Find(text, lines, section, key);
  if (!value) {
    if (!place.key_line) return false;
    text.erase(place.key_line->begin,
               place.key_line->next - place.key_line->begin);
    return true;
  }
  if (place.key_line) {
    const Entry& entry = place.key;
    if (!entry.has_value) {
      text.insert(entry.value_end, "=" + std::string(*value));
      return true;
    }
    if (ValueOf(text, entry) == *value) return false;
    text.replace(entry.value_begin, entry.value_end - entry.value_begin,
                 *value);
    return true;
  }
  const std::string eol(LineEndOf(text));
  const std::string key_line = std::string(key) + "=" + std::string(*value);
  if (place.section_found) {
    text.insert(place.insert_at,
                (place.insert_needs_line_end ? eol : "") + key_line + eol);
    return true;
  }
  if (!text.empty() && text.back() != '\n' && text.back() != '\r') text += eol;
  text += "[" + std::string(section) + "]" + eol + key_line + eol;
  return true;
}

// Names and values that would not read back as written, or would break the
// file's lines, are not written.
bool Writable(std::string_view section, std::string_view key,
              std::optional<std::string_view> value) {
  auto breaks_line = [](std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
  };
  if (breaks_line(section) || breaks_line(key)) return false;
  if (key.find('=') != std::string_view::npos) return false;
  if (!key.empty() && key.front() == '[') return false;
  return !value || !breaks_line(*value);
}

// ---- Reading the buffer ---------------------------------------------------

// The default as the platform treats it: trailing spaces go, but never its
// first byte.
std::string_view DefaultValue(const char* text) {
  std::string_view value = text ? text : "";
  while (value.size() > 1 && value.back() == ' ') value.remove_suffix(1);
  return value;
}

DWORD CopyOut(std::string_view value, char* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  const bool quoted = value.size() >= 2 &&
                      (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  if (quoted) value = value.substr(1, value.size() - 2);
  size_t count = value.size() < size - 1 ? value.size() : size - 1;
  // The platform's quirk: a quoted value in a buffer just one byte longer
  // than the value loses its last byte. Callers rely on this margin.
  if (quoted && size == value.size() + 1 && count > 0) count = value.size() - 1;
  memcpy(buffer, value.data(), count);
  buffer[count] = '\0';
  return static_cast<DWORD>(count);
}

// ---- Files ----------------------------------------------------------------

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  bool Close() {
    if (fd_ < 0) return true;
    int result = close(fd_);
    fd_ = -1;
    return result == 0;
  }

 private:
  int fd_;
};

bool ReadAll(int fd, std::string& out) {
  char chunk[65536];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n == 0) return true;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    out.append(chunk, static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// The content of a regular file; none for anything else, which is never
// opened, so a FIFO or device cannot block or be disturbed.
std::optional<std::string> ReadRegularFile(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
      !(st.st_mode & S_IRUSR)) {
    return std::nullopt;
  }
  Fd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  std::string bytes;
  if (!fd.ok() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      !ReadAll(fd.get(), bytes)) {
    return std::nullopt;
  }
  return bytes;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The file that path names once symbolic links in its last component are
// followed (it may not exist yet); empty for a loop of links.
std::string FollowLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char target[PATH_MAX];
    ssize_t n = readlink(path.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof target) return "";
    std::string next(target, static_cast<size_t>(n));
    path = next.front() == '/' ? next : FolderOf(path) + "/" + next;
  }
  return "";
}

// Temporary files are named ".profile-PID-N.tmp": the writer's process and
// its attempt. The host application, which looks for its file by name,
// never takes one for the profile.
std::string TemporaryName(pid_t pid, int attempt) {
  return ".profile-" + std::to_string(pid) + "-" + std::to_string(attempt) +
         ".tmp";
}

// The process that made a temporary file of that name, or 0.
pid_t TemporaryOwner(const char* name) {
  unsigned long pid = 0;
  unsigned attempt = 0;
  int end = 0;
  if (sscanf(name, ".profile-%9lu-%3u.tmp%n", &pid, &attempt, &end) != 2 ||
      end == 0 || name[end] != '\0' || pid == 0 || pid > INT_MAX) {
    return 0;
  }
  // Exactly as made: no sign, blank or leading zero.
  const auto owner = static_cast<pid_t>(pid);
  return name == TemporaryName(owner, static_cast<int>(attempt)) ? owner : 0;
}

// A writer killed between making its temporary file and the rename leaves
// that file behind. Only a writer that holds the folder has one, so under
// the hold every temporary file of another process is such a leftover, and
// the next write in the folder removes it. Those of this process may
// belong to a write of another of its threads.
void RemoveLeftoverTemporaries(int folder) {
  const int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    close(fd);
    return;
  }
  std::vector<std::string> leftovers;
  while (const dirent* entry = readdir(dir)) {
    const pid_t owner = TemporaryOwner(entry->d_name);
    if (owner != 0 && owner != getpid()) leftovers.push_back(entry->d_name);
  }
  closedir(dir);
  for (const std::string& name : leftovers) unlinkat(folder, name.c_str(), 0);
}

// A new file in the folder that nobody else has opened.
int CreateTemporary(int folder, mode_t mode, std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = TemporaryName(getpid(), attempt);
    int fd = openat(folder, name.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// A write past the process's file-size limit (RLIMIT_FSIZE) raises SIGXFSZ,
// whose default action ends the process: a program would die in the middle
// of a run instead of learning that its write failed. While the guard
// lives, the signal is blocked, so such a write fails with EFBIG; a signal
// that the guarded writes raised is then taken back, while one that was
// pending before stays pending. The process's signal actions are not
// touched: they belong to the program.
class FileSizeSignalGuard {
 public:
  FileSizeSignalGuard() {
    sigemptyset(&xfsz_);
    sigaddset(&xfsz_, SIGXFSZ);
    pthread_sigmask(SIG_BLOCK, &xfsz_, &old_mask_);
    sigset_t pending;
    was_pending_ = sigpending(&pending) == 0 && sigismember(&pending, SIGXFSZ);
  }
  ~FileSizeSignalGuard() {
    sigset_t pending;
    if (!was_pending_ && sigpending(&pending) == 0 &&
        sigismember(&pending, SIGXFSZ)) {
      const struct timespec now = {0, 0};
      sigtimedwait(&xfsz_, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
  }
  FileSizeSignalGuard(const FileSizeSignalGuard&) = delete;
  FileSizeSignalGuard& operator=(const FileSizeSignalGuard&) = delete;

 private:
  sigset_t xfsz_;
  sigset_t old_mask_;
  bool was_pending_ = false;
};

// Replaces the file name in the folder with bytes: all of them or none.
bool ReplaceFile(int folder, const std::string& name, std::string_view bytes,
                 const struct stat* old) {
  const FileSizeSignalGuard no_signal_for_large_files;
  RemoveLeftoverTemporaries(folder);
  std::string temporary;
  Fd fd(CreateTemporary(folder, old ? 0600 : 0666, temporary));
  if (!fd.ok()) return false;
  bool ok = true;
  if (old) {
    // Owner first: changing it may clear the set-id bits that the mode sets.
    if (fchown(fd.get(), old->st_uid, old->st_gid) != 0 &&
        fchown(fd.get(), static_cast<uid_t>(-1), old->st_gid) != 0) {
      // Not allowed to give the file away: it stays the writer's.
    }
    ok = fchmod(fd.get(), old->st_mode & 07777) == 0;
  }
  ok = ok && WriteAll(fd.get(), bytes) && fsync(fd.get()) == 0;
  ok = fd.Close() && ok;
  ok = ok && renameat(folder, temporary.c_str(), folder, name.c_str()) == 0;
  if (!ok) {
    unlinkat(folder, temporary.c_str(), 0);
    return false;
  }
  // The folder is not synced. The promise is that a crash leaves the old
  // file or the new one, never half of one: that takes the new file's bytes
  // on the disk before the rename (the fsync above), while a rename that a
  // crash loses leaves the old file whole. Syncing the folder would only
  // make the change itself survive a crash sooner, at the cost of another
  // flush of the disk for every key written.
  return true;
}

bool WriteProfile(const std::string& path, std::string_view section,
                  std::string_view key, std::optional<std::string_view> value) {
  const std::string target = FollowLinks(path);
  const size_t slash = target.rfind('/');
  const std::string name =
      slash == std::string::npos ? target : target.substr(slash + 1);
  if (name.empty()) return false;
  Fd folder(open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.ok()) return false;
  // Writers take turns over the whole read-modify-write. Readers need no
  // lock: a file is only ever replaced whole.
  const win32::FolderLock lock(folder.get());
  if (!lock.held()) return false;
  struct stat st;
  std::string bytes;
  const bool exists =
      fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists) {
    if (!S_ISREG(st.st_mode)) return false;
    // Without the owner's read bit the file is unreadable, and without the
    // write bit read-only, for root too.
    if (!(st.st_mode & S_IRUSR) || !(st.st_mode & S_IWUSR) ||
        faccessat(folder.get(), name.c_str(), W_OK, AT_EACCESS) != 0) {
      return false;
    }
    Fd fd(openat(folder.get(), name.c_str(),
                 O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!fd.ok() || !ReadAll(fd.get(), bytes)) return false;
  } else if (errno != ENOENT) {
    return false;
  }
  ProfileText file = Decode(bytes);
  if (!Edit(file.text, section, key, value)) return true;
  return ReplaceFile(folder.get(), name, Encode(file), exists ? &st : nullptr);
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value,
                               LPSTR buffer, DWORD size, LPCSTR file) {
  std::string_view value = DefaultValue(default_value);
  std::optional<std::string> text;
  if (section && key && file) {
    text = ReadRegularFile(win32::UnixPath(file));
  }
  if (text) {
    ProfileText decoded = Decode(*text);
    text = std::move(decoded.text);
    const Place place =
        Find(*text, SplitLines(*text), Trim(section), Trim(key));
    if (place.key_line && place.key.has_value) {
      value = ValueOf(*text, place.key);
    }
  }
  return CopyOut(value, buffer, size);
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value,
                                LPCSTR file) {
  if (!section || !key || !file) return FALSE;
  std::optional<std::string_view> stored;
  if (value) stored = TrimLeft(value);
  if (!Writable(Trim(section), Trim(key), stored)) return FALSE;
  const std::string path = win32::UnixPath(file);
  if (path.empty()) return FALSE;
  return WriteProfile(path, Trim(section), Trim(key), stored) ? TRUE : FALSE;
}
