#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "scoped_temp_dir.h"
#include "win32.h"

#ifndef _WIN32
#include <unistd.h>

#include "unix_path.h"
#endif

namespace fs = std::filesystem;

namespace {

// Folders a, b, e (empty) and u, whose search.ini files hold their folder's
// name, so that a found path shows which one was found.
class SearchPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a", "b"}) {
      WriteFileBytes(dir_.path() / name / "search.ini", name);
    }
    fs::create_directories(dir_.path() / "e");
    WriteFileBytes(dir_.path() / "u" / "SEARCH.INI", "u");
    original_ = fs::current_path();
  }
  void TearDown() override { fs::current_path(original_); }

  // The marker of the search.ini found on list, or "-" when none is.
  std::string Find(const std::string& list) {
    char buffer[MAX_PATH];
    LPSTR file_part = nullptr;
    DWORD n = SearchPathA(list.c_str(), "search.ini", nullptr, MAX_PATH, buffer,
                          &file_part);
    if (n == 0) return "-";
    EXPECT_LT(n, static_cast<DWORD>(MAX_PATH));
    EXPECT_EQ(n, strlen(buffer));
    EXPECT_NE(nullptr, file_part);
    return ReadFileBytes(buffer);
  }

  std::string In(const char* name) const { return dir_.Path(name); }

  ScopedTempDir dir_;
  fs::path original_;
};

TEST_F(SearchPathTest, SearchesTheListInOrder) {
  struct Case {
    std::string list;
    const char* cwd;  // folder made current first
    const char* found;
  } cases[] = {
      {In("a"), "e", "a"},
      {In("a") + ";" + In("b"), "e", "a"},  // the first entry wins
      {In("e") + ";" + In("b"), "e", "b"},
      {In("e"), "a", "-"},
      {In("e") + ";", "b", "-"},   // one trailing ';' adds nothing
      {In("e") + ";;", "b", "b"},  // an empty entry is the current folder
      {";" + In("a"), "b", "b"},
      {In("u"), "e", "u"},  // the name matches in any letter case
      {In("nowhere") + ";" + In("a"), "e", "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    fs::current_path(dir_.path() / c.cwd);
    EXPECT_EQ(c.found, Find(c.list));
  }
}

// The 8-bit file functions take no path longer than MAX_PATH characters: a
// folder that exists is not found by a name that long. (Wine's limit; the
// one of Windows is one character less.)
TEST(FileAttributes, NoPathLongerThanMaxPath) {
  ScopedTempDir dir;
  const std::string base =
      dir.Path() + std::string(1, fs::path::preferred_separator);
  ASSERT_LT(base.size(), 200u);
  for (size_t length : {MAX_PATH - 1, MAX_PATH, MAX_PATH + 1}) {
    SCOPED_TRACE(length);
    const std::string path = base + std::string(length - base.size(), 'd');
    ASSERT_TRUE(fs::create_directory(fs::path(path)));
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (length <= MAX_PATH) {
      EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY,
                attributes & FILE_ATTRIBUTE_DIRECTORY);
      EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    } else {
      EXPECT_EQ(INVALID_FILE_ATTRIBUTES, attributes);
    }
  }
}

#ifndef _WIN32

TEST_F(SearchPathTest, OnlyRegularFilesMatch) {
  fs::create_directories(dir_.path() / "d" / "search.ini");
  fs::create_directories(dir_.path() / "f");
  fs::create_symlink("/dev/null", dir_.path() / "f" / "search.ini");
  EXPECT_EQ("b", Find(In("d") + ";" + In("f") + ";" + In("b")));
}

TEST_F(SearchPathTest, ReportsTheSizeALongPathNeeds) {
  fs::path deep = dir_.path();
  while (deep.string().size() < 300) deep /= "a-rather-long-folder-name";
  WriteFileBytes(deep / "search.ini", "deep");
  const std::string expected = (deep / "search.ini").string();

  char small[MAX_PATH] = "untouched";
  LPSTR file_part = nullptr;
  DWORD needed = SearchPathA(deep.c_str(), "search.ini", nullptr, MAX_PATH,
                             small, &file_part);
  EXPECT_EQ(expected.size() + 1, needed);
  EXPECT_STREQ("untouched", small);

  std::string large(needed, '\0');
  EXPECT_EQ(expected.size(), SearchPathA(deep.c_str(), "search.ini", nullptr,
                                         needed, large.data(), &file_part));
  EXPECT_EQ(expected, large.c_str());
  EXPECT_STREQ("search.ini", file_part);
}

// A Wine prefix whose drive C: is its own drive_c, D: another folder and
// Z: the root, as Wine sets them up.
class WindowsPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(prefix_.path() / "dosdevices");
    fs::create_directories(prefix_.path() / "drive_c" / "Tools" / "App");
    WriteFileBytes(prefix_.path() / "drive_c/Tools/App/app.exe", "MZ");
    fs::create_directories(drive_d_.path() / "Shared" / "App");
    fs::create_directory_symlink("../drive_c",
                                 prefix_.path() / "dosdevices" / "c:");
    fs::create_directory_symlink(drive_d_.path(),
                                 prefix_.path() / "dosdevices" / "d:");
    fs::create_directory_symlink("/", prefix_.path() / "dosdevices" / "z:");
    const char* old = getenv("WINEPREFIX");
    had_prefix_ = old != nullptr;
    if (old) old_prefix_ = old;
    setenv("WINEPREFIX", prefix_.Path().c_str(), 1);
    original_ = fs::current_path();
  }
  void TearDown() override {
    fs::current_path(original_);
    if (had_prefix_) {
      setenv("WINEPREFIX", old_prefix_.c_str(), 1);
    } else {
      unsetenv("WINEPREFIX");
    }
  }

  std::string C(const std::string& tail) const {
    return fs::canonical(prefix_.path() / "drive_c").string() + tail;
  }
  std::string D(const std::string& tail) const {
    return fs::canonical(drive_d_.path()).string() + tail;
  }

  ScopedTempDir prefix_;
  ScopedTempDir drive_d_;
  bool had_prefix_ = false;
  std::string old_prefix_;
  fs::path original_;
};

TEST_F(WindowsPathTest, MapsDrivesAndComponents) {
  fs::current_path(drive_d_.path() / "Shared");
  struct Case {
    const char* path;
    std::string unix_path;
  } cases[] = {
      {"C:\\Tools\\App", C("/Tools/App")},
      {"c:\\TOOLS\\app\\APP.EXE", C("/Tools/App/app.exe")},
      {"C:\\Tools\\App\\", C("/Tools/App/")},
      {"C:/Tools/App", C("/Tools/App")},
      {"C:\\Tools\\..\\..\\Tools\\.\\App", C("/Tools/App")},
      {"C:\\Tools\\Gone\\x", C("/Tools/Gone/x")},
      {"C:", C("")},
      {"C:Tools", C("/Tools")},
      {"D:\\shared", D("/Shared")},
      {"\\App", D("/App")},  // the current drive is D:
      {"App\\..\\App", D("/Shared/App")},
      {"..\\Shared\\App", D("/Shared/App")},
      {"..\\..\\..\\Shared", D("/Shared")},  // not above the drive's root
      {"Z:\\tmp", "/tmp"},
      {"/tmp/x\\y", "/tmp/x\\y"},  // a Unix path stays as it is
      {"plain", "plain"},
      {"Q:\\Gone", ""},  // no such drive
      {"\\\\server\\share\\App", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.unix_path, win32::UnixPath(c.path));
  }
}

TEST_F(WindowsPathTest, RootOfTheCurrentDriveFallsBackToTheOneMappingRoot) {
  // Z: maps "/" and so holds every folder; the current drive is the one
  // that holds the current folder more closely, Z: only when none does.
  ScopedTempDir elsewhere;
  fs::current_path(elsewhere.path());
  EXPECT_EQ("/tmp", win32::UnixPath("\\tmp"));
  fs::current_path(prefix_.path() / "drive_c" / "Tools");
  EXPECT_EQ(C("/Tools"), win32::UnixPath("\\Tools"));
}

TEST_F(WindowsPathTest, AttributesTellDirectoriesFromFiles) {
  fs::current_path(prefix_.path() / "drive_c" / "Tools");
  struct Case {
    const char* path;
    DWORD attributes;
  } cases[] = {
      {"C:\\Tools\\App", FILE_ATTRIBUTE_DIRECTORY},
      {"C:\\Tools\\App\\", FILE_ATTRIBUTE_DIRECTORY},
      {"c:\\tools\\app", FILE_ATTRIBUTE_DIRECTORY},
      {"C:", FILE_ATTRIBUTE_DIRECTORY},
      {"D:", FILE_ATTRIBUTE_DIRECTORY},
      {"\\", FILE_ATTRIBUTE_DIRECTORY},
      {"App", FILE_ATTRIBUTE_DIRECTORY},  // relative to the current folder
      {"C:\\Tools\\App\\app.exe", FILE_ATTRIBUTE_ARCHIVE},
      {"C:\\Tools\\App\\app.exe\\", INVALID_FILE_ATTRIBUTES},
      {"C:\\Tools\\Gone", INVALID_FILE_ATTRIBUTES},
      {"Q:", INVALID_FILE_ATTRIBUTES},
      {"Q:\\Gone\\App", INVALID_FILE_ATTRIBUTES},
      {"\\\\server\\share", INVALID_FILE_ATTRIBUTES},
      {"\\\\", INVALID_FILE_ATTRIBUTES},
      {"", INVALID_FILE_ATTRIBUTES},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(c.attributes, GetFileAttributesA(c.path));
  }
}

TEST_F(WindowsPathTest, SearchPathTakesWindowsFormEntries) {
  WriteFileBytes(prefix_.path() / "drive_c/Tools/App/Search.INI", "app");
  char buffer[MAX_PATH];
  LPSTR file_part;
  DWORD n = SearchPathA("Q:\\Gone;c:\\tools\\app\\", "search.ini", nullptr,
                        MAX_PATH, buffer, &file_part);
  ASSERT_NE(0u, n);
  EXPECT_EQ(C("/Tools/App/Search.INI"), buffer);
  EXPECT_EQ("app", ReadFileBytes(buffer));
}

#endif  // _WIN32

}  // namespace
