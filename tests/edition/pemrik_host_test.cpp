// Pemrik as a host loads it: each case copies a test host, the Pemrik module
// and, where it asks for one, a variant of the language library "Varsel.dll"
// into a fresh folder, runs the host there and reads what it prints.
//
// The language library variants differ in string 3, the revision: "12",
// "7", "3", "abc", 5,000 digits, text that is no number, or none. Each also
// holds string 128 (the edition has it too), the three address templates
// 279, 283 and 298 and a dialog 4000, none of which but string 128 may be
// taken from it. The test host holds string 3 "9", strings 128, 279 and 4000
// and a resource HOSTDATA of type TESTDATA; the bare host holds no resources
// at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "run_program.h"
#include "scoped_temp_dir.h"
#include "win32.h"
#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

fs::path ThisProgramsFolder() {
  char path[4096] = "";
#ifdef _WIN32
  GetModuleFileNameA(nullptr, path, sizeof path);
#else
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  path[length > 0 ? length : 0] = '\0';
#endif
  return fs::path(path).parent_path();
}

// The standard output of host run in folder with args, or "" when it could
// not run or did not end with status 0.
std::string HostOutput(const fs::path& host, const fs::path& folder,
                       const std::vector<std::string>& args) {
  ProgramResult result = RunProgram(host.string(), args, folder.string());
  return result.status == 0 ? result.out : "";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    // Windows programs end their lines of text with "\r\n".
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// TEXT of a line "N:TEXT" that the host prints for LoadText, when N is its
// length.
std::string Text(const std::string& line) {
  size_t colon = line.find(':');
  std::string text = line.substr(colon + 1);
  if (colon == std::string::npos ||
      line.compare(0, colon, std::to_string(text.size())) != 0)
    return "<miscounted: " + line + ">";
  return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() &&
         text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class PemrikHostTest : public testing::Test {
 protected:
  // Copies host (kHost or kBareHost), the Pemrik module and, unless variant
  // is null, that language library variant into folder. The host's path.
  fs::path Install(const fs::path& folder, const char* host,
                   const char* variant) {
    fs::create_directories(folder);
    fs::copy_file(build_ / host, folder / host);
#ifdef PEMRIK_SONAME_FILE
    // As installed on Linux: the library under its SONAME, which the hosts
    // linked against it need, and under the name that LoadLibraryA finds.
    fs::copy_file(build_ / PEMRIK_DIR / PEMRIK_FILE,
                  folder / PEMRIK_SONAME_FILE);
    fs::create_hard_link(folder / PEMRIK_SONAME_FILE, folder / PEMRIK_FILE);
#else
    fs::copy_file(build_ / PEMRIK_DIR / PEMRIK_FILE, folder / PEMRIK_FILE);
#endif
    if (variant != nullptr) PlaceLanguage(folder, variant);
    return folder / host;
  }

  void PlaceLanguage(const fs::path& folder, const char* variant) {
    fs::create_directories(folder);
    fs::copy_file(build_ / "varsel" / variant / VARSEL_FILE,
                  folder / VARSEL_FILE);
  }

  static constexpr const char* kHost = HOST_FILE;
  static constexpr const char* kBareHost = BARE_HOST_FILE;

  const fs::path build_ = ThisProgramsFolder();
  ScopedTempDir temp_;
};

TEST_F(PemrikHostTest, FindsStringsAndResourcesAlongTheModuleChain) {
  struct Case {
    const char* host;
    const char* variant;  // null: no language library
    const char* revision;
    const char* name;       // string 128
    const char* host_only;  // string 4000
    const char* host_data;  // where HOSTDATA is found
  } cases[] = {
      {kHost, "rev12", "REV12;", "11:Varsel name", "9:host only", "host"},
      {kHost, "rev7", "REV07;", "11:Varsel name", "9:host only", "host"},
      {kHost, "rev3", "REV05;", "11:Varsel name", "9:host only", "host"},
      {kHost, "revabc", "REV05;", "11:Varsel name", "9:host only", "host"},
      {kHost, "norev", "REV09;", "11:Varsel name", "9:host only", "host"},
      // Only the first 9 characters of string 3 are read.
      {kHost, "revhuge", "REV123456789;", "11:Varsel name", "9:host only",
       "host"},
      {kHost, "revgarbage", "REV05;", "11:Varsel name", "9:host only", "host"},
      // Without the language library its null handle names the host, which
      // is then asked before the edition.
      {kHost, nullptr, "REV09;", "9:Host name", "9:host only", "host"},
      {kBareHost, "norev", "REV05;", "11:Varsel name", "0:", "none"},
      {kBareHost, nullptr, "REV05;", "8:Fennagle", "0:", "none"},
  };
  const std::vector<std::string> commands = {
      "text",
      "279",
      "256",  //
      "text",
      "298",
      "256",  //
      "text",
      "283",
      "256",  //
      "text",
      "128",
      "64",  //
      "text",
      "4000",
      "64",  //
      // Block 9 of the string table (128 to 143): in the edition and host.
      "locate",
      "id:9",
      "id:6",  //
      "locate",
      "a:HOSTDATA",
      "a:TESTDATA",  //
      "locate",
      "w:HOSTDATA",
      "w:TESTDATA",  //
      "copy",
      "w:HOSTDATA",
      "w:TESTDATA",  //
      "locate",
      "id:4000",
      "id:5",  // the language library's dialog
      // The executable answers with its own strings only, never with those
      // of the libraries it links.
      "host-string",
      "128",
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.host << " with " << (c.variant ? c.variant : "none"));
    fs::path folder = temp_.path() / (std::string(c.host) + "-" +
                                      (c.variant ? c.variant : "none"));
    fs::path host = Install(folder, c.host, c.variant);
    std::vector<std::string> lines = Lines(HostOutput(host, folder, commands));
    ASSERT_EQ(11u, lines.size());
    for (int line : {0, 1, 2}) {
      SCOPED_TRACE(lines[line]);
      EXPECT_EQ(0u, Text(lines[line]).find("https://")) << "not the edition's";
      EXPECT_EQ(line < 2, EndsWith(Text(lines[line]), c.revision));
    }
    EXPECT_EQ(c.name, lines[3]);
    EXPECT_EQ(c.host_only, lines[4]);
    EXPECT_EQ("edition", lines[5]);
    EXPECT_EQ(c.host_data, lines[6]);
    EXPECT_EQ(c.host_data, lines[7]);
    EXPECT_EQ(c.host == kHost ? "10:host bytes" : "null", lines[8]);
    EXPECT_EQ("none", lines[9]);
    EXPECT_EQ(c.host == kHost ? "9:Host name" : "0:", lines[10]);
  }
}

// The language library holds the three address templates too: the
// edition's are formatted all the same, with the library's revision.
TEST_F(PemrikHostTest, AddressesAreTheEditionsWithTheLanguagesRevision) {
  const std::string opening =
      "https://www.orvalle.example/fennagle/fennagleopening.html#OSTREL13D;";
  const std::string update =
      "https://www.orvalle.example/fennagle/updater.php?pemrik=";
  struct Case {
    const char* variant;
    const char* revision;
  } cases[] = {{"rev12", "REV12;"}, {"rev7", "REV07;"}, {"norev", "REV09;"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variant);
    fs::path folder = temp_.path() / c.variant;
    fs::path host = Install(folder, kHost, c.variant);
    std::vector<std::string> lines = Lines(HostOutput(
        host, folder,
        {"text", "279", "256", "text", "298", "256", "text", "283", "256"}));
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(opening + c.revision, Text(lines[0]));
    EXPECT_EQ(opening + "TITLE;" + c.revision, Text(lines[1]));
    EXPECT_EQ(update, Text(lines[2]));
  }
}

TEST_F(PemrikHostTest, HostBuiltAgainstTheHeaderBindsTheExports) {
  fs::path host = Install(temp_.path(), kBareHost, nullptr);
  std::vector<std::string> lines =
      Lines(HostOutput(host, temp_.path(), {"exports", "text", "279", "10"}));
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("42 0 4", lines[0]);
  EXPECT_EQ("9:https://w", lines[1]) << "capacity 10: 9 bytes";
}

// Loaded on the first string request, retried on every one while it fails,
// and loaded once when it is there.
TEST_F(PemrikHostTest, LanguageLibraryIsRetriedUntilItAppears) {
  fs::path host = Install(temp_.path(), kHost, nullptr);
  fs::path spare = temp_.path() / "spare";
  PlaceLanguage(spare, "rev12");
  std::vector<std::string> lines = Lines(HostOutput(
      host, temp_.path(),
      {"text", "128", "64", "text", "279", "256",                         //
       "place", (fs::path("spare") / VARSEL_FILE).string(), VARSEL_FILE,  //
       "text", "128", "64", "text", "279", "256", "text", "128", "64",    //
       "language-loads"}));
  ASSERT_EQ(7u, lines.size());
  EXPECT_EQ("9:Host name", lines[0]);
  EXPECT_TRUE(EndsWith(Text(lines[1]), "REV09;")) << lines[1];
  EXPECT_EQ("placed", lines[2]);
  EXPECT_EQ("11:Varsel name", lines[3]);
  EXPECT_TRUE(EndsWith(Text(lines[4]), "REV12;")) << lines[4];
  EXPECT_EQ("11:Varsel name", lines[5]);
  EXPECT_EQ("once", lines[6]);
}

// A library planted in the current directory is not the language library.
TEST_F(PemrikHostTest, LanguageLibraryIsNotTakenFromTheCurrentFolder) {
  fs::path host = Install(temp_.path() / "app", kHost, nullptr);
  fs::path current = temp_.path() / "work";
  fs::create_directories(current);
  PlaceLanguage(current, "rev12");
  std::vector<std::string> lines = Lines(HostOutput(
      host, current,
      {"text", "279", "256", "text", "128", "64", "language-loads"}));
  ASSERT_EQ(3u, lines.size());
  EXPECT_TRUE(EndsWith(Text(lines[0]), "REV09;")) << lines[0];
  EXPECT_EQ("9:Host name", lines[1]);
  EXPECT_EQ("absent", lines[2]);
}

}  // namespace
