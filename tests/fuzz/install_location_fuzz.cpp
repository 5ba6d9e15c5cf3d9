// CleanInstallLocation with a directory test of the input's choosing: random
// location texts against a fake set of directories (named folders with
// their ancestors, as a file system has them, and a share of all texts
// picked by a seeded hash). Checked against what the cleanup promises:
// - the first query is the whole text up to its first NUL, and when it
//   passes nothing else is asked and the location stays as it was;
// - every query after it is the candidate that the cost rule names next, so
//   the count is the rule's too. A segment's candidates end before each
//   delimiter from its second character on, no further than MAX_PATH
//   characters past its start. Up to 16 of them are tried from the longest
//   down until one passes; more are tried from the shortest up, to the first
//   that ends before a backslash and fails (all of them when the segment
//   climbs through "..", and never stopping at a name ending in '.' or ' ').
//   The next segment starts at the first drive mark after the accepted
//   candidate;
// - true exactly when a candidate was accepted, and then the location is the
//   accepted candidates joined by ';'; false leaves the location as it was;
// - where the directories are only the named folders and their ancestors,
//   as on a real disk, each accepted candidate is the segment's longest
//   candidate that names a directory, whichever order found it.
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "install_location.h"
#include "win32.h"

namespace {

bool IsDelimiter(char c) {
  return c == '\\' || c == ';' || c == '"' || c == ',';
}

// Longer than MAX_PATH, so that segments reach past it, with many drive
// marks and delimiters.
constexpr size_t kMaxLocation = 4096;

class FakeDirectories {
 public:
  explicit FakeDirectories(FuzzInput& in) {
    const size_t count = in.Below(6);
    for (size_t i = 0; i < count; ++i) Add(in.Bytes(32));
    share_ = in.Below(8);
    seed_ = static_cast<uint32_t>(in.Byte()) << 8 | in.Byte();
  }

  // Whether the set is closed under ancestors: no text passes by hash.
  bool AsOnDisk() const { return share_ == 0; }

  bool IsDirectory(std::string_view text) const {
    if (folders_.count(std::string(text))) return true;
    if (share_ == 0) return false;
    uint32_t hash = 2166136261u ^ seed_;  // FNV-1a
    for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
    return hash % share_ == 0;
  }

 private:
  // A folder, with or without a trailing backslash, and its ancestors down
  // to the bare drive designator.
  void Add(std::string folder) {
    while (!folder.empty()) {
      folders_.insert(folder);
      folders_.insert(folder + "\\");
      const size_t cut = folder.rfind('\\');
      if (cut == std::string::npos) break;
      folder.resize(cut);
    }
  }

  std::set<std::string> folders_;
  size_t share_ = 0;  // 0: no text by hash; 1: every text; n: one in n
  uint32_t seed_ = 0;
};

using Span = std::pair<size_t, size_t>;  // start, length

// The ends of the candidates of the segment at start.
std::vector<size_t> CandidateEnds(const std::string& text, size_t start) {
  std::vector<size_t> ends;
  const size_t reach = std::min(text.size(), start + MAX_PATH + 1);
  for (size_t pos = start + 1; pos < reach; ++pos) {
    if (IsDelimiter(text[pos])) ends.push_back(pos);
  }
  return ends;
}

// The segment following an accepted candidate's end (or the previous
// segment's start): the first drive mark past it, or npos.
size_t NextSegment(const std::string& text, size_t resume) {
  for (size_t t = resume + 1; t + 3 <= text.size(); ++t) {
    if (text[t + 1] == ':' && text[t + 2] == '\\') return t;
  }
  return std::string::npos;
}

struct Walk {
  std::vector<Span> queries;
  std::vector<Span> accepted;
};

// The queries that the cost rule makes, in order, and what it accepts.
Walk WalkByRule(const std::string& text, const FakeDirectories& fs) {
  Walk walk;
  walk.queries.push_back({0, text.size()});
  if (fs.IsDirectory(text)) return walk;
  auto passes = [&](size_t start, size_t pos) {
    walk.queries.push_back({start, pos - start});
    return fs.IsDirectory(std::string_view(text).substr(start, pos - start));
  };
  for (size_t start = 0; start != std::string::npos;) {
    const std::vector<size_t> ends = CandidateEnds(text, start);
    size_t accepted = std::string::npos;
    if (ends.size() <= 16) {
      for (auto pos = ends.rbegin(); pos != ends.rend(); ++pos) {
        if (passes(start, *pos)) {
          accepted = *pos;
          break;
        }
      }
    } else {
      const size_t reach = std::min(text.size(), start + MAX_PATH + 1);
      const bool climbs = text.substr(start, reach - start).find("..") !=
                          std::string::npos;
      for (size_t pos : ends) {
        if (passes(start, pos)) {
          accepted = pos;
        } else if (!climbs && text[pos] == '\\' && text[pos - 1] != '.' &&
                   text[pos - 1] != ' ') {
          break;
        }
      }
    }
    size_t resume = start;
    if (accepted != std::string::npos) {
      walk.accepted.push_back({start, accepted - start});
      resume = accepted;
    }
    start = NextSegment(text, resume);
  }
  return walk;
}

// What the cleanup accepts, found by asking about every candidate: each
// segment's longest candidate that names a directory.
std::vector<Span> LongestDirectories(const std::string& text,
                                     const FakeDirectories& fs) {
  std::vector<Span> accepted;
  for (size_t start = 0; start != std::string::npos;) {
    size_t resume = start;
    for (size_t pos : CandidateEnds(text, start)) {
      if (fs.IsDirectory(std::string_view(text).substr(start, pos - start))) {
        resume = pos;
      }
    }
    if (resume != start) accepted.push_back({start, resume - start});
    start = NextSegment(text, resume);
  }
  return accepted;
}

std::string Joined(const std::string& text, const std::vector<Span>& spans) {
  std::string list;
  for (const auto& [start, length] : spans) {
    if (!list.empty()) list += ';';
    list += text.substr(start, length);
  }
  return list;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const FakeDirectories fs(in);
  std::string location = in.Rest();
  if (location.size() > kMaxLocation) location.resize(kMaxLocation);
  const std::string before = location;
  const std::string text = location.c_str();  // up to the first NUL

  const Walk expected = WalkByRule(text, fs);
  size_t count = 0;
  bool whole_passed = false;
  const bool result = CleanInstallLocation(location, [&](const char* query) {
    FUZZ_CHECK(count < expected.queries.size());
    const auto [start, length] = expected.queries[count];
    FUZZ_CHECK_EQ(text.substr(start, length), std::string(query));
    const bool is_directory = fs.IsDirectory(query);
    if (is_directory && count == 0) whole_passed = true;
    ++count;
    return is_directory;
  });
  FUZZ_CHECK_EQ(expected.queries.size(), count);

  if (whole_passed) {
    FUZZ_CHECK(result);
    FUZZ_CHECK_EQ(before, location);
    return 0;
  }
  FUZZ_CHECK_EQ(!expected.accepted.empty(), result);
  if (fs.AsOnDisk()) {
    FUZZ_CHECK_EQ(Joined(text, LongestDirectories(text, fs)),
                  Joined(text, expected.accepted));
  }
  FUZZ_CHECK_EQ(result ? Joined(text, expected.accepted) : before, location);
  return 0;
}
