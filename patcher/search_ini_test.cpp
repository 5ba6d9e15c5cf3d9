#include "search_ini.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "scoped_temp_dir.h"
#include "win32.h"

namespace fs = std::filesystem;

namespace {

const char kQuery[] =
    "https://www.youtube.com/results?search_query=[QUERY:UTF8]";
const char kRes2[] = "www.youtube.com/results?(*&)sp=*";
const char kNext1[] = "www.youtube.com/results?(*&)search_query=*";
const char kNext2[] = "www.youtube.com/results?(*&)sp=*";

// A search.ini as the host application keeps it: the video site's section
// among others, with keys of its own beside the four that are patched.
std::string SearchIni(const std::string& query, const std::string& res2,
                      const std::string& next1, const std::string& next2) {
  return "; site search definitions\r\n"
         "[SEARCHDEF-Vimeo]\r\n"
         "query/url=https://vimeo.com/search?q=[QUERY:UTF8]\r\n"
         "\r\n"
         "[SEARCHDEF-YouTube]\r\n"
         "name=YouTube\r\n"
         "query/url=" +
         query +
         "\r\n"
         "res1/url=www.youtube.com/watch?v=*\r\n"
         "res2/url=" +
         res2 +
         "\r\n"
         "nextpage1=" +
         next1 +
         "\r\n"
         "nextpage2=" +
         next2 +
         "\r\n"
         "maxpages=5\r\n"
         "\r\n"
         "[SEARCHDEF-Niconico]\r\n"
         "query/url=https://www.nicovideo.jp/search/[QUERY:UTF8]\r\n";
}

const std::string kCurrent = SearchIni(kQuery, kRes2, kNext1, kNext2);

std::string Value(const fs::path& file, const char* section, const char* key) {
  char buffer[512];
  GetPrivateProfileStringA(section, key, "(missing)", buffer, sizeof buffer,
                           file.string().c_str());
  return buffer;
}

// Every key=value line of expected reads back from file in its section.
void ExpectValues(const std::string& expected, const fs::path& file) {
  std::string section;
  size_t begin = 0;
  while (begin < expected.size()) {
    size_t end = expected.find("\r\n", begin);
    const std::string line = expected.substr(begin, end - begin);
    begin = end + 2;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const size_t equals = line.find('=');
    const std::string key = line.substr(0, equals);
    EXPECT_EQ(line.substr(equals + 1),
              Value(file, section.c_str(), key.c_str()))
        << "[" << section << "] " << key;
  }
}

class PatchSearchIniTest : public ::testing::Test {
 protected:
  fs::path Ini(const char* folder = "app") const {
    return dir_.path() / folder / "search.ini";
  }
  bool Patch(const std::string& list) { return PatchSearchIni(list.c_str()); }

  void ExpectCurrent(const fs::path& file) {
    EXPECT_EQ(kQuery, Value(file, "SEARCHDEF-YouTube", "query/url"));
    EXPECT_EQ(kRes2, Value(file, "SEARCHDEF-YouTube", "res2/url"));
    EXPECT_EQ(kNext1, Value(file, "SEARCHDEF-YouTube", "nextpage1"));
    EXPECT_EQ(kNext2, Value(file, "SEARCHDEF-YouTube", "nextpage2"));
  }

  ScopedTempDir dir_;
};

TEST_F(PatchSearchIniTest, CurrentFileIsNotWritten) {
  WriteFileBytes(Ini(), kCurrent);
  const auto written = fs::last_write_time(Ini());
  EXPECT_FALSE(Patch(dir_.Path("app")));
  EXPECT_EQ(kCurrent, ReadFileBytes(Ini()));
  EXPECT_EQ(written, fs::last_write_time(Ini()));
}

TEST_F(PatchSearchIniTest, RewritesWhatDiffers) {
  const std::string kOld = "www.youtube.com/results?(*&)page=*";
  struct Case {
    const char* name;
    std::string before;
    std::string after;  // exact bytes afterwards (Linux)
  } cases[] = {
      {"only query/url outdated",
       SearchIni("http://www.youtube.com/results?search_query=[QUERY:UTF8]",
                 kRes2, kNext1, kNext2),
       kCurrent},
      {"all four outdated", SearchIni("x", kOld, kOld, kOld), kCurrent},
      {"letter case differs",
       SearchIni(kQuery, "WWW.YOUTUBE.COM/results?(*&)sp=*", kNext1, kNext2),
       kCurrent},
      {"section missing", "[SEARCHDEF-Vimeo]\r\nname=Vimeo\r\n",
       "[SEARCHDEF-Vimeo]\r\nname=Vimeo\r\n[SEARCHDEF-YouTube]\r\n"
       "query/url=" +
           std::string(kQuery) + "\r\nres2/url=" + kRes2 +
           "\r\nnextpage1=" + kNext1 + "\r\nnextpage2=" + kNext2 + "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(Ini(), c.before);
    EXPECT_TRUE(Patch(dir_.Path("app")));
    ExpectCurrent(Ini());
    ExpectValues(c.after, Ini());
#ifndef _WIN32
    // Every other byte stays as it was. (Wine rewrites the whole file.)
    EXPECT_EQ(c.after, ReadFileBytes(Ini()));
#endif
    EXPECT_FALSE(Patch(dir_.Path("app"))) << "a second call finds it current";
  }
}

TEST_F(PatchSearchIniTest, PatchesOnlyTheFirstFileOnTheList) {
  const std::string kOutdated = SearchIni("old", "old", "old", "old");
  WriteFileBytes(Ini("first"), kOutdated);
  WriteFileBytes(Ini("second"), kOutdated);
  EXPECT_TRUE(Patch(dir_.Path("empty") + ";" + dir_.Path("first") + ";" +
                    dir_.Path("second")));
  ExpectCurrent(Ini("first"));
  EXPECT_EQ(kOutdated, ReadFileBytes(Ini("second")));
}

TEST_F(PatchSearchIniTest, NothingFoundIsNoPatch) {
  fs::create_directories(dir_.path() / "empty");
  EXPECT_FALSE(Patch(dir_.Path("empty")));
  EXPECT_FALSE(Patch(dir_.Path("missing")));
  EXPECT_FALSE(fs::exists(dir_.path() / "empty" / "search.ini"));
}

TEST_F(PatchSearchIniTest, ReadOnlyFileIsNotCounted) {
  const std::string kOutdated = SearchIni("old", kRes2, kNext1, kNext2);
  WriteFileBytes(Ini(), kOutdated);
  ReadOnlyFile read_only(Ini());
  ASSERT_TRUE(read_only.done());
  EXPECT_FALSE(Patch(dir_.Path("app")));
  EXPECT_EQ(kOutdated, ReadFileBytes(Ini()));
}

#ifndef _WIN32
// A full path longer than the usual 260-character buffer is searched for
// again with the room it needs, and the file is patched. (Wine's
// SearchPathA does not find such paths at all.)
TEST_F(PatchSearchIniTest, PatchesAFileBehindALongPath) {
  fs::path deep = dir_.path();
  while (deep.string().size() < 300) deep /= "a-folder-with-a-long-name";
  WriteFileBytes(deep / "search.ini", SearchIni("old", "old", "old", "old"));
  EXPECT_TRUE(Patch(deep.string()));
  ExpectCurrent(deep / "search.ini");
}
#endif

}  // namespace
