// defpatch on hostile search.ini files: a value of 10 MB in the video
// site's section, bytes that are not UTF-8. The file is patched exactly,
// every other byte kept, within memory in proportion to the file.
#include <gtest/gtest.h>

#include <string>

#include "defpatch_run.h"
#include "hostile_run.h"
#include "scoped_temp_dir.h"

namespace {

const char kQuery[] =
    "query/url=https://www.youtube.com/results?search_query=[QUERY:UTF8]\r\n";
const char kRes2[] = "res2/url=www.youtube.com/results?(*&)sp=*\r\n";
const char kNext1[] =
    "nextpage1=www.youtube.com/results?(*&)search_query=*\r\n";
const char kNext2[] = "nextpage2=www.youtube.com/results?(*&)sp=*\r\n";

TEST(HostileSearchIni, FilesArePatchedExactly) {
  const std::string big(10 << 20, 'v');
  // Bytes that are no UTF-8: lone continuation bytes, a cut sequence, an
  // encoded surrogate, bytes that never occur.
  const std::string bad = "\x80\xBF \xE2\x82 \xED\xA0\x80 \xC0\xAF \xFE\xFF";
  struct Case {
    const char* name;
    std::string before;
    std::string after;
  } cases[] = {
      {"10 MB in a key that is patched",
       "[SEARCHDEF-YouTube]\r\nquery/url=" + big + "\r\n" + kRes2 + kNext1 +
           kNext2,
       std::string("[SEARCHDEF-YouTube]\r\n") + kQuery + kRes2 + kNext1 +
           kNext2},
      {"10 MB in a key that is kept",
       "[SEARCHDEF-YouTube]\r\nname=" + big +
           "\r\nquery/url=old\r\nres2/url=old\r\nnextpage1=old\r\n"
           "nextpage2=old\r\n",
       "[SEARCHDEF-YouTube]\r\nname=" + big + "\r\n" + kQuery + kRes2 + kNext1 +
           kNext2},
      {"10 MB in one line without '='",
       "[SEARCHDEF-YouTube]\r\n" + big + "\r\n",
       "[SEARCHDEF-YouTube]\r\n" + big + "\r\n" + kQuery + kRes2 + kNext1 +
           kNext2},
      {"bytes that are not UTF-8 around and in the values",
       bad + "\r\n[SEARCHDEF-" + bad + "]\r\nquery/url=" + bad +
           "\r\n[SEARCHDEF-YouTube]\r\nname=" + bad + "\r\nquery/url=" + bad +
           "\r\nres2/url=" + bad + "\r\nnextpage1=" + bad +
           "\r\nnextpage2=" + bad + "\r\n" + bad + "=" + bad + "\r\n",
       bad + "\r\n[SEARCHDEF-" + bad + "]\r\nquery/url=" + bad +
           "\r\n[SEARCHDEF-YouTube]\r\nname=" + bad + "\r\n" + kQuery + kRes2 +
           kNext1 + kNext2 + bad + "=" + bad + "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    WriteFileBytes(dir.path() / "search.ini", c.before);
    const auto run = RunMeasured({dir.Path()});
    EXPECT_EQ(Summary(1), run->out());
    EXPECT_EQ(0, run->status());
    const std::string after = ReadFileBytes(dir.path() / "search.ini");
    EXPECT_TRUE(after == c.after)
        << "patched into " << after.size() << " bytes, not " << c.after.size();
    ExpectMemoryInProportion(*run, c.before.size());
  }
}

}  // namespace
