#include "profile_section.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "scoped_temp_dir.h"
#include "win32.h"

namespace fs = std::filesystem;

#ifndef _WIN32
// The editor's reads, seen through the linker: every size it asks for.
std::vector<DWORD> g_read_sizes;
extern "C" DWORD __real_GetPrivateProfileStringA(LPCSTR, LPCSTR, LPCSTR, LPSTR,
                                                 DWORD, LPCSTR);
extern "C" DWORD __wrap_GetPrivateProfileStringA(LPCSTR section, LPCSTR key,
                                                 LPCSTR default_value,
                                                 LPSTR buffer, DWORD size,
                                                 LPCSTR file) {
  g_read_sizes.push_back(size);
  return __real_GetPrivateProfileStringA(section, key, default_value, buffer,
                                         size, file);
}
#endif

namespace {

class ProfileSectionTest : public ::testing::Test {
 protected:
  std::string Ini() const { return dir_.Path("search.ini"); }
  void Write(const std::string& bytes) { WriteFileBytes(Ini(), bytes); }
  std::string Bytes() const { return ReadFileBytes(Ini()); }

  ScopedTempDir dir_;
};

TEST_F(ProfileSectionTest, ReadsValuesOfAnyLength) {
  struct Case {
    std::string stored;  // the text after "k="
    std::string value;
    std::vector<DWORD> sizes;
  } cases[] = {
      {"", "", {256}},
      {std::string(253, 'a'), std::string(253, 'a'), {256}},
      {std::string(254, 'a'), std::string(254, 'a'), {256, 512}},
      {std::string(600, 'a'), std::string(600, 'a'), {256, 512, 1024}},
      // A quoted value one short of fitting comes back two characters
      // short of the buffer: read again rather than take it cut.
      {"\"" + std::string(255, 'q') + "\"", std::string(255, 'q'), {256, 512}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.size());
    Write("[S]\r\nk=" + c.stored + "\r\n");
    CProfileSection profile(Ini().c_str());
#ifndef _WIN32
    g_read_sizes.clear();
#endif
    EXPECT_EQ(c.value, profile.ReadValue("S", "k"));
#ifndef _WIN32
    EXPECT_EQ(c.sizes, g_read_sizes);
#endif
  }
}

TEST_F(ProfileSectionTest, MissingReadsAsEmpty) {
  CProfileSection missing_file(dir_.Path("none.ini").c_str());
  EXPECT_EQ("", missing_file.ReadValue("S", "k"));
  EXPECT_FALSE(fs::exists(dir_.path() / "none.ini"));

  Write("[S]\r\nk=v\r\n");
  CProfileSection profile(Ini().c_str());
  EXPECT_EQ("", profile.ReadValue("T", "k"));
  EXPECT_EQ("", profile.ReadValue("S", "other"));
  EXPECT_EQ("v", profile.ReadValue("S", "k"));
}

TEST_F(ProfileSectionTest, WritesOnlyWhatDiffers) {
  const std::string kFile = "[S]\r\nk=Value\r\nempty=\r\n";
  struct Case {
    const char* key;
    const char* value;  // null: remove the key
    bool changed;
    const char* read_back;
  } cases[] = {
      {"k", "Value", false, "Value"},  // equal
      {"k", "value", true, "value"},   // letter case counts
      {"k", "Other", true, "Other"},  {"k", nullptr, true, ""},  // removed
      {"new", "v", true, "v"},                                   // added
      {"new", "", false, ""},  // empty equals missing
      {"new", nullptr, false, ""},    {"empty", "", false, ""},
      {"empty", nullptr, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + (c.value ? c.value : "(absent)"));
    Write(kFile);
    const auto written = fs::last_write_time(Ini());
    CProfileSection profile(Ini().c_str());
    profile.WriteIfDifferent("S", c.key, c.value);
    EXPECT_EQ(c.changed, profile.IsChanged());
    EXPECT_EQ(c.read_back, profile.ReadValue("S", c.key));
    if (!c.changed) {
      EXPECT_EQ(kFile, Bytes()) << "nothing may be written";
      EXPECT_EQ(written, fs::last_write_time(Ini()));
    }
  }
}

TEST_F(ProfileSectionTest, CreatesTheSectionAndTheFile) {
  CProfileSection profile(Ini().c_str());
  profile.WriteIfDifferent("S", "k", "v").WriteIfDifferent("S", "k2", "w");
  EXPECT_TRUE(profile.IsChanged());
  EXPECT_EQ("v", profile.ReadValue("S", "k"));
  EXPECT_EQ("w", profile.ReadValue("S", "k2"));
  EXPECT_EQ("[S]\r\nk=v\r\nk2=w\r\n", Bytes());
}

TEST_F(ProfileSectionTest, ChangedStaysSetAfterEqualWrites) {
  Write("[S]\r\nk=old\r\n");
  CProfileSection profile(Ini().c_str());
  profile.WriteIfDifferent("S", "k", "new");
  profile.WriteIfDifferent("S", "k", "new");
  EXPECT_TRUE(profile.IsChanged());
}

// A write that fails is not a change: a read-only file keeps its values and
// the editor says so.
TEST_F(ProfileSectionTest, ReadOnlyFileIsNotChanged) {
  const std::string kFile = "[S]\r\nk=old\r\n";
  Write(kFile);
  bool changed;
  std::string read_back;
  {
    ReadOnlyFile read_only(Ini());
    ASSERT_TRUE(read_only.done());
    CProfileSection profile(Ini().c_str());
    profile.WriteIfDifferent("S", "k", "new");
    changed = profile.IsChanged();
    read_back = profile.ReadValue("S", "k");
  }
  EXPECT_FALSE(changed);
  EXPECT_EQ("old", read_back);
  EXPECT_EQ(kFile, Bytes());
}

}  // namespace
