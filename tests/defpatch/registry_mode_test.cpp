// defpatch without arguments: the installed copies that the host
// application's installer registered under the Uninstall key.
//
// Under Wine the copies are registered in the test prefix's real registry
// with reg.exe, in the 64-bit view that the x86_64 test build reads. On
// Linux they are written into a system.reg of a prefix of the test's own
// (the 32-bit view of a 64-bit prefix, as Wine lays it out), and, where
// Wine is installed, also registered by the real `reg add /reg:32`.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "defpatch_run.h"
#include "scoped_temp_dir.h"

#ifndef _WIN32
#include "wine_prefix.h"
#endif

namespace fs = std::filesystem;

namespace {

const char kUninstall[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char* const kSuffixes[] = {"21", "23", "26", "27", "28", "29", "2B"};

std::string ProductCode(const std::string& suffix) {
  return "{4C8A2F10-7B3E-4D91-A6C5-19E0B7D3F4" + suffix + "}";
}

// One registered copy: its product code's suffix and its InstallLocation.
struct Entry {
  std::string suffix;
  std::string type;  // "REG_SZ", "REG_EXPAND_SZ", "REG_MULTI_SZ", "REG_BINARY"
  std::vector<std::string> strings;  // REG_MULTI_SZ: each string
};

#ifdef _WIN32

// The test prefix's own registry, through reg.exe.
class Installations {
 public:
  Installations() { Clear(); }
  ~Installations() { Clear(); }

  /// A folder for a copy: its path for the file system and as registered.
  fs::path Folder(const std::string& name) const { return dir_.path() / name; }
  std::string Registered(const std::string& name) const {
    return Folder(name).string();
  }

  void Register(const std::vector<Entry>& entries) {
    for (const Entry& entry : entries) {
      std::vector<std::string> args = {
          "add", Key(entry.suffix), "/v", "InstallLocation",
          "/t",  entry.type,        "/f", "/reg:64"};
      if (!entry.strings.empty()) {
        std::string data;
        for (const std::string& s : entry.strings) {
          data += (data.empty() ? "" : "\\0") + s;
        }
        args.insert(args.end(), {"/d", data});
      }
      ASSERT_EQ(0, RunProgram(kReg, args).status);
    }
  }

  ProgramResult Run() { return RunDefpatch({}); }

 private:
  static constexpr char kReg[] = "C:\\windows\\system32\\reg.exe";

  static std::string Key(const std::string& suffix) {
    return std::string("HKLM\\") + kUninstall + "\\" + ProductCode(suffix);
  }
  void Clear() {
    for (const char* suffix : kSuffixes) {
      RunProgram(kReg, {"delete", Key(suffix), "/f", "/reg:64"});
    }
  }

  ScopedTempDir dir_;
};

#else

// A Wine prefix of the test's own, whose system.reg the test writes.
class Installations {
 public:
  fs::path Folder(const std::string& name) const {
    return prefix_.Folder(name);
  }
  std::string Registered(const std::string& name) const {
    return prefix_.WindowsFolder(name);
  }

  void Register(const std::vector<Entry>& entries) {
    std::string lines;
    for (const Entry& entry : entries) {
      lines += "[" + ProductCode(entry.suffix) +
               "]\n\"InstallLocation\"=" + Data(entry) + "\n";
    }
    prefix_.WriteUninstallEntries(lines);
  }

  ProgramResult Run() {
    ScopedWinePrefix use(prefix_.Path());
    return RunDefpatch({});
  }

 private:
  static std::string Data(const Entry& entry) {
    if (entry.type == "REG_BINARY") return "hex:";
    if (entry.type == "REG_MULTI_SZ") {
      return TestWinePrefix::MultiString(entry.strings);
    }
    const std::string text = TestWinePrefix::Quoted(entry.strings.at(0));
    return entry.type == "REG_EXPAND_SZ" ? "str(2):" + text : text;
  }

  TestWinePrefix prefix_;
};

#endif

class RegistryModeTest : public ::testing::Test {
 protected:
  // A copy's folder with an outdated search.ini.
  std::string Install(const std::string& name) {
    WriteFileBytes(copies_.Folder(name) / "search.ini", kOutdatedSearchIni);
    return copies_.Registered(name);
  }
  bool Patched(const std::string& name) const {
    return ReadFileBytes(copies_.Folder(name) / "search.ini") ==
           kCurrentSearchIni;
  }

  Installations copies_;
};

TEST_F(RegistryModeTest, NoCopyRegistered) {
  const ProgramResult run = copies_.Run();
  EXPECT_EQ(Summary(0), run.out);
  EXPECT_EQ(1, run.status);
}

TEST_F(RegistryModeTest, PatchesEveryRegisteredCopy) {
  copies_.Register({
      {"21", "REG_SZ", {Install("One") + "\\"}},
      {"26", "REG_MULTI_SZ", {Install("Two"), Install("Three")}},
      {"2B", "REG_EXPAND_SZ", {Install("Four")}},
  });
  const ProgramResult run = copies_.Run();
  EXPECT_EQ(Summary(3), run.out);
  EXPECT_EQ("", run.err);
  EXPECT_EQ(0, run.status);
  EXPECT_TRUE(Patched("One"));
  // A multi-string location is a list: only its first file is patched.
  EXPECT_TRUE(Patched("Two"));
  EXPECT_FALSE(Patched("Three"));
  EXPECT_TRUE(Patched("Four"));
}

TEST_F(RegistryModeTest, SameFolderTwiceCountsOnce) {
  const std::string folder = Install("Shared");
  copies_.Register({{"23", "REG_SZ", {folder}}, {"29", "REG_SZ", {folder}}});
  const ProgramResult run = copies_.Run();
  EXPECT_EQ(Summary(1), run.out);
  EXPECT_EQ(0, run.status);
}

TEST_F(RegistryModeTest, EmptyLocationsAreSkipped) {
  copies_.Register({
      {"21", "REG_BINARY", {}},  // no bytes at all
      {"23", "REG_SZ", {""}},    // its terminator only
      {"27", "REG_SZ", {Install("App")}},
  });
  const ProgramResult run = copies_.Run();
  EXPECT_EQ(Summary(1), run.out);
  EXPECT_TRUE(Patched("App"));
}

// An environment reference is handed on as it stands, never expanded.
TEST_F(RegistryModeTest, ExpandableLocationIsNotExpanded) {
  const std::string folder = Install("Expanded");
  SetEnvironment("DEFPATCH_TEST_FOLDER", folder.c_str());
  copies_.Register({{"21", "REG_EXPAND_SZ", {"%DEFPATCH_TEST_FOLDER%\\"}}});
  const ProgramResult run = copies_.Run();
  SetEnvironment("DEFPATCH_TEST_FOLDER", nullptr);
  EXPECT_EQ(Summary(0), run.out);
  EXPECT_EQ(1, run.status);
  EXPECT_FALSE(Patched("Expanded"));
}

#ifndef _WIN32
// The copies as Wine's own installer tools register them: a prefix made by
// wine64, values written by `reg add /reg:32` into the view that a 32-bit
// program sees, read by the native defpatch.
TEST(RegistryMode, PrefixMadeByWine) {
  const std::string wine = "/usr/lib/wine/wine64";
  const std::string server = "/usr/lib/wine/wineserver";
  if (!fs::exists(wine)) GTEST_SKIP() << "wine64 is not installed";

  ScopedTempDir prefix;
  ScopedWinePrefix use(prefix.Path());
  SetEnvironment("WINEDEBUG", "-all");
  SetEnvironment("WINEDLLOVERRIDES", "mscoree,mshtml=");
  ASSERT_EQ(0, RunProgram(wine, {"wineboot", "-i"}).status);
  const fs::path programs = prefix.path() / "drive_c" / "Program Files";
  const std::string key = std::string("HKLM\\") + kUninstall + "\\";
  struct {
    const char* suffix;
    const char* type;
    std::string data;
  } entries[] = {
      {"21", "REG_SZ", "C:\\Program Files\\One\\"},
      {"26", "REG_MULTI_SZ",
       "C:\\Program Files\\Two\\0C:\\Program Files\\Three"},
      {"2B", "REG_EXPAND_SZ", "C:\\Program Files\\Four"},
  };
  for (const char* name : {"One", "Two", "Three", "Four"}) {
    WriteFileBytes(programs / name / "search.ini", kOutdatedSearchIni);
  }
  for (const auto& entry : entries) {
    ASSERT_EQ(0,
              RunProgram(wine, {"reg", "add", key + ProductCode(entry.suffix),
                                "/v", "InstallLocation", "/t", entry.type, "/d",
                                entry.data, "/f", "/reg:32"})
                  .status);
  }
  // The registry reaches system.reg when the server ends.
  RunProgram(server, {"-w"});
  SetEnvironment("WINEDEBUG", nullptr);
  SetEnvironment("WINEDLLOVERRIDES", nullptr);

  const ProgramResult run = RunDefpatch({});
  EXPECT_EQ(Summary(3), run.out);
  EXPECT_EQ(0, run.status);
  for (const char* name : {"One", "Two", "Four"}) {
    EXPECT_EQ(kCurrentSearchIni, ReadFileBytes(programs / name / "search.ini"))
        << name;
  }
  EXPECT_EQ(kOutdatedSearchIni,
            ReadFileBytes(programs / "Three" / "search.ini"));
}

// Without a registry to read, the run ends at once with its one message.
TEST(RegistryMode, UninstallKeyThatCannotBeOpened) {
  ScopedTempDir empty;
  for (const std::string& prefix : {empty.Path(), empty.Path("missing")}) {
    SCOPED_TRACE(prefix);
    ScopedWinePrefix use(prefix);
    const ProgramResult run = RunDefpatch({});
    EXPECT_EQ("Patch search.ini for youtube\nkey open error\n", run.out);
    EXPECT_EQ("", run.err);
    EXPECT_EQ(1, run.status);
  }
}
#endif

}  // namespace
