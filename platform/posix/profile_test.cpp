// Profile files. The reading cases run on both platforms: on Windows (under
// Wine) against the system's own GetPrivateProfileStringA, which shows that
// the Linux service reads as the platform does. Writes and the safety of the
// Linux service are tested on Linux only (Wine rewrites whole files).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "win32.h"

#ifndef _WIN32
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#endif

namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

int ProcessId() {
#ifdef _WIN32
  return static_cast<int>(GetCurrentProcessId());
#else
  return static_cast<int>(getpid());
#endif
}

// UTF-16 file bytes (with BOM) of text that is ASCII or BMP only.
std::string Utf16(std::u16string_view text, bool big_endian) {
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t unit : text) {
    char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit);
    out += big_endian ? high : low;
    out += big_endian ? low : high;
  }
  return out;
}

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("profile_test_" + std::to_string(ProcessId()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string PathOf(const std::string& name = "search.ini") const {
    return (dir_ / name).string();
  }
  void WriteFile(const std::string& bytes,
                 const std::string& name = "search.ini") const {
    std::ofstream(PathOf(name), std::ios::binary) << bytes;
  }
  std::string ReadFile(const std::string& name = "search.ini") const {
    std::ifstream in(PathOf(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::string> Entries(const std::string& folder = "") const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_ / folder)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // The value as the caller gets it (count and bytes), checking that the
  // buffer ends in a NUL and nothing past it was written.
  std::string Get(const char* section, const char* key, const char* def,
                  DWORD size = 64, const std::string& name = "search.ini") {
    std::string buffer(size + 8, '#');
    DWORD count = GetPrivateProfileStringA(section, key, def, buffer.data(),
                                           size, PathOf(name).c_str());
    EXPECT_TRUE(count < size || count == 0) << "count " << count;
    if (count < size) {
      EXPECT_EQ('\0', buffer[count]) << "no NUL after the value";
    }
    EXPECT_EQ(std::string(8, '#'), buffer.substr(size)) << "past the buffer";
    return buffer.substr(0, count);
  }

  fs::path dir_;
};

// ---- Reading, on both platforms -------------------------------------------

struct ReadCase {
  const char* what;
  std::string file;
  const char* section;
  const char* key;
  const char* def;
  std::string expected;
  DWORD size = 64;
};

const std::string kNames =
    "[Section]\r\n"
    "Key=value\r\n"
    "  spaced   =   padded value \t\r\n"
    "\ttabbed\t=\ttab\t\r\n"
    "\vvt\f=\fform\v\r\n"
    "nbsp=\xA0x\xA0\r\n"
    "[S\xE9]\r\n"
    "k=accented\r\n";

const std::string kQuotes =
    "[Q]\r\n"
    "double=\"quoted\"\r\n"
    "single='quoted'\r\n"
    "inner=\"a\"b\"\r\n"
    "spaced=  \" spaced \"  \r\n"
    "empty=\"\"\r\n"
    "open=\"value\r\n"
    "close=value\"\r\n"
    "mixed=\"value'\r\n"
    "one=\"\r\n"
    "five=\"abcde\"\r\n"
    "plain=abcde\r\n";

const std::string kHeaders =
    "[ spaced ]\r\nk=1\r\n"
    "[[double]]\r\nk=2\r\n"
    "[a]b]\r\nk=3\r\n"
    "[tail] trailing\r\nk=4\r\n"
    "[open\r\nk=5\r\n"
    "; [comment]\r\nc=6\r\n"
    "[]\r\nhidden=7\r\n";

const std::string kNul =
    "[N]\r\n"
    "cut=ab\0cd\r\n"s
    "blank=ab \0cd\r\n"s
    "quoted=\"ab\"\0x\r\n"s
    "key\0junk=v\r\n"s
    "\0lost=v\r\n"s
    "after=ok\r\n"
    "[T\0X]\r\nk=t\r\n"s;

TEST_F(ProfileTest, ReadsAsThePlatformDoes) {
  const ReadCase cases[] = {
      // Names match without regard to ASCII case, trimmed on both sides.
      {"name case", kNames, "section", "KEY", "-", "value"},
      {"request trimmed", kNames, " Section ", " key ", "-", "value"},
      {"blanks around key and value", kNames, "Section", "spaced", "-",
       "padded value"},
      {"tabs", kNames, "Section", "tabbed", "-", "tab"},
      {"VT and FF are blanks", kNames, "Section", "vt", "-", "form"},
      {"0xA0 is no blank", kNames, "Section", "nbsp", "-", "\xA0x\xA0"},
      // Only ASCII folds: 0xE9 and 0xC9 are different names.
      {"non-ASCII case differs", kNames, "S\xC9", "k", "-", "-"},
      {"non-ASCII same", kNames, "S\xE9", "k", "-", "accented"},

      // One pair of the same quote is dropped.
      {"double quotes", kQuotes, "Q", "double", "-", "quoted"},
      {"single quotes", kQuotes, "Q", "single", "-", "quoted"},
      {"outer pair only", kQuotes, "Q", "inner", "-", "a\"b"},
      {"blanks inside quotes", kQuotes, "Q", "spaced", "-", " spaced "},
      {"empty quotes", kQuotes, "Q", "empty", "-", ""},
      {"opening quote only", kQuotes, "Q", "open", "-", "\"value"},
      {"closing quote only", kQuotes, "Q", "close", "-", "value\""},
      {"mixed quotes", kQuotes, "Q", "mixed", "-", "\"value'"},
      {"a lone quote", kQuotes, "Q", "one", "-", "\""},

      // A quoted value needs two bytes more than its length; one more than
      // its length gives one byte less (the caller's margin of 2).
      {"quoted, size = length", kQuotes, "Q", "five", "-", "abcd", 5},
      {"quoted, size = length + 1", kQuotes, "Q", "five", "-", "abcd", 6},
      {"quoted, size = length + 2", kQuotes, "Q", "five", "-", "abcde", 7},
      {"quoted, size 2", kQuotes, "Q", "five", "-", "a", 2},
      {"unquoted, size = length", kQuotes, "Q", "plain", "-", "abcd", 5},
      {"unquoted, size = length + 1", kQuotes, "Q", "plain", "-", "abcde", 6},
      {"unquoted, size = length + 2", kQuotes, "Q", "plain", "-", "abcde", 7},
      {"size 1", kQuotes, "Q", "plain", "-", "", 1},
      {"size 2", kQuotes, "Q", "plain", "-", "a", 2},

      // Defaults: trailing spaces trimmed (not its first byte, not a TAB),
      // leading blanks kept, quotes treated as a value's, cut to the buffer.
      {"missing section", kNames, "Other", "Key", "dflt", "dflt"},
      {"missing key", kNames, "Section", "other", "dflt", "dflt"},
      {"default trimmed at the end", kNames, "Section", "x", "  d f  ",
       "  d f"},
      {"default keeps a TAB", kNames, "Section", "x", "d\t ", "d\t"},
      {"default of spaces keeps one", kNames, "Section", "x", "  ", " "},
      {"null default", kNames, "Section", "x", nullptr, ""},
      {"quoted default", kNames, "Section", "x", "\"d\"", "d"},
      {"default cut", kNames, "Section", "x", "default", "def", 4},
      {"empty value is no default", "[E]\r\nk=\r\n", "E", "k", "-", ""},
      {"blank value is no default", "[E]\r\nk=  \t\r\n", "E", "k", "-", ""},

      // A line without '=' is a key without a value that hides later ones.
      {"bare key", "[B]\r\njustakey\r\njustakey=v\r\n", "B", "justakey", "-",
       "-"},

      // ';' only hides a line from requests that do not name it.
      {"comment", "[C]\r\n;key=hidden\r\n", "C", "key", "-", "-"},
      {"comment named", "[C]\r\n;key=hidden\r\n", "C", ";key", "-", "hidden"},
      {"# is no comment", "[C]\r\n#key=x\r\n", "C", "#key", "-", "x"},
      {"';' in a value", "[C]\r\nk=value ; note\r\n", "C", "k", "-",
       "value ; note"},

      {"header trimmed", kHeaders, "spaced", "k", "-", "1"},
      {"brackets in a name", kHeaders, "[double]", "k", "-", "2"},
      {"name up to the last ]", kHeaders, "a]b", "k", "-", "3"},
      {"text after ] ignored", kHeaders, "tail", "k", "-", "4"},
      {"no ], no header", kHeaders, "open", "k", "-", "-"},
      {"commented header", kHeaders, "comment", "c", "-", "-"},
      {"commented header's lines", kHeaders, "tail", "c", "-", "6"},
      {"empty header hides its keys", kHeaders, "", "hidden", "-", "-"},

      {"lines before the first header", "k=pre\r\n[S]\r\nother=1\r\n", "S", "k",
       "-", "-"},
      {"first of two sections", "[D]\r\na=1\r\n[d]\r\na=2\r\nb=2\r\n", "D", "a",
       "-", "1"},
      {"second section unreachable", "[D]\r\na=1\r\n[d]\r\na=2\r\nb=2\r\n", "D",
       "b", "-", "-"},
      {"first of two keys", "[K]\r\nk=first\r\nK=second\r\n", "K", "k", "-",
       "first"},

      // Every line end ends a line; blank lines and a missing final line
      // end are fine.
      {"LF", "[S]\na=1\n\nb=2", "S", "b", "-", "2"},
      {"CR", "[S]\ra=1\r\rb=2", "S", "b", "-", "2"},
      {"CR CR LF", "[S]\r\r\na=1\r\r\nb=2\r\r\n", "S", "b", "-", "2"},
      {"LF CR", "[S]\n\ra=1\n\rb=2\n\r", "S", "a", "-", "1"},

      // A NUL ends a name or value; the line around it still counts.
      {"NUL cuts a value", kNul, "N", "cut", "-", "ab"},
      {"NUL after blanks", kNul, "N", "blank", "-", "ab "},
      {"quotes before a NUL", kNul, "N", "quoted", "-", "ab"},
      {"NUL in a key", kNul, "N", "key", "-", "v"},
      {"NUL first", kNul, "N", "lost", "-", "-"},
      {"lines after NULs", kNul, "N", "after", "-", "ok"},
      {"NUL in a header", kNul, "T", "k", "-", "t"},

      {"'=' in a value", "[S]\r\nk=a=b==c\r\n", "S", "k", "-", "a=b==c"},
      {"'/' in a key", "[S]\r\nquery/url=x\r\n", "S", "query/url", "-", "x"},
      {"key is not split", "[S]\r\nquery/url=x\r\n", "S", "url", "-", "-"},
      {"bytes that are not UTF-8", "[S]\r\nk=\xE9t\xE9\r\n", "S", "k", "-",
       "\xE9t\xE9"},

      {"UTF-8 BOM", "\xEF\xBB\xBF[S]\r\nk=v\r\n", "S", "k", "-", "v"},
      {"UTF-16LE", Utf16(u"[S]\r\nk=v\r\n", false), "S", "k", "-", "v"},
      {"UTF-16BE", Utf16(u"[S]\r\nk=v\r\n", true), "S", "k", "-", "v"},
#ifndef _WIN32
      // Non-ASCII text from a file with a BOM reaches the caller in the
      // ANSI code page: UTF-8 here, 1252 on the Windows test machine.
      {"UTF-8 BOM, accented", "\xEF\xBB\xBF[S]\r\nk=caf\xC3\xA9\r\n", "S", "k",
       "-", "caf\xC3\xA9"},
      {"UTF-16LE, accented", Utf16(u"[S]\r\nk=caf\u00E9 \u65E5\r\n", false),
       "S", "k", "-", "caf\xC3\xA9 \xE6\x97\xA5"},
#endif
  };
  int index = 0;
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.what);
    // A file per case: the platform may keep a file it read in memory and
    // miss a rewrite within its clock's resolution.
    const std::string name = "read" + std::to_string(index++) + ".ini";
    WriteFile(c.file, name);
    EXPECT_EQ(c.expected, Get(c.section, c.key, c.def, c.size, name));
  }
}

TEST_F(ProfileTest, SizeZeroLeavesTheBufferAlone) {
  WriteFile("[S]\r\nk=value\r\n");
  char buffer[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(
      0u, GetPrivateProfileStringA("S", "k", "-", buffer, 0, PathOf().c_str()));
  EXPECT_EQ('#', buffer[0]);
}

TEST_F(ProfileTest, MissingFileReadsAsDefault) {
  EXPECT_EQ("dflt", Get("S", "k", "dflt"));
  EXPECT_EQ("dflt", Get("S", "k", "dflt", 64, "no-such-dir/search.ini"));
}

TEST_F(ProfileTest, LongValueHasNoLineLimit) {
  const std::string value(100000, 'v');
  WriteFile("[S]\r\nk=" + value + "x\r\nnext=1\r\n");
  const DWORD length = static_cast<DWORD>(value.size() + 1);
  EXPECT_EQ(value + "x", Get("S", "k", "-", length + 1));
  EXPECT_EQ(value, Get("S", "k", "-", length));
  EXPECT_EQ("1", Get("S", "next", "-"));
}

#ifndef _WIN32

// ---- Writing, Linux only --------------------------------------------------

BOOL Write(const char* section, const char* key, const char* value,
           const std::string& path) {
  return WritePrivateProfileStringA(section, key, value, path.c_str());
}

struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(0, lstat(path.c_str(), &st)) << path;
  return st;
}

struct WriteCase {
  const char* what;
  std::optional<std::string> before;  // none: no file
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

TEST_F(ProfileTest, WriteChangesOnlyWhatItMust) {
  const WriteCase cases[] = {
      {"replaced in place, spellings and spacing kept",
       "; sites\r\n[searchdef-youtube]\r\nname=YouTube\r\n"
       "Query/URL = old ; x \r\nmaxpages=5\r\n\r\n[Other]\r\nquery/url=o\r\n",
       "SEARCHDEF-YouTube", "query/url", "new",
       "; sites\r\n[searchdef-youtube]\r\nname=YouTube\r\n"
       "Query/URL = new \r\nmaxpages=5\r\n\r\n[Other]\r\nquery/url=o\r\n"},
      {"blanks and quotes around the old value", "[S]\r\n  key\t=\t\"v\"  \r\n",
       "S", "key", "new", "[S]\r\n  key\t=\tnew  \r\n"},
      {"empty value", "[S]\r\nk=\r\n", "S", "k", "v", "[S]\r\nk=v\r\n"},
      {"bare key gets its value", "[S]\r\njustakey\r\njustakey=old\r\n", "S",
       "justakey", "v", "[S]\r\njustakey=v\r\njustakey=old\r\n"},
      {"stored quotes are part of the value", "[S]\r\nk=\"q\"\r\n", "S", "k",
       "q", "[S]\r\nk=q\r\n"},
      {"leading blanks of the value dropped", "[S]\r\nk=x\r\n", "S", "k",
       "  sp  ", "[S]\r\nk=sp  \r\n"},
      {"new key after comments, before blank lines and the next header",
       "[A]\r\na=1\r\n; note\r\n\r\n[B]\r\nb=1\r\n", "A", "n", "v",
       "[A]\r\na=1\r\n; note\r\nn=v\r\n\r\n[B]\r\nb=1\r\n"},
      {"new key in the first of two sections", "[A]\r\na=1\r\n[a]\r\nn=old\r\n",
       "A", "n", "v", "[A]\r\na=1\r\nn=v\r\n[a]\r\nn=old\r\n"},
      {"new key in an empty section", "[A]\r\n[B]\r\n", "A", "n", "v",
       "[A]\r\nn=v\r\n[B]\r\n"},
      {"new key after a last line without line end", "[A]\r\na=1", "A", "n",
       "v", "[A]\r\na=1\r\nn=v\r\n"},
      {"missing section appended", "[A]\r\na=1\r\n\r\n", "B", "k", "v",
       "[A]\r\na=1\r\n\r\n[B]\r\nk=v\r\n"},
      {"missing section after a last line without line end", "[A]\r\na=1", "B",
       "k", "v", "[A]\r\na=1\r\n[B]\r\nk=v\r\n"},
      {"new file", std::nullopt, "SEARCHDEF-YouTube", "query/url", "x",
       "[SEARCHDEF-YouTube]\r\nquery/url=x\r\n"},
      {"empty file", "", "S", "k", "v", "[S]\r\nk=v\r\n"},
      {"LF kept for a new key", "[A]\na=1\n[B]\n", "A", "n", "v",
       "[A]\na=1\nn=v\n[B]\n"},
      {"LF kept for a new section", "[A]\na=1", "B", "k", "v",
       "[A]\na=1\n[B]\nk=v\n"},
      {"CR kept for a new key", "[A]\ra=1\r", "A", "n", "v", "[A]\ra=1\rn=v\r"},
      {"CR kept for a new section", "[A]\ra=1\r", "B", "k", "v",
       "[A]\ra=1\r[B]\rk=v\r"},
      {"deleted", "[A]\r\na=1\r\nb=2\r\n", "A", "a", nullptr, "[A]\r\nb=2\r\n"},
      {"deleted last line", "[A]\r\na=1\r\nb=2", "A", "b", nullptr,
       "[A]\r\na=1\r\n"},
      {"odd bytes elsewhere kept",
       "; caf\xE9\r\n[A]\r\nz=\xFF\xFE\0x\r\n\0\r\na=1\r\n"s, "A", "a", "2",
       "; caf\xE9\r\n[A]\r\nz=\xFF\xFE\0x\r\n\0\r\na=2\r\n"s},
      {"UTF-8 BOM kept", "\xEF\xBB\xBF[A]\r\na=1\r\n", "A", "n", "caf\xC3\xA9",
       "\xEF\xBB\xBF[A]\r\na=1\r\nn=caf\xC3\xA9\r\n"},
      {"UTF-16LE kept", Utf16(u"[A]\r\na=1\r\n", false), "A", "a",
       "\xC3\xA9\xE6\x97\xA5", Utf16(u"[A]\r\na=\u00E9\u65E5\r\n", false)},
      {"UTF-16BE kept", Utf16(u"[A]\r\na=1\r\n", true), "B", "k", "v",
       Utf16(u"[A]\r\na=1\r\n[B]\r\nk=v\r\n", true)},
      {"UTF-16: overlong forms of LF and NUL are no characters",
       Utf16(u"[A]\r\na=1\r\n", false), "A", "a", "x\xC0\x8Ay=\xE0\x80\x80",
       Utf16(u"[A]\r\na=x\uFFFD\uFFFDy=\uFFFD\uFFFD\uFFFD\r\n", false)},
  };
  int index = 0;
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = "write" + std::to_string(index++) + ".ini";
    if (c.before) WriteFile(*c.before, name);
    EXPECT_TRUE(Write(c.section, c.key, c.value, PathOf(name)));
    EXPECT_EQ(c.after, ReadFile(name));
  }
}

TEST_F(ProfileTest, WriteReadsBackWhatItWrote) {
  const std::string path = PathOf();
  ASSERT_TRUE(Write("S", "quoted", "\"a b\"", path));
  ASSERT_TRUE(Write("S", "spaced", "v  ", path));
  ASSERT_TRUE(Write("S", "gone", "x", path));
  ASSERT_TRUE(Write("S", "gone", nullptr, path));
  EXPECT_EQ("a b", Get("S", "quoted", "-"));
  EXPECT_EQ("v", Get("S", "spaced", "-"));
  EXPECT_EQ("-", Get("S", "gone", "-"));
}

// These writes change nothing, so the file is not even rewritten.
TEST_F(ProfileTest, WriteThatChangesNothingLeavesTheFileAlone) {
  struct Case {
    const char* what;
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"same value", "S", "k", "v"},
      {"same value, other case of names", " s ", " K ", "v"},
      {"same raw value with quotes", "S", "q", "\"q\""},
      {"same value after leading blanks", "S", "k", "  v"},
      {"delete a missing key", "S", "missing", nullptr},
      {"delete in a missing section", "Other", "k", nullptr},
  };
  const std::string before = "[S]\r\nk=v\r\nq=\"q\"\r\n";
  WriteFile(before);
  const struct timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(0, utimensat(AT_FDCWD, PathOf().c_str(), old_times, 0));
  const struct stat st = StatOf(PathOf());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_TRUE(Write(c.section, c.key, c.value, PathOf()));
    const struct stat now = StatOf(PathOf());
    EXPECT_EQ(st.st_ino, now.st_ino);
    EXPECT_EQ(st.st_mtim.tv_sec, now.st_mtim.tv_sec);
    EXPECT_EQ(before, ReadFile());
  }
  EXPECT_TRUE(Write("S", "k", nullptr, PathOf("absent.ini")));
  EXPECT_EQ(std::vector<std::string>{"search.ini"}, Entries());
}

// A name or value that would break the file's lines, or not read back as
// written, is refused rather than written.
TEST_F(ProfileTest, WriteRefusesWhatWouldNotReadBack) {
  struct Case {
    const char* what;
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"line break in the value", "S", "k", "x\r\n[S]\r\nk=injected"},
      {"CR in the value", "S", "k", "x\ry=1"},
      {"line break in the key", "S", "k\nz", "v"},
      {"line break in the section", "S]\n[T", "k", "v"},
      {"'=' in the key", "S", "a=b", "v"},
      {"key that starts a header", "S", "[T]", "v"},
      {"null section", nullptr, "k", "v"},
      {"null key", "S", nullptr, "v"},
  };
  const std::string before = "[S]\r\nk=v\r\n";
  WriteFile(before);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(Write(c.section, c.key, c.value, PathOf()));
    EXPECT_EQ(before, ReadFile());
  }
}

TEST_F(ProfileTest, WriteFailsWhereNoFileCanBe) {
  EXPECT_FALSE(Write("S", "k", "v", PathOf("missing/search.ini")));
  EXPECT_FALSE(fs::exists(PathOf("missing")));
  // A path that the platform cannot reach (a network share).
  const char* share = "\\\\server\\share\\search.ini";
  EXPECT_FALSE(Write("S", "k", "v", share));
  char buffer[8];
  EXPECT_EQ(4u, GetPrivateProfileStringA("S", "k", "dflt", buffer,
                                         sizeof buffer, share));
  EXPECT_TRUE(Entries().empty());
}

// ---- Safety of the Linux service ------------------------------------------

// Runs body in a child process; its exit status, or -1 when it crashed or
// had to be killed after the timeout (so a blocking call fails the test).
int RunInChild(const std::function<int()>& body, int seconds = 30) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  for (int waited = 0; waited < seconds * 100; ++waited) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  ADD_FAILURE() << "child still running after " << seconds << " s";
  return -1;
}

TEST_F(ProfileTest, WriteReplacesTheFileWhole) {
  WriteFile("[S]\r\nk=old\r\n");
  const ino_t old_inode = StatOf(PathOf()).st_ino;
  int fd = open(PathOf().c_str(), O_RDONLY);  // a reader holding it open
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(Write("S", "k", "new", PathOf()));
  EXPECT_NE(old_inode, StatOf(PathOf()).st_ino);
  char held[32] = {};
  EXPECT_EQ(12, read(fd, held, sizeof held));
  EXPECT_STREQ("[S]\r\nk=old\r\n", held) << "the open file was changed";
  close(fd);
  EXPECT_EQ("[S]\r\nk=new\r\n", ReadFile());
  EXPECT_EQ(std::vector<std::string>{"search.ini"}, Entries());
}

// Files may not grow past 4 KiB: writing the new content fails. Past the
// limit the kernel also sends SIGXFSZ, which by default ends a process; the
// write fails all the same and the process lives on, its signal mask and
// pending signals as they were.
TEST_F(ProfileTest, WriteThatFailsMidwayLeavesTheOldFile) {
  const std::string before = "[S]\r\nk=old\r\nother=1\r\n";
  const std::string big(20000, 'x');
  for (auto action : {SIG_IGN, SIG_DFL}) {
    SCOPED_TRACE(action == SIG_IGN ? "signal ignored" : "signal's default");
    WriteFile(before);
    int status = RunInChild([&] {
      signal(SIGXFSZ, action);
      const struct rlimit limit = {4096, 4096};
      setrlimit(RLIMIT_FSIZE, &limit);
      sigset_t mask_before, mask_after, pending;
      sigprocmask(SIG_SETMASK, nullptr, &mask_before);
      if (Write("S", "k", big.c_str(), PathOf())) return 1;
      sigprocmask(SIG_SETMASK, nullptr, &mask_after);
      if (sigismember(&mask_after, SIGXFSZ) !=
          sigismember(&mask_before, SIGXFSZ))
        return 2;
      sigpending(&pending);
      return sigismember(&pending, SIGXFSZ) ? 3 : 0;
    });
    EXPECT_EQ(0, status) << "1: the write did not fail, 2: mask changed, "
                            "3: signal left pending, -1: the process died";
    EXPECT_EQ(before, ReadFile());
    EXPECT_EQ(std::vector<std::string>{"search.ini"}, Entries());
  }
}

// A writer killed between making its temporary file and the rename leaves
// that file behind; the next write in the folder removes it, and nothing
// else. Those of this process may be another thread's write in progress.
TEST_F(ProfileTest, WriteRemovesTemporaryFilesOfWritersThatDied) {
  WriteFile("[S]\r\nk=old\r\n");
  const std::vector<std::string> leftovers = {".profile-1-0.tmp",
                                              ".profile-4194304-99.tmp"};
  std::vector<std::string> kept = {
      ".profile-1-0.tmp.bak",
      "x.profile-1-0.tmp",
      ".profile-01-0.tmp",
      ".profile--1-0.tmp",
      ".profile-1-0.TMP",
      ".profile-1.tmp",
      ".profile-1-0-0.tmp",
      "other.ini",
      "search.ini",
      ".profile-" + std::to_string(getpid()) + "-7.tmp"};
  for (const std::string& name : leftovers) WriteFile("x", name);
  for (const std::string& name : kept) {
    if (name != "search.ini") WriteFile("x", name);
  }
  std::sort(kept.begin(), kept.end());
  std::vector<std::string> all = kept;
  all.insert(all.end(), leftovers.begin(), leftovers.end());
  std::sort(all.begin(), all.end());

  // A write that changes nothing writes nothing in the folder.
  ASSERT_TRUE(Write("S", "k", "old", PathOf()));
  EXPECT_EQ(all, Entries());
  ASSERT_TRUE(Write("S", "k", "new", PathOf()));
  EXPECT_EQ(kept, Entries());
  EXPECT_EQ("[S]\r\nk=new\r\n", ReadFile());
}

TEST_F(ProfileTest, WriteFailsWhereNoTemporaryFileCanBeMade) {
  const std::string before = "[S]\r\nk=old\r\n";
  WriteFile(before);
  // An immutable folder takes no new file, even from root; the file in it
  // could still be written in place.
  int folder = open(dir_.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(folder, 0);
  int flags = 0;
  if (ioctl(folder, FS_IOC_GETFLAGS, &flags) != 0) {
    close(folder);
    GTEST_SKIP() << "no file attributes here";
  }
  flags |= FS_IMMUTABLE_FL;
  if (ioctl(folder, FS_IOC_SETFLAGS, &flags) != 0) {
    close(folder);
    GTEST_SKIP() << "cannot make the folder immutable";
  }
  const BOOL written = Write("S", "k", "new", PathOf());
  flags &= ~FS_IMMUTABLE_FL;
  ioctl(folder, FS_IOC_SETFLAGS, &flags);
  close(folder);
  EXPECT_FALSE(written);
  EXPECT_EQ(before, ReadFile());
  EXPECT_EQ(std::vector<std::string>{"search.ini"}, Entries());
}

TEST_F(ProfileTest, WriteThroughSymbolicLinkKeepsTheLink) {
  fs::create_directories(dir_ / "real");
  fs::create_directories(dir_ / "link");
  WriteFile("[S]\r\nk=old\r\n", "real/search.ini");
  ASSERT_EQ(0,
            symlink("../real/search.ini", PathOf("link/search.ini").c_str()));
  ASSERT_TRUE(Write("S", "k", "new", PathOf("link/search.ini")));
  EXPECT_TRUE(S_ISLNK(StatOf(PathOf("link/search.ini")).st_mode));
  EXPECT_EQ("../real/search.ini",
            fs::read_symlink(PathOf("link/search.ini")).string());
  EXPECT_EQ("[S]\r\nk=new\r\n", ReadFile("real/search.ini"));
  EXPECT_EQ(std::vector<std::string>{"search.ini"}, Entries("real"));
  // A dangling link: the file it names is created.
  ASSERT_EQ(0, symlink("real/new.ini", PathOf("dangling.ini").c_str()));
  ASSERT_TRUE(Write("S", "k", "v", PathOf("dangling.ini")));
  EXPECT_TRUE(S_ISLNK(StatOf(PathOf("dangling.ini")).st_mode));
  EXPECT_EQ("[S]\r\nk=v\r\n", ReadFile("real/new.ini"));
}

TEST_F(ProfileTest, WriteKeepsPermissionsAndOwner) {
  WriteFile("[S]\r\nk=old\r\n");
  ASSERT_EQ(0, chmod(PathOf().c_str(), 0640));
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(0, chown(PathOf().c_str(), 4321, 8765));
  }
  const struct stat before = StatOf(PathOf());
  ASSERT_TRUE(Write("S", "k", "new", PathOf()));
  const struct stat after = StatOf(PathOf());
  EXPECT_NE(before.st_ino, after.st_ino) << "not replaced";
  EXPECT_EQ(0640u, after.st_mode & 07777);
  EXPECT_EQ(before.st_uid, after.st_uid);
  EXPECT_EQ(before.st_gid, after.st_gid);

  // A new file: 0666 less the umask.
  const mode_t old_mask = umask(027);
  const BOOL created = Write("S", "k", "v", PathOf("new.ini"));
  umask(old_mask);
  ASSERT_TRUE(created);
  EXPECT_EQ(0640u, StatOf(PathOf("new.ini")).st_mode & 07777);
}

TEST_F(ProfileTest, ConcurrentWritersLoseNoUpdate) {
  WriteFile("[Shared]\r\nbase=1\r\n");
  constexpr int kWriters = 8, kRounds = 50;
  std::vector<pid_t> children;
  for (int writer = 0; writer < kWriters; ++writer) {
    pid_t pid = fork();
    if (pid == 0) {
      const std::string key = "writer" + std::to_string(writer);
      for (int round = 0; round < kRounds; ++round) {
        const std::string value = std::to_string(round);
        if (!Write("Shared", key.c_str(), value.c_str(), PathOf())) _exit(1);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int writer = 0; writer < kWriters; ++writer) {
    const std::string key = "writer" + std::to_string(writer);
    EXPECT_EQ(std::to_string(kRounds - 1), Get("Shared", key.c_str(), "lost"))
        << key;
  }
  EXPECT_EQ("1", Get("Shared", "base", "lost"));
  EXPECT_EQ(std::vector<std::string>{"search.ini"}, Entries());
}

TEST_F(ProfileTest, FileWithoutOwnerWriteBitIsReadOnly) {
  const std::string before = "[S]\r\nk=old\r\n";
  WriteFile(before);
  ASSERT_EQ(0, chmod(PathOf().c_str(), 0444));
  EXPECT_FALSE(Write("S", "k", "new", PathOf()));
  EXPECT_FALSE(Write("S", "k", nullptr, PathOf()));
  EXPECT_EQ(before, ReadFile());
  EXPECT_EQ("old", Get("S", "k", "-"));
  EXPECT_EQ(0444u, StatOf(PathOf()).st_mode & 07777);
}

// Root may read any file; the service still treats a file whose owner may
// not read it as unreadable: it reads as missing, and a write, which would
// have to keep the lines it cannot read, fails.
TEST_F(ProfileTest, FileWithoutOwnerReadBitIsUnreadable) {
  const std::string before = "[S]\r\nk=old\r\n";
  for (mode_t mode : {0200, 0000, 0244}) {
    SCOPED_TRACE(mode);
    WriteFile(before);
    ASSERT_EQ(0, chmod(PathOf().c_str(), mode));
    EXPECT_EQ("-", Get("S", "k", "-"));
    EXPECT_FALSE(Write("S", "k", "new", PathOf()));
    EXPECT_FALSE(Write("S", "k", nullptr, PathOf()));
    EXPECT_FALSE(Write("S", "other", "v", PathOf()));
    ASSERT_EQ(0, chmod(PathOf().c_str(), 0600));
    EXPECT_EQ(before, ReadFile());
  }
}

// A FIFO, folder or device named like the file reads as missing, takes no
// write and blocks nothing; it stays what it was.
TEST_F(ProfileTest, OnlyRegularFilesAreProfiles) {
  ASSERT_EQ(0, mkfifo(PathOf("fifo.ini").c_str(), 0666));
  fs::create_directories(dir_ / "folder.ini");
  // The null device, made here so that a fault cannot touch the system's.
  if (mknod(PathOf("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    ASSERT_EQ(0, symlink("null", PathOf("device.ini").c_str()));
  }
  const auto before = Entries();
  for (const std::string name : {"fifo.ini", "folder.ini", "device.ini"}) {
    if (!fs::exists(fs::symlink_status(PathOf(name)))) continue;
    SCOPED_TRACE(name);
    const std::string path = PathOf(name);
    EXPECT_EQ(0, RunInChild([&] {
                char buffer[16];
                GetPrivateProfileStringA("S", "k", "dflt", buffer,
                                         sizeof buffer, path.c_str());
                bool read_ok = std::string(buffer) == "dflt";
                bool write_failed = !Write("S", "k", "v", path);
                return read_ok && write_failed ? 0 : 1;
              }));
  }
  EXPECT_EQ(before, Entries());
  EXPECT_TRUE(S_ISFIFO(StatOf(PathOf("fifo.ini")).st_mode));
  EXPECT_TRUE(fs::is_empty(dir_ / "folder.ini"));
}

TEST_F(ProfileTest, EveryReadSeesTheFileAsItIsNow) {
  WriteFile("[S]\r\nk=one\r\n");
  EXPECT_EQ("one", Get("S", "k", "-"));
  WriteFile("[S]\r\nk=two\r\n");  // same size, same second
  EXPECT_EQ("two", Get("S", "k", "-"));
  ASSERT_TRUE(Write("S", "k", "three", PathOf()));
  EXPECT_EQ("three", Get("S", "k", "-"));
}

#endif  // !_WIN32

}  // namespace
