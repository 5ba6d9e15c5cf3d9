// defpatch given hostile command lines: one argument of 100,000 characters,
// 10,000 arguments, bytes that are not UTF-8. Each run ends quickly, within
// memory in proportion to its input, and prints the exact summary.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "defpatch_run.h"
#include "hostile_run.h"
#include "scoped_temp_dir.h"

namespace fs = std::filesystem;

namespace {

class HostileArgumentsTest : public ::testing::Test {
 protected:
  // A folder with an outdated search.ini.
  std::string Outdated(const std::string& name) {
    WriteFileBytes(dir_.path() / name / "search.ini", kOutdatedSearchIni);
    return dir_.Path(name);
  }
  bool Patched(const std::string& name) const {
    return ReadFileBytes(dir_.path() / name / "search.ini") ==
           kCurrentSearchIni;
  }

  static std::string Repeat(const std::string& piece, size_t length) {
    std::string text;
    while (text.size() < length) text += piece;
    text.resize(length);
    return text;
  }

  ScopedTempDir dir_;
};

TEST_F(HostileArgumentsTest, ArgumentOf100000Characters) {
  constexpr size_t kLength = 100000;
  const std::string real = Outdated("real");
  // Bytes 0x80 to 0xFF, which are no UTF-8.
  std::string not_utf8;
  for (size_t i = 0; not_utf8.size() < kLength; ++i) {
    not_utf8 += static_cast<char>(0x80 + i % 0x80);
  }
  struct Case {
    const char* name;
    std::string argument;
    int count;
  } cases[] = {
      {"one folder name", "/" + Repeat("a", kLength - 1), 0},
      {"a path of 50,000 parts", Repeat("a\\", kLength), 0},
      {"a path of 50,000 Unix parts", Repeat("/a", kLength), 0},
      {"a path of 33,333 parents", Repeat("..\\", kLength), 0},
      {"a path on a drive", "C:" + Repeat("\\x", kLength - 2), 0},
      {"10,000 missing folders, then a real one",
       Repeat("/missing/x;", kLength - real.size() - 1) + ";" + real, 1},
      {"a real folder, then 10,000 missing ones",
       real + ";" + Repeat("/missing/x;", kLength - real.size() - 1), 1},
      {"bytes that are not UTF-8", not_utf8, 0},
      // Each empty entry is the current folder, which holds the file.
      {"separators only", Repeat(";", kLength), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(kLength, c.argument.size());
    WriteFileBytes(dir_.path() / "real" / "search.ini", kOutdatedSearchIni);
    const auto run = RunMeasured({c.argument}, dir_.Path("real"));
    EXPECT_EQ(Summary(c.count), run->out());
    EXPECT_EQ("", run->err());
    EXPECT_EQ(c.count > 0 ? 0 : 1, run->status());
    EXPECT_EQ(c.count > 0, Patched("real"));
    ExpectMemoryInProportion(*run, kLength);
  }
}

// Each argument is searched on its own, in order: a folder given again is
// found current.
TEST_F(HostileArgumentsTest, TenThousandArguments) {
  constexpr int kArguments = 10000, kFolders = 50;
  std::vector<std::string> folders;
  for (int n = 0; n < kFolders; ++n) {
    folders.push_back(Outdated("f" + std::to_string(n)));
  }
  std::vector<std::string> arguments;
  size_t bytes = 0;
  for (int n = 0; n < kArguments; ++n) {
    arguments.push_back(n % 2 ? folders[n / 2 % kFolders]
                              : dir_.Path("missing" + std::to_string(n)));
    bytes += arguments.back().size() + 1;
  }
  const auto run = RunMeasured(arguments);
  EXPECT_EQ(Summary(kFolders), run->out());
  EXPECT_EQ(0, run->status());
  for (int n = 0; n < kFolders; ++n) {
    EXPECT_TRUE(Patched("f" + std::to_string(n))) << n;
  }
  ExpectMemoryInProportion(*run, bytes);
}

// A folder whose name is no UTF-8 is a folder like any other.
TEST_F(HostileArgumentsTest, FolderNamedInBytesThatAreNotUtf8) {
  const std::string name = "\xFF\xFE\x80 \xC3(\xED\xA0\x80";
  const std::string folder = Outdated(name);
  const auto run = RunMeasured({folder, folder + ";" + folder});
  EXPECT_EQ(Summary(1), run->out());
  EXPECT_EQ(0, run->status());
  EXPECT_TRUE(Patched(name));
  ExpectMemoryInProportion(*run, 0);
}

}  // namespace
