#include "search_ini_states.h"

#include <stdio.h>

#include "scoped_temp_dir.h"

namespace fs = std::filesystem;

namespace {

// The video site's new address scheme, and the old one.
const char kQuery[] =
    "query/url=https://www.youtube.com/results?search_query=[QUERY:UTF8]";
const char kRes2[] = "res2/url=www.youtube.com/results?(*&)sp=*";
const char kNext1[] = "nextpage1=www.youtube.com/results?(*&)search_query=*";
const char kNext2[] = "nextpage2=www.youtube.com/results?(*&)sp=*";
const char kOldQuery[] =
    "query/url=http://www.youtube.com/results?search_query=[QUERY:UTF8]";
const char kOldRes2[] = "res2/url=www.youtube.com/results?(*&)search_type=*";
const char kOldNext1[] = "nextpage1=www.youtube.com/results?(*&)page=*";
const char kOldNext2[] =
    "nextpage2=www.youtube.com/results?(*&)search_query=*&page=*";

// One write of the patch, as it changes the file's lines: the line at
// index is replaced, or the lines are inserted before it.
struct Edit {
  enum { kReplace, kInsert } how;
  size_t index;
  std::vector<std::string> lines;
};

struct Kind {
  const char* name;
  const char* eol;
  bool final_eol;
  bool utf16;
  std::vector<std::string> lines;  // the old file; "@" stands for the note
  std::vector<Edit> edits;         // one per outdated key, in order
};

std::string Utf16Le(const std::string& ascii) {
  std::string bytes = "\xFF\xFE";
  for (char c : ascii) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

std::string Render(const Kind& kind, const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    text += lines[i];
    if (i + 1 < lines.size() || kind.final_eol) text += kind.eol;
  }
  return kind.utf16 ? Utf16Le(text) : text;
}

// The host application's other definitions around the video site's.
const char kVimeo[] = "[SEARCHDEF-Vimeo]";
const char kVimeoQuery[] = "query/url=https://vimeo.com/search?q=[QUERY:UTF8]";
const char kNico[] = "[SEARCHDEF-Niconico]";
const char kNicoQuery[] =
    "query/url=https://www.nicovideo.jp/search/[QUERY:UTF8]";
const char kSection[] = "[SEARCHDEF-YouTube]";
const char kName[] = "name=YouTube";
const char kRes1[] = "res1/url=www.youtube.com/watch?v=*";

const std::vector<Kind>& Kinds() {
  static const std::vector<Kind> kinds = {
      {"all four outdated, CR LF",
       "\r\n",
       true,
       false,
       {"@", kVimeo, kVimeoQuery, "", kSection, kName, kOldQuery, kRes1,
        kOldRes2, kOldNext1, kOldNext2, "maxpages=5", "", kNico, kNicoQuery},
       {{Edit::kReplace, 6, {kQuery}},
        {Edit::kReplace, 8, {kRes2}},
        {Edit::kReplace, 9, {kNext1}},
        {Edit::kReplace, 10, {kNext2}}}},
      // Blanks around the keys and '=' stay where they are.
      {"all four outdated, LF, blanks kept",
       "\n",
       true,
       false,
       {"@", kSection, std::string("  ") + kOldQuery + " ",
        std::string("\t") + kOldRes2 + "\t",
        "nextpage1 = www.youtube.com/"
        "results?(*&)page=*",
        kOldNext2, kVimeo, kVimeoQuery},
       {{Edit::kReplace, 2, {std::string("  ") + kQuery + " "}},
        {Edit::kReplace, 3, {std::string("\t") + kRes2 + "\t"}},
        {Edit::kReplace,
         4,
         {"nextpage1 = www.youtube.com/results?(*&)search_query=*"}},
        {Edit::kReplace, 5, {kNext2}}}},
      {"one key outdated in letter case only",
       "\r\n",
       true,
       false,
       {"@", kSection, kName, kQuery, kRes2,
        "nextpage1=WWW.YOUTUBE.COM/results?(*&)search_query=*", kNext2,
        "maxpages=5"},
       {{Edit::kReplace, 5, {kNext1}}}},
      {"current",
       "\r\n",
       true,
       false,
       {"@", kVimeo, kVimeoQuery, kSection, kName, kQuery, kRes2, kNext1,
        kNext2},
       {}},
      // The section is appended at the end, then each key after the last.
      {"section missing",
       "\r\n",
       true,
       false,
       {"@", kVimeo, kVimeoQuery, "", kNico, kNicoQuery},
       {{Edit::kInsert, 6, {kSection, kQuery}},
        {Edit::kInsert, 8, {kRes2}},
        {Edit::kInsert, 9, {kNext1}},
        {Edit::kInsert, 10, {kNext2}}}},
      {"two keys outdated, LF, last line unended",
       "\n",
       false,
       false,
       {"@", kVimeo, kVimeoQuery, "", kSection, kName, kQuery, kRes1, kOldRes2,
        kNext1, kOldNext2},
       {{Edit::kReplace, 8, {kRes2}}, {Edit::kReplace, 10, {kNext2}}}},
      // Missing keys go after the section's last non-blank line.
      {"two keys missing, two outdated",
       "\r\n",
       true,
       false,
       {"@", kVimeo, kVimeoQuery, "", kSection, kName, kRes1, kOldRes2,
        kOldNext1, "maxpages=5", "", kNico, kNicoQuery},
       {{Edit::kInsert, 10, {kQuery}},
        {Edit::kReplace, 7, {kRes2}},
        {Edit::kReplace, 8, {kNext1}},
        {Edit::kInsert, 11, {kNext2}}}},
      {"all four outdated, UTF-16",
       "\r\n",
       true,
       true,
       {"@", kSection, kName, kOldQuery, kOldRes2, kOldNext1, kOldNext2,
        "maxpages=5"},
       {{Edit::kReplace, 3, {kQuery}},
        {Edit::kReplace, 4, {kRes2}},
        {Edit::kReplace, 5, {kNext1}},
        {Edit::kReplace, 6, {kNext2}}}},
  };
  return kinds;
}

}  // namespace

int FileStates::IndexOf(const std::string& bytes) const {
  for (size_t i = 0; i < states.size(); ++i) {
    if (states[i] == bytes) return static_cast<int>(i);
  }
  return -1;
}

FileStates StatesOf(int number) {
  const std::vector<Kind>& kinds = Kinds();
  const Kind& kind = kinds[static_cast<size_t>(number) % kinds.size()];
  std::vector<std::string> lines = kind.lines;
  for (std::string& line : lines) {
    if (line == "@")
      line = "; search definitions of folder " + std::to_string(number);
  }
  FileStates file{kind.name, {Render(kind, lines)}};
  for (const Edit& edit : kind.edits) {
    if (edit.how == Edit::kReplace) {
      lines[edit.index] = edit.lines.front();
    } else {
      lines.insert(lines.begin() + static_cast<long>(edit.index),
                   edit.lines.begin(), edit.lines.end());
    }
    file.states.push_back(Render(kind, lines));
  }
  return file;
}

SearchIniFolders::SearchIniFolders(const fs::path& root, int count) {
  for (int number = 0; number < count; ++number) {
    char name[16];
    snprintf(name, sizeof name, "f%04d", number);
    paths_.push_back((root / name).string());
    files_.push_back(StatesOf(number));
  }
  Reset();
}

fs::path SearchIniFolders::Ini(int number) const {
  return fs::path(paths_[number]) / "search.ini";
}

void SearchIniFolders::Reset() const {
  for (size_t number = 0; number < paths_.size(); ++number) {
    fs::remove_all(paths_[number]);
    WriteFileBytes(Ini(static_cast<int>(number)), files_[number].old());
  }
}

int SearchIniFolders::OutdatedCount() const {
  int count = 0;
  for (const FileStates& file : files_) count += file.states.size() > 1;
  return count;
}

SearchIniFolders::Survey SearchIniFolders::Look() const {
  Survey survey;
  for (size_t number = 0; number < paths_.size(); ++number) {
    const FileStates& file = files_[number];
    const int index =
        file.IndexOf(ReadFileBytes(Ini(static_cast<int>(number))));
    if (index < 0) {
      survey.strange.push_back(paths_[number] + " (" + file.kind + ")");
    } else if (index + 1 == static_cast<int>(file.states.size())) {
      ++survey.patched;
    } else if (index == 0) {
      ++survey.outdated;
    } else {
      ++survey.between;
    }
    for (const auto& entry : fs::directory_iterator(paths_[number])) {
      if (entry.path().filename() == "search.ini") continue;
      ++survey.leftovers;
      if (survey.leftover_names.size() < 5) {
        survey.leftover_names.push_back(entry.path().string());
      }
    }
  }
  return survey;
}
