// defpatch stopped at the worst moments: killed at any point of a run, or
// refused its writes by a file-size limit or a full disk. Whatever happens,
// each search.ini is one of the states that whole writes lead it through,
// and a later run finishes the work.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "defpatch_run.h"
#include "scoped_temp_dir.h"
#include "search_ini_states.h"

namespace fs = std::filesystem;

namespace {

// A kill leaves the page cache as it was, so what matters is the order of
// the service's steps, not the disk: a memory file system, where syncing
// costs nothing, keeps many runs over many folders quick.
fs::path MemoryFolder() {
  std::error_code error;
  return fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm")
                                             : fs::temp_directory_path();
}

std::string Describe(const SearchIniFolders::Survey& survey) {
  std::string text = std::to_string(survey.patched) + " patched, " +
                     std::to_string(survey.between) + " part of the way, " +
                     std::to_string(survey.outdated) + " outdated, " +
                     std::to_string(survey.leftovers) + " other entries";
  for (const std::string& name : survey.leftover_names) text += " " + name;
  for (const std::string& name : survey.strange) text += "\n  strange: " + name;
  return text;
}

TEST(KilledRun, EveryFileStaysWholeAndAFinalRunCompletesThem) {
  constexpr int kFolders = 2000;
  constexpr int kKills = 20;
  ScopedTempDir dir(MemoryFolder());
  SearchIniFolders folders(dir.path(), kFolders);
  const int outdated = folders.OutdatedCount();

  // A run that is left alone: it patches every outdated file, and shows how
  // long a run takes, over which the kills are spread.
  auto start = std::chrono::steady_clock::now();
  {
    ChildProcess run(DEFPATCH_EXE, folders.paths());
    ASSERT_TRUE(run.Wait(300)) << "a run did not end";
    EXPECT_EQ(Summary(outdated), run.out());
    EXPECT_EQ(0, run.status());
    const auto survey = folders.Look();
    ASSERT_EQ(kFolders, survey.patched) << Describe(survey);
    ASSERT_EQ(0, survey.leftovers) << Describe(survey);
  }
  const std::chrono::duration<double> full =
      std::chrono::steady_clock::now() - start;
  RecordProperty("full_run_ms", static_cast<int>(full.count() * 1000));

  const unsigned seed = std::random_device()();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  folders.Reset();
  int kills = 0, rounds = 0, between = 0, leftovers = 0;
  for (; kills < kKills && rounds < 3 * kKills; ++rounds) {
    // Later runs pass the files already patched quickly: the kill falls
    // within the part of the run that is still to do.
    auto survey = folders.Look();
    int remaining = kFolders - survey.patched;
    if (remaining < outdated / 10) {
      folders.Reset();
      remaining = outdated;
    }
    const double window = full.count() * remaining / outdated;
    const std::chrono::duration<double> delay(
        std::uniform_real_distribution<double>(0, window)(random));

    ChildProcess run(DEFPATCH_EXE, folders.paths());
    std::this_thread::sleep_for(delay);
    run.Kill();
    ASSERT_TRUE(run.Wait(60));
    survey = folders.Look();
    SCOPED_TRACE("round " + std::to_string(rounds) + " after " +
                 std::to_string(delay.count()) + " s: " + Describe(survey));
    ASSERT_TRUE(survey.strange.empty());
    if (run.exited()) {
      // It finished before the kill came.
      EXPECT_EQ(kFolders, survey.patched);
      continue;
    }
    ++kills;
    between += survey.between;
    leftovers += survey.leftovers;
    // A temporary file that a killed write leaves must never be taken for
    // the file: the host application finds search.ini by its name, in any
    // letter case.
    for (const std::string& name : survey.leftover_names) {
      std::string lower = fs::path(name).filename().string();
      for (char& c : lower) c = static_cast<char>(tolower(c));
      EXPECT_NE("search.ini", lower);
    }
  }
  EXPECT_EQ(kKills, kills) << "the runs kept finishing before their kill";
  RecordProperty("rounds", rounds);
  RecordProperty("files_left_part_of_the_way", between);
  RecordProperty("temporary_files_left", leftovers);

  // A run to the end completes every file, counts exactly those it
  // changed, and leaves nothing behind.
  const auto before = folders.Look();
  ChildProcess run(DEFPATCH_EXE, folders.paths());
  ASSERT_TRUE(run.Wait(300)) << "the final run did not end";
  const int changed = kFolders - before.patched;
  EXPECT_EQ(Summary(changed), run.out()) << Describe(before);
  EXPECT_EQ(changed > 0 ? 0 : 1, run.status());
  const auto after = folders.Look();
  EXPECT_EQ(kFolders, after.patched) << Describe(after);
  EXPECT_EQ(0, after.leftovers) << Describe(after);
}

// A write that cannot be completed leaves the file as it was, leaves no
// temporary file behind, and is not counted; the run goes on to its
// summary.
class RefusedWriteTest : public ::testing::Test {
 protected:
  // An outdated file of about size bytes: other definitions fill it up.
  static std::string OutdatedFile(size_t size) {
    std::string bytes = StatesOf(0).old();
    for (int n = 0; bytes.size() < size; ++n) {
      bytes += "[SEARCHDEF-Filler" + std::to_string(n) +
               "]\r\nquery/url=https://example.com/search?q=[QUERY:UTF8]\r\n";
    }
    return bytes;
  }

  static void ExpectUntouched(const fs::path& folder, const std::string& old,
                              const ChildProcess& run) {
    EXPECT_EQ(0, run.signal()) << "the run was ended by a signal";
    EXPECT_EQ(Summary(0), run.out());
    EXPECT_EQ("", run.err());
    EXPECT_EQ(1, run.status());
    EXPECT_EQ(old, ReadFileBytes(folder / "search.ini"));
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
      entries.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(std::vector<std::string>{"search.ini"}, entries);
  }
};

// Past the limit a write fails and the kernel sends SIGXFSZ, which ends a
// process that does not expect it.
TEST_F(RefusedWriteTest, FileSizeLimit) {
  struct Case {
    const char* name;
    size_t file_size;
    unsigned long limit;
  } cases[] = {
      {"no byte of the copy fits", 700, 100},
      {"the copy is cut short", 100000, 65536},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    const std::string old = OutdatedFile(c.file_size);
    WriteFileBytes(dir.path() / "search.ini", old);
    ChildOptions limited;
    limited.file_size_limit = c.limit;
    ChildProcess run(DEFPATCH_EXE, {dir.Path()}, limited);
    ASSERT_TRUE(run.Wait(60));
    ExpectUntouched(dir.path(), old, run);
  }
}

// A memory file system of its own, mounted where this test process alone
// sees it (and the children it starts): it goes away with the process.
class SmallDisk {
 public:
  SmallDisk(const fs::path& at, const char* options) : at_(at) {
    mounted_ =
        unshare(CLONE_NEWNS) == 0 &&
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
        mount("tmpfs", at.c_str(), "tmpfs", 0, options) == 0;
  }
  ~SmallDisk() {
    if (mounted_) umount2(at_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  fs::path at_;
  bool mounted_ = false;
};

TEST_F(RefusedWriteTest, FullDisk) {
  struct Case {
    const char* name;
    const char* options;
    size_t file_size;
  } cases[] = {
      {"no room for the copy", "size=64k", 40000},
      {"no inode for the copy", "size=1m,nr_inodes=2", 700},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    SmallDisk disk(dir.path(), c.options);
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a file system here";
    const std::string old = OutdatedFile(c.file_size);
    WriteFileBytes(dir.path() / "search.ini", old);
    ASSERT_EQ(old, ReadFileBytes(dir.path() / "search.ini"));
    ChildProcess run(DEFPATCH_EXE, {dir.Path()});
    ASSERT_TRUE(run.Wait(60));
    ExpectUntouched(dir.path(), old, run);
  }
}

}  // namespace
