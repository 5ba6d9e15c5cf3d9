#include "install_location.h"

#include "win32.h"

namespace {

bool IsDelimiter(char c) {
  return c == '\\' || c == ';' || c == '"' || c == ',';
}

}  // namespace

bool IsDirectory(const char* path) {
  // The failure value has every bit set, the directory bit included.
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The text is scanned byte by byte. The first segment starts at the first
// character; every later one at a drive mark ("?:\"), and each runs to the
// end of the whole text. In a segment, the candidates end before a delimiter
// at least one character past its start, tried from the end backwards so the
// longest existing directory wins. An accepted candidate drops whatever
// follows it up to the next drive mark (a file name, arguments, a quote).
bool CleanInstallLocation(std::string& location,
                          const DirectoryTest& is_directory) {
  const std::string text(location.c_str());  // up to the first NUL
  if (is_directory(text.c_str())) return true;

  const size_t end = text.size();
  std::string list;
  size_t start = 0;
  for (;;) {
    size_t resume = start;
    for (size_t pos = end; pos-- > start + 1;) {
      if (!IsDelimiter(text[pos])) continue;
      const std::string candidate = text.substr(start, pos - start);
      if (is_directory(candidate.c_str())) {
        if (!list.empty()) list += ';';
        list += candidate;
        resume = pos;
        break;
      }
    }
    // The next drive mark lies past the resume position; its backslash may
    // be the last character of the text.
    size_t next = end;
    for (size_t t = resume + 1; t + 2 < end; ++t) {
      if (text[t + 1] == ':' && text[t + 2] == '\\') {
        next = t;
        break;
      }
    }
    if (next == end) break;
    start = next;
  }

  if (list.empty()) return false;
  location = list;
  return true;
}
