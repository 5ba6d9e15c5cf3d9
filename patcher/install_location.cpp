#include "install_location.h"

#include <algorithm>
#include <vector>

#include "win32.h"

bool IsDirectory(const char* path) {
  // The failure value has every bit set, the directory bit included.
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

namespace {

bool IsDelimiter(char c) {
  return c == '\\' || c == ';' || c == '"' || c == ',';
}

// The end of the longest candidate of the segment at start that names a
// directory, or npos. Candidates end before a delimiter at least one
// character past the start; they are tried from the end backwards, so the
// longest existing directory wins.
//
// The platform's 8-bit file functions take no path longer than MAX_PATH
// characters: no longer candidate can name a directory, and none is
// queried. Otherwise every segment would query and copy the candidates up
// to the end of the whole text, and a location of a megabyte (a registry
// value may hold that much) holding many drive marks, such as a long list
// of folders, would take hours.
//
// A segment with more candidates than a real location has (a list or
// garbage, which can have a hundred in MAX_PATH characters) is tried from
// the shortest candidate instead, up to the first one that ends before a
// backslash and is no directory: the longer ones lie below it and cannot
// be directories either. That holds unless the path climbs back through
// "..", or the candidate ends in '.' or ' ', which the platform drops from
// a path's last name only; then the rest is tried as well. Either way the
// longest existing directory wins; only the number of queries differs.
size_t AcceptedEnd(const std::string& text, size_t start,
                   const DirectoryTest& is_directory) {
  constexpr size_t kFewCandidates = 16;
  const size_t reach = std::min(text.size(), start + MAX_PATH + 1);
  std::vector<size_t> ends;
  for (size_t pos = start + 1; pos < reach; ++pos) {
    if (IsDelimiter(text[pos])) ends.push_back(pos);
  }
  auto names_directory = [&](size_t pos) {
    return is_directory(text.substr(start, pos - start).c_str());
  };
  if (ends.size() <= kFewCandidates) {
    for (auto pos = ends.rbegin(); pos != ends.rend(); ++pos) {
      if (names_directory(*pos)) return *pos;
    }
    return std::string::npos;
  }
  const bool climbs =
      text.substr(start, reach - start).find("..") != std::string::npos;
  size_t accepted = std::string::npos;
  for (size_t pos : ends) {
    if (names_directory(pos)) {
      accepted = pos;
    } else if (text[pos] == '\\' && !climbs && text[pos - 1] != '.' &&
               text[pos - 1] != ' ') {
      break;
    }
  }
  return accepted;
}

}  // namespace

// The text is scanned byte by byte. The first segment starts at the first
// character; every later one at a drive mark ("?:\"), and each runs to the
// end of the whole text. An accepted candidate drops whatever follows it up
// to the next drive mark (a file name, arguments, a quote).
bool CleanInstallLocation(std::string& location,
                          const DirectoryTest& is_directory) {
  const std::string text(location.c_str());  // up to the first NUL
  if (is_directory(text.c_str())) return true;

  const size_t end = text.size();
  std::string list;
  size_t start = 0;
  for (;;) {
    size_t resume = start;
    const size_t accepted = start < end ? AcceptedEnd(text, start, is_directory)
                                        : std::string::npos;
    if (accepted != std::string::npos) {
      if (!list.empty()) list += ';';
      list += text.substr(start, accepted - start);
      resume = accepted;
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
