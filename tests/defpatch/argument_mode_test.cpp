// defpatch given directory lists on its command line.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "defpatch_run.h"
#include "scoped_temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Folders old1 and old2 hold outdated files, current an up-to-date one,
// empty none.
class ArgumentModeTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }

  void Reset() {
    WriteFileBytes(Ini("old1"), kOutdatedSearchIni);
    WriteFileBytes(Ini("old2"), kOutdatedSearchIni);
    WriteFileBytes(Ini("current"), kCurrentSearchIni);
    fs::create_directories(dir_.path() / "empty");
  }

  fs::path Ini(const char* folder) const {
    return dir_.path() / folder / "search.ini";
  }
  std::string In(const char* folder) const { return dir_.Path(folder); }

  ScopedTempDir dir_;
};

TEST_F(ArgumentModeTest, CountsTheFilesItChanged) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    int count;
  } cases[] = {
      {"one outdated folder", {In("old1")}, 1},
      {"two outdated folders", {In("old1"), In("old2")}, 2},
      {"the same folder twice", {In("old1"), In("old1")}, 1},
      {"three of which one counts",
       {In("empty"), In("old1"), In("current")},
       1},
      {"an up-to-date folder", {In("current")}, 0},
      {"option-like arguments", {"-h", "/?", "--help"}, 0},
      {"an empty argument", {""}, 0},
      {"a folder that does not exist", {In("missing")}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    const ProgramResult run = RunDefpatch(c.arguments, In("empty"));
    EXPECT_EQ(Summary(c.count), run.out);
    EXPECT_EQ("", run.err);
    EXPECT_EQ(c.count > 0 ? 0 : 1, run.status);
  }
}

TEST_F(ArgumentModeTest, SecondRunFindsTheFileCurrent) {
  ProgramResult first = RunDefpatch({In("old1")});
  EXPECT_EQ(Summary(1), first.out);
  EXPECT_EQ(0, first.status);
  ProgramResult second = RunDefpatch({In("old1")});
  EXPECT_EQ(Summary(0), second.out);
  EXPECT_EQ(1, second.status);
}

TEST_F(ArgumentModeTest, ListPatchesOnlyItsFirstFile) {
  const ProgramResult run =
      RunDefpatch({In("empty") + ";" + In("old1") + ";" + In("old2")});
  EXPECT_EQ(Summary(1), run.out);
  EXPECT_EQ(0, run.status);
  EXPECT_NE(kOutdatedSearchIni, ReadFileBytes(Ini("old1")));
  EXPECT_EQ(kOutdatedSearchIni, ReadFileBytes(Ini("old2")));
}

TEST_F(ArgumentModeTest, PatchedFileHoldsTheNewAddresses) {
  // Only the four values change; every other byte stays (the file is in
  // the layout that Wine, which rewrites whole files, keeps as well).
  EXPECT_EQ(0, RunDefpatch({In("old1")}).status);
  EXPECT_EQ(kCurrentSearchIni, ReadFileBytes(Ini("old1")));
}

// A file that cannot be written keeps its values and is not counted, so a
// run whose only file is read-only reports nothing done.
TEST_F(ArgumentModeTest, ReadOnlyFileIsNotCounted) {
  ReadOnlyFile read_only(Ini("old1"));
  ASSERT_TRUE(read_only.done());
  const ProgramResult run = RunDefpatch({In("old1")});
  EXPECT_EQ(Summary(0), run.out);
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(kOutdatedSearchIni, ReadFileBytes(Ini("old1")));
}

// Another run that is in the middle of patching a file holds it; this run
// waits for it rather than interleave its reads and writes with the other's.
class HeldFileTest : public ArgumentModeTest {
 protected:
  // Starts a holder of old1's file that waits seconds, then writes the
  // key-value pairs; returns when it holds the file.
  std::unique_ptr<StartedProgram> Hold(int seconds,
                                       std::vector<std::string> pairs = {}) {
    const fs::path ready = dir_.path() / "held";
    std::vector<std::string> arguments = {Ini("old1").string(), ready.string(),
                                          std::to_string(seconds)};
    arguments.insert(arguments.end(), pairs.begin(), pairs.end());
    auto holder =
        std::make_unique<StartedProgram>(HOLD_SEARCH_INI_EXE, arguments);
    EXPECT_TRUE(holder->started());
    for (int waited = 0; waited < 3000 && !fs::exists(ready); ++waited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(fs::exists(ready)) << "the holder did not get the file";
    return holder;
  }
};

// The holder patches the file itself before it lets go: this run then finds
// it current, so the two count the file once between them.
TEST_F(HeldFileTest, RunFindsTheFileAsTheHolderLeftIt) {
  auto holder =
      Hold(2, {"query/url",
               "https://www.youtube.com/results?search_query=[QUERY:UTF8]",
               "res2/url", "www.youtube.com/results?(*&)sp=*", "nextpage1",
               "www.youtube.com/results?(*&)search_query=*", "nextpage2",
               "www.youtube.com/results?(*&)sp=*"});
  const ProgramResult run = RunDefpatch({In("old1")});
  EXPECT_EQ(Summary(0), run.out);
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(kCurrentSearchIni, ReadFileBytes(Ini("old1")));
}

// A holder that dies lets the file go with it.
TEST_F(HeldFileTest, RunGoesOnWhenTheHolderDies) {
  auto holder = Hold(300);
  std::atomic<bool> done{false};
  ProgramResult run;
  std::thread runner([&] {
    run = RunDefpatch({In("old1")});
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_FALSE(done) << "the run did not wait for the holder";
  EXPECT_EQ(kOutdatedSearchIni, ReadFileBytes(Ini("old1")));
  holder->Kill();
  runner.join();
  EXPECT_EQ(Summary(1), run.out);
  EXPECT_EQ(0, run.status);
  EXPECT_EQ(kCurrentSearchIni, ReadFileBytes(Ini("old1")));
}

}  // namespace
