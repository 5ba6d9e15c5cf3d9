// A search.ini that is no ordinary file: a FIFO, a link to a device, a
// folder, a link that leads nowhere or in a circle, a file that may not be
// read. None of them blocks or crashes a run, none is written, nothing
// outside the folders changes, and the summary says exactly what was done.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "child_process.h"
#include "defpatch_run.h"
#include "scoped_temp_dir.h"
#include "search_ini_states.h"

namespace fs = std::filesystem;

namespace {

// What an entry of the tree is: its type, permissions and bytes, or the
// target of a link.
std::string Snapshot(const fs::path& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return "gone";
  std::string what = std::to_string(st.st_mode) + " ";
  if (S_ISLNK(st.st_mode)) return what + fs::read_symlink(path).string();
  if (S_ISREG(st.st_mode)) return what + ReadFileBytes(path);
  return what;
}

// Every entry below folder, by its path relative to root. Links are not
// followed.
void SnapshotTree(const fs::path& root, const fs::path& folder,
                  std::map<std::string, std::string>& tree) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    tree[entry.path().lexically_relative(root).string()] =
        Snapshot(entry.path());
    if (fs::is_directory(entry.symlink_status())) {
      SnapshotTree(root, entry.path(), tree);
    }
  }
}

std::map<std::string, std::string> SnapshotTree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  SnapshotTree(root, root, tree);
  return tree;
}

// The entries that differ between two snapshots, for a failure message.
std::string Differences(const std::map<std::string, std::string>& expected,
                        const std::map<std::string, std::string>& actual) {
  std::string text;
  for (const auto& [path, what] : expected) {
    auto it = actual.find(path);
    if (it == actual.end()) {
      text += "\n  gone: " + path;
    } else if (it->second != what) {
      text += "\n  changed: " + path + " (" + it->second.substr(0, 80) + ")";
    }
  }
  for (const auto& [path, what] : actual) {
    if (!expected.count(path)) text += "\n  new: " + path;
  }
  return text;
}

class OddFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFileBytes(Path("real/search.ini"), kOld);
    WriteFileBytes(Path("outside/linked.ini"), kOld);
    ASSERT_EQ(0, mkfifo(Path("outside/pipe").c_str(), 0666));
    fs::create_directories(Path("fifo"));
    ASSERT_EQ(0, mkfifo(Path("fifo/search.ini").c_str(), 0666));
    // A zero device reads without end; made here, so that a fault cannot
    // touch the system's own.
    fs::create_directories(Path("device"));
    if (mknod(Path("outside/zero").c_str(), S_IFCHR | 0666, makedev(1, 5)) ==
        0) {
      fs::create_symlink("../outside/zero", Path("device/search.ini"));
    }
    WriteFileBytes(Path("directory/search.ini/search.ini"), kOld);
    fs::create_directories(Path("dangling"));
    fs::create_symlink("missing.ini", Path("dangling/search.ini"));
    fs::create_directories(Path("looping"));
    fs::create_symlink("other.ini", Path("looping/search.ini"));
    fs::create_symlink("search.ini", Path("looping/other.ini"));
    fs::create_directories(Path("fifo-linked"));
    fs::create_symlink("../outside/pipe", Path("fifo-linked/search.ini"));
    WriteFileBytes(Path("unreadable/search.ini"), kOld);
    fs::permissions(Path("unreadable/search.ini"), fs::perms::owner_write);
    fs::create_directories(Path("linked"));
    fs::create_symlink("../outside/linked.ini", Path("linked/search.ini"));
  }

  // A snapshot of the old file turned into one of the patched file.
  void Patch(std::string& snapshot) const {
    snapshot = snapshot.substr(0, snapshot.find(' ') + 1) + kPatched;
  }

  std::string Path(const std::string& relative) const {
    return dir_.Path(relative);
  }

  const std::string kOld = StatesOf(0).old();
  const std::string kPatched = StatesOf(0).patched();
  ScopedTempDir dir_;
};

TEST_F(OddFilesTest, NoneIsReadOrWrittenAndTheRealOneIsFound) {
  // Only root may make a device.
  const bool device = fs::is_symlink(Path("device/search.ini"));
  struct Case {
    std::vector<std::string> lists;  // folders joined with ';'
    int count;
    std::vector<std::string> changed;  // relative to the tree
  } cases[] = {
      {{"fifo"}, 0, {}},
      {{"device"}, 0, {}},
      {{"directory"}, 0, {}},
      {{"dangling"}, 0, {}},
      {{"looping"}, 0, {}},
      {{"fifo-linked"}, 0, {}},
      // None of those is a match: the search goes on to the real file.
      {{"fifo", "device", "directory", "dangling", "looping", "fifo-linked",
        "real"},
       1,
       {"real/search.ini"}},
      // A file that may not be read is a match that cannot be patched: a
      // folder listed after it is not searched.
      {{"unreadable"}, 0, {}},
      {{"unreadable", "real"}, 0, {}},
      // Through a link to a file elsewhere, that file is patched; the link
      // stays a link.
      {{"linked"}, 1, {"outside/linked.ini"}},
  };
  std::vector<std::string> one_each;
  for (const char* folder : {"fifo", "device", "directory", "dangling",
                             "looping", "fifo-linked", "unreadable", "real"}) {
    if (std::string(folder) != "device" || device) {
      one_each.push_back(Path(folder));
    }
  }

  for (const Case& c : cases) {
    std::string list;
    for (const std::string& folder : c.lists) {
      if (folder == "device" && !device) continue;
      list += (list.empty() ? "" : ";") + Path(folder);
    }
    if (list.empty()) continue;
    SCOPED_TRACE(list);
    const auto before = SnapshotTree(dir_.path());
    ChildProcess run(DEFPATCH_EXE, {list});
    ASSERT_TRUE(run.Wait(30)) << "the run did not end";
    EXPECT_EQ(Summary(c.count), run.out());
    EXPECT_EQ("", run.err());
    EXPECT_EQ(c.count > 0 ? 0 : 1, run.status());

    auto expected = before;
    for (const std::string& changed : c.changed) Patch(expected[changed]);
    EXPECT_EQ("", Differences(expected, SnapshotTree(dir_.path())));
    // Back to the old state for the next case.
    for (const std::string& changed : c.changed) {
      WriteFileBytes(Path(changed), kOld);
    }
  }

  // Every odd folder and the real one as arguments of one run.
  const auto before = SnapshotTree(dir_.path());
  ChildProcess run(DEFPATCH_EXE, one_each);
  ASSERT_TRUE(run.Wait(30)) << "the run did not end";
  EXPECT_EQ(Summary(1), run.out());
  auto expected = before;
  Patch(expected["real/search.ini"]);
  EXPECT_EQ("", Differences(expected, SnapshotTree(dir_.path())));
}

}  // namespace
