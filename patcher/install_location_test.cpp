#include "install_location.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "scoped_temp_dir.h"
#include "win32.h"

namespace {

// A file system of folders given by name: each folder, with or without a
// trailing backslash, and each of its ancestors (bare drive designators
// included) is a directory; every other text is not. Records the queries.
class FakeDirectories {
 public:
  explicit FakeDirectories(const std::vector<std::string>& folders) {
    for (std::string folder : folders) {
      while (!folder.empty()) {
        directories_.insert(folder);
        directories_.insert(folder + "\\");
        const size_t cut = folder.rfind('\\');
        if (cut == std::string::npos) break;
        folder.resize(cut);
      }
    }
  }

  DirectoryTest Test() {
    return [this](const char* path) {
      queries_.push_back(path);
      return directories_.count(path) > 0;
    };
  }

  const std::vector<std::string>& queries() const { return queries_; }

 private:
  std::set<std::string> directories_;
  std::vector<std::string> queries_;
};

struct Case {
  const char* location;
  std::vector<std::string> folders;
  bool outcome;
  const char* result;
  std::vector<std::string> queries;
};

void Check(const Case& c) {
  SCOPED_TRACE(c.location);
  FakeDirectories fs(c.folders);
  std::string location = c.location;
  EXPECT_EQ(c.outcome, CleanInstallLocation(location, fs.Test()));
  EXPECT_EQ(c.result, location);
  EXPECT_EQ(c.queries, fs.queries());
}

const std::vector<std::string> kApp = {"C:\\Tools\\App"};
const std::vector<std::string> kTwo = {"C:\\Tools\\App", "D:\\Shared\\App"};

TEST(CleanInstallLocation, WorkedExamples) {
  const Case cases[] = {
      {"C:\\Tools\\App\\",
       kApp,
       true,
       "C:\\Tools\\App\\",
       {"C:\\Tools\\App\\"}},
      {"\"C:\\Tools\\App\\app.exe\" /min",
       kApp,
       true,
       "C:\\Tools\\App",
       {"\"C:\\Tools\\App\\app.exe\" /min", "\"C:\\Tools\\App\\app.exe",
        "\"C:\\Tools\\App", "\"C:\\Tools", "\"C:", "C:\\Tools\\App\\app.exe",
        "C:\\Tools\\App"}},
      {"C:\\Tools\\App;D:\\Shared\\App;",
       kTwo,
       true,
       "C:\\Tools\\App;D:\\Shared\\App",
       {"C:\\Tools\\App;D:\\Shared\\App;", "C:\\Tools\\App;D:\\Shared\\App",
        "C:\\Tools\\App;D:\\Shared", "C:\\Tools\\App;D:", "C:\\Tools\\App",
        "D:\\Shared\\App"}},
      {"C:\\Tools\\App,-silent",
       kApp,
       true,
       "C:\\Tools\\App",
       {"C:\\Tools\\App,-silent", "C:\\Tools\\App"}},
      {"C:\\Tools\\App\\app.exe,0",
       kApp,
       true,
       "C:\\Tools\\App",
       {"C:\\Tools\\App\\app.exe,0", "C:\\Tools\\App\\app.exe",
        "C:\\Tools\\App"}},
      {"Q:\\Gone\\App",
       {},
       false,
       "Q:\\Gone\\App",
       {"Q:\\Gone\\App", "Q:\\Gone", "Q:"}},
      {"App", {}, false, "App", {"App"}},
      {"C:\\Tools\\App;D:\\App",
       {"C:\\Tools\\App", "D:\\App"},
       true,
       "C:\\Tools\\App;D:",
       {"C:\\Tools\\App;D:\\App", "C:\\Tools\\App;D:", "C:\\Tools\\App", "D:"}},
      {"C:\\Tools\\App;D:\\Shared\\App",
       kTwo,
       true,
       "C:\\Tools\\App;D:\\Shared",
       {"C:\\Tools\\App;D:\\Shared\\App", "C:\\Tools\\App;D:\\Shared",
        "C:\\Tools\\App;D:", "C:\\Tools\\App", "D:\\Shared"}},
      {"C:\\Tools\\App\\Gone",
       kApp,
       true,
       "C:\\Tools\\App",
       {"C:\\Tools\\App\\Gone", "C:\\Tools\\App"}},
  };
  for (const Case& c : cases) Check(c);
}

TEST(CleanInstallLocation, EdgeCases) {
  const std::vector<std::string> kTwoApps = {"C:\\Tools\\App", "D:\\App"};
  const Case cases[] = {
      // A directory as a whole stays one entry, delimiters and all.
      {"C:\\A;B", {"C:\\A;B"}, true, "C:\\A;B", {"C:\\A;B"}},
      {"", {}, false, "", {""}},
      // Trailing delimiters make the last path a candidate.
      {"C:\\Tools\\App;D:\\App;",
       kTwoApps,
       true,
       "C:\\Tools\\App;D:\\App",
       {"C:\\Tools\\App;D:\\App;", "C:\\Tools\\App;D:\\App",
        "C:\\Tools\\App;D:", "C:\\Tools\\App", "D:\\App"}},
      {"C:\\Tools\\App;D:\\App\\",
       kTwoApps,
       true,
       "C:\\Tools\\App;D:\\App",
       {"C:\\Tools\\App;D:\\App\\", "C:\\Tools\\App;D:\\App",
        "C:\\Tools\\App;D:", "C:\\Tools\\App", "D:\\App"}},
      // A drive root as a later segment is never itself a candidate.
      {"C:\\Tools\\App;D:\\",
       kTwoApps,
       true,
       "C:\\Tools\\App;D:",
       {"C:\\Tools\\App;D:\\", "C:\\Tools\\App;D:", "C:\\Tools\\App", "D:"}},
      {"C:\\Tools\\App;D:\\;",
       kTwoApps,
       true,
       "C:\\Tools\\App;D:\\",
       {"C:\\Tools\\App;D:\\;", "C:\\Tools\\App;D:\\",
        "C:\\Tools\\App;D:", "C:\\Tools\\App", "D:\\"}},
      // A drive mark needs its backslash.
      {"C:\\Tools\\App;D:",
       kTwoApps,
       true,
       "C:\\Tools\\App",
       {"C:\\Tools\\App;D:", "C:\\Tools\\App"}},
      // The first character of a drive mark is not examined.
      {"C:\\Tools\\App;1:\\Data;",
       {"C:\\Tools\\App", "1:\\Data"},
       true,
       "C:\\Tools\\App;1:\\Data",
       {"C:\\Tools\\App;1:\\Data;", "C:\\Tools\\App;1:\\Data",
        "C:\\Tools\\App;1:", "C:\\Tools\\App", "1:\\Data"}},
      // The same folder can enter the list twice.
      {"C:\\Tools\\App\\a.exe,C:\\Tools\\App\\b.exe",
       kApp,
       true,
       "C:\\Tools\\App;C:\\Tools\\App",
       {"C:\\Tools\\App\\a.exe,C:\\Tools\\App\\b.exe",
        "C:\\Tools\\App\\a.exe,C:\\Tools\\App",
        "C:\\Tools\\App\\a.exe,C:\\Tools", "C:\\Tools\\App\\a.exe,C:",
        "C:\\Tools\\App\\a.exe", "C:\\Tools\\App", "C:\\Tools\\App"}},
      // A first segment that fails entirely does not stop the later ones.
      {"Q:\\Gone;D:\\Shared\\App;",
       kTwo,
       true,
       "D:\\Shared\\App",
       {"Q:\\Gone;D:\\Shared\\App;", "Q:\\Gone;D:\\Shared\\App",
        "Q:\\Gone;D:\\Shared", "Q:\\Gone;D:", "Q:\\Gone",
        "Q:", "D:\\Shared\\App"}},
      // A relative first path enters the list unchanged.
      {"Data\\Sub;D:\\App;",
       {"Data", "D:\\App"},
       true,
       "Data;D:\\App",
       {"Data\\Sub;D:\\App;", "Data\\Sub;D:\\App", "Data\\Sub;D:", "Data\\Sub",
        "Data", "D:\\App"}},
      // A network path falls back to its first backslash, the root of the
      // current drive.
      {"\\\\server\\share\\App;D:\\App;",
       {"\\", "D:\\App"},
       true,
       "\\;D:\\App",
       {"\\\\server\\share\\App;D:\\App;", "\\\\server\\share\\App;D:\\App",
        "\\\\server\\share\\App;D:", "\\\\server\\share\\App",
        "\\\\server\\share", "\\\\server", "\\", "D:\\App"}},
      // A quoted folder costs three failing queries before its drive mark.
      {"\"C:\\Tools\\App\"",
       kApp,
       true,
       "C:\\Tools\\App",
       {"\"C:\\Tools\\App\"", "\"C:\\Tools\\App", "\"C:\\Tools",
        "\"C:", "C:\\Tools\\App"}},
      // A drive mark whose backslash is the last character is still found.
      {"C:\\Tools\\App;D:\\",
       {"C:\\Tools\\App"},
       true,
       "C:\\Tools\\App",
       {"C:\\Tools\\App;D:\\", "C:\\Tools\\App;D:", "C:\\Tools\\App", "D:"}},
      // An unexpanded reference fails its segment; a later drive mark helps.
      {"%ProgramFiles%\\App;D:\\App;",
       {"D:\\App"},
       true,
       "D:\\App",
       {"%ProgramFiles%\\App;D:\\App;", "%ProgramFiles%\\App;D:\\App",
        "%ProgramFiles%\\App;D:", "%ProgramFiles%\\App", "%ProgramFiles%",
        "D:\\App"}},
  };
  for (const Case& c : cases) Check(c);
}

// No path longer than MAX_PATH characters names a directory through the
// platform's 8-bit functions: no such candidate is queried.
TEST(CleanInstallLocation, NoCandidateLongerThanMaxPath) {
  const std::string app = "C:\\Tools\\App\\";
  for (size_t x : {MAX_PATH - app.size(), MAX_PATH - app.size() + 1}) {
    SCOPED_TRACE(x);
    const std::string deep = app + std::string(x, 'x');
    const std::string location = deep + "\\y;";
    std::vector<std::string> queries = {location, "C:\\Tools\\App"};
    if (deep.size() <= MAX_PATH) queries.insert(queries.begin() + 1, deep);
    Check({location.c_str(), kApp, true, "C:\\Tools\\App", queries});
  }
}

// A segment with more candidates than a real location has is tried from its
// shortest candidate, up to the first folder that is missing: nothing below
// it can exist. The longest existing directory wins all the same, and a
// megabyte of folders costs a few queries per folder.
TEST(CleanInstallLocation, ManyCandidatesStopAtTheFirstMissingFolder) {
  const std::vector<std::string> folders = {"C:\\Program Files\\App"};
  std::string location, expected;
  int segments = 0;
  for (; location.size() < (1 << 20); ++segments) {
    const std::string folder = segments == 10000 ? folders[0]
                                                 : "C:\\Program Files\\Gone" +
                                                       std::to_string(segments);
    location += folder + ";";
    expected += (segments ? ";" : "") +
                (segments == 10000 ? folder : "C:\\Program Files");
  }
  FakeDirectories fs(folders);
  ASSERT_TRUE(CleanInstallLocation(location, fs.Test()));
  EXPECT_TRUE(location == expected) << location.substr(0, 200);
  ASSERT_GT(fs.queries().size(), 5u);
  const std::vector<std::string> first(fs.queries().begin() + 1,
                                       fs.queries().begin() + 5);
  EXPECT_EQ((std::vector<std::string>{"C:", "C:\\Program Files",
                                      "C:\\Program Files\\Gone0",
                                      "C:\\Program Files\\Gone0;C:"}),
            first);
  EXPECT_LE(fs.queries().size(), 1 + 5u * segments);
}

// The shortest-first trial goes on past a missing folder where the path
// may still lead somewhere: through "..", or past a name ending in '.' or
// ' ', which the platform drops from a path's last name only.
TEST(CleanInstallLocation, ManyCandidatesGoOnWhereAPathMayLeadBack) {
  std::string filler;
  for (int n = 0; n < 20; ++n) filler += "x,";
  struct {
    std::string location;
    std::set<std::string> directories;  // exactly these
    const char* result;
  } cases[] = {
      {"C:\\Gone\\..\\Tools\\App;" + filler,
       {"C:", "C:\\Gone\\..\\Tools", "C:\\Gone\\..\\Tools\\App"},
       "C:\\Gone\\..\\Tools\\App"},
      {"C:\\Tools\\App.\\Sub;" + filler,
       {"C:", "C:\\Tools", "C:\\Tools\\App.\\Sub"},
       "C:\\Tools\\App.\\Sub"},
      {"C:\\Tools\\App \\Sub;" + filler,
       {"C:", "C:\\Tools", "C:\\Tools\\App \\Sub"},
       "C:\\Tools\\App \\Sub"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.location);
    std::string location = c.location;
    EXPECT_TRUE(CleanInstallLocation(location, [&](const char* path) {
      return c.directories.count(path) > 0;
    }));
    EXPECT_EQ(c.result, location);
  }
}

TEST(CleanInstallLocation, IgnoresWhatFollowsTheFirstNul) {
  FakeDirectories fs(kApp);
  std::string location("C:\\Tools\\App\0D:\\Other;", 23);
  EXPECT_TRUE(CleanInstallLocation(location, fs.Test()));
  EXPECT_EQ(std::vector<std::string>{"C:\\Tools\\App"}, fs.queries());

  FakeDirectories none({});
  std::string gone("Q:\\Gone\0C:\\Tools\\App;", 22);
  EXPECT_FALSE(CleanInstallLocation(gone, none.Test()));
  EXPECT_EQ(std::string("Q:\\Gone\0C:\\Tools\\App;", 22), gone)
      << "a failed cleanup leaves the text exactly as it was";
  EXPECT_EQ((std::vector<std::string>{"Q:\\Gone", "Q:"}), none.queries());
}

// The real directory test asks the file system.
TEST(IsDirectory, AsksTheFileSystem) {
  ScopedTempDir dir;
  WriteFileBytes(dir.path() / "file", "x");
  EXPECT_TRUE(IsDirectory(dir.Path().c_str()));
  EXPECT_FALSE(IsDirectory(dir.Path("file").c_str()));
  EXPECT_FALSE(IsDirectory(dir.Path("missing").c_str()));
}

}  // namespace
