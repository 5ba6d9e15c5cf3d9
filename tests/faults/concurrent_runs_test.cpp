// Several defpatch runs over the same folders at once: each file is patched
// by one of them, completely, and counted once.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "defpatch_run.h"
#include "scoped_temp_dir.h"
#include "search_ini_states.h"

namespace {

// The number in a run's summary, or -1 when it printed anything else.
int CountIn(const std::string& out) {
  for (int count = 0; count <= 1000; ++count) {
    if (out == Summary(count)) return count;
  }
  return -1;
}

TEST(ConcurrentRuns, EachFileIsPatchedByOneRunAndCountedOnce) {
  constexpr int kRuns = 8;
  constexpr int kFolders = 200;
  // On the disk, where each write waits for its sync: the runs meet on
  // the same file for longer.
  ScopedTempDir dir;
  SearchIniFolders folders(dir.path(), kFolders);

  // All in the same order, so that they meet on each file; every other one
  // backwards, so that they also meet head-on.
  std::vector<std::unique_ptr<ChildProcess>> runs;
  for (int n = 0; n < kRuns; ++n) {
    std::vector<std::string> arguments = folders.paths();
    if (n % 2) std::reverse(arguments.begin(), arguments.end());
    runs.push_back(std::make_unique<ChildProcess>(DEFPATCH_EXE, arguments));
  }
  int total = 0;
  for (auto& run : runs) {
    ASSERT_TRUE(run->Wait(300)) << "a run did not end";
    const int count = CountIn(run->out());
    ASSERT_GE(count, 0) << run->out() << run->err();
    EXPECT_EQ(count > 0 ? 0 : 1, run->status());
    total += count;
  }
  EXPECT_EQ(folders.OutdatedCount(), total);
  const auto survey = folders.Look();
  EXPECT_EQ(kFolders, survey.patched);
  for (const std::string& strange : survey.strange) ADD_FAILURE() << strange;
  EXPECT_EQ(0, survey.leftovers);
}

}  // namespace
