// CleanInstallLocation with a directory test of the input's choosing: random
// location texts against a fake set of directories (named folders with
// their ancestors, as a file system has them, and a share of all texts
// picked by a seeded hash). Checked against what the cleanup promises:
// - the first query is the whole text up to its first NUL, and when it
//   passes nothing else is asked and the location stays as it was;
// - every query after it is the candidate that the cost rule names next
//   (one for each delimiter from a segment's second character to the end of
//   the text, taken from the end backwards, until one passes; the next
//   segment starts at the first drive mark after the accepted candidate),
//   so the count is the rule's too;
// - true exactly when a query passed, and then the location is the passing
//   candidates joined by ';'; false leaves the location as it was.
#include <string.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "install_location.h"

namespace {

bool IsDelimiter(char c) {
  return c == '\\' || c == ';' || c == '"' || c == ',';
}

// Beyond this the number of queries grows with the square of the length:
// the rule asks afresh for every candidate of every segment.
constexpr size_t kMaxLocation = 1024;

class FakeDirectories {
 public:
  explicit FakeDirectories(FuzzInput& in) {
    const size_t count = in.Below(6);
    for (size_t i = 0; i < count; ++i) Add(in.Bytes(32));
    share_ = in.Below(8);
    seed_ = static_cast<uint32_t>(in.Byte()) << 8 | in.Byte();
  }

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

// The queries that the rule makes, as spans of the text, in order.
std::vector<std::pair<size_t, size_t>> QueriesByRule(
    const std::string& text, const FakeDirectories& fs) {
  std::vector<std::pair<size_t, size_t>> queries = {{0, text.size()}};
  if (fs.IsDirectory(text)) return queries;
  const size_t end = text.size();
  size_t start = 0;
  for (;;) {
    size_t resume = start;
    for (size_t pos = end; pos > start + 1;) {
      --pos;
      if (!IsDelimiter(text[pos])) continue;
      queries.push_back({start, pos - start});
      if (fs.IsDirectory(std::string_view(text).substr(start, pos - start))) {
        resume = pos;
        break;
      }
    }
    size_t next = 0;
    for (size_t t = resume + 1; t + 3 <= end && next == 0; ++t) {
      if (text[t + 1] == ':' && text[t + 2] == '\\') next = t;
    }
    if (next == 0) break;
    start = next;
  }
  return queries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const FakeDirectories fs(in);
  std::string location = in.Rest();
  if (location.size() > kMaxLocation) location.resize(kMaxLocation);
  const std::string before = location;
  const std::string text = location.c_str();  // up to the first NUL

  const auto expected = QueriesByRule(text, fs);
  size_t count = 0;
  std::vector<std::string> passed;
  bool whole_passed = false;
  const bool result = CleanInstallLocation(location, [&](const char* query) {
    FUZZ_CHECK(count < expected.size());
    const auto [start, length] = expected[count];
    FUZZ_CHECK_EQ(text.substr(start, length), std::string(query));
    const bool is_directory = fs.IsDirectory(query);
    if (is_directory && count == 0) whole_passed = true;
    if (is_directory && count > 0) passed.push_back(query);
    ++count;
    return is_directory;
  });
  FUZZ_CHECK_EQ(expected.size(), count);

  if (whole_passed) {
    FUZZ_CHECK(result);
    FUZZ_CHECK_EQ(before, location);
    return 0;
  }
  FUZZ_CHECK_EQ(!passed.empty(), result);
  if (!result) {
    FUZZ_CHECK_EQ(before, location);
    return 0;
  }
  std::string list;
  for (const std::string& entry : passed) {
    if (!list.empty()) list += ';';
    list += entry;
  }
  FUZZ_CHECK_EQ(list, location);
  return 0;
}
