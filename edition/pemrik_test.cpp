// The resource operations and LoadText, with the test executable as both
// the edition and the host module (the chain of modules is tested with real
// libraries and hosts in tests/edition).
#include "Pemrik.h"

#include <gtest/gtest.h>
#include <string.h>

#include <memory>
#include <string>

#include "module_handles.h"

namespace {

class PemrikTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(
        DllMain(GetModuleHandleA(nullptr), DLL_PROCESS_ATTACH, nullptr));
  }

  std::string Bytes(HGLOBAL loaded, HRSRC resource) {
    auto* data = static_cast<const char*>(LockResource(loaded));
    if (data == nullptr) return "<null>";
    return std::string(data, SizeofResource(exe_, resource));
  }

  CPemrik0& pemrik_ = g_Pemrik;
  HMODULE exe_ = GetModuleHandleA(nullptr);
};

// An 8-bit name in storage of exactly its size, so that AddressSanitizer
// reports any read past its terminator.
std::unique_ptr<char[]> Narrow(const std::string& text) {
  std::unique_ptr<char[]> copy(new char[text.size() + 1]);
  memcpy(copy.get(), text.c_str(), text.size() + 1);
  return copy;
}

// The same name as 16-bit text, passed through the 8-bit signature.
std::unique_ptr<WCHAR[]> Wide(const std::string& text) {
  std::unique_ptr<WCHAR[]> copy(new WCHAR[text.size() + 1]);
  for (size_t i = 0; i <= text.size(); ++i) copy[i] = text.c_str()[i];
  return copy;
}

LPCSTR AsName(const std::unique_ptr<WCHAR[]>& wide) {
  return reinterpret_cast<LPCSTR>(wide.get());
}

// Names "A", "BB", "CCC" and so on: read as 8-bit text, a 16-bit name is
// its first letter alone, which names no resource but "A".
TEST_F(PemrikTest, LocatesNamesGivenInEitherForm) {
  for (char c = 'A'; c <= 'P'; ++c) {
    std::string name(c - 'A' + 1, c);
    SCOPED_TRACE(name);
    HRSRC expected = FindResourceA(exe_, name.c_str(), "TESTDATA");
    ASSERT_NE(nullptr, expected);
    auto narrow = Narrow(name);
    auto narrow_type = Narrow("TESTDATA");
    auto wide = Wide(name);
    auto wide_type = Wide("TESTDATA");
    const struct {
      LPCSTR name, type;
    } forms[] = {
        {narrow.get(), narrow_type.get()},
        {AsName(wide), AsName(wide_type)},
    };
    for (const auto& form : forms) {
      ResourceRef found = pemrik_.LocateResource(form.name, form.type);
      EXPECT_EQ(exe_, found.module);
      EXPECT_EQ(expected, found.resource);
      EXPECT_EQ(name, Bytes(LoadResource(exe_, found.resource), expected));
    }
  }
  ResourceRef block = pemrik_.LocateResource(MAKEINTRESOURCEA(1), RT_STRING);
  EXPECT_EQ(exe_, block.module);
  EXPECT_EQ(FindResourceA(exe_, MAKEINTRESOURCEA(1), RT_STRING),
            block.resource);
}

// A missing 8-bit name goes through the 16-bit attempt as well; it must not
// be read past its end. (A one-character name is the case that reading
// cannot tell from the start of a 16-bit name: it is left out.)
TEST_F(PemrikTest, MissingNamesAreNotFoundAndNotReadPastTheirEnd) {
  for (size_t length : {0, 2, 3, 4, 5, 8, 15, 16, 17, 31, 32, 33}) {
    SCOPED_TRACE(length);
    auto narrow = Narrow(std::string(length, 'Z'));
    auto wide = Wide(std::string(length + 1, 'Z'));
    for (LPCSTR name : {static_cast<LPCSTR>(narrow.get()), AsName(wide)}) {
      ResourceRef found = pemrik_.LocateResource(name, "TESTDATA");
      EXPECT_EQ(nullptr, found.module);
      EXPECT_EQ(nullptr, found.resource);
    }
  }
  ResourceRef found = pemrik_.LocateResource(MAKEINTRESOURCEA(77), RT_DIALOG);
  EXPECT_EQ(nullptr, found.module);
  EXPECT_EQ(nullptr, found.resource);
}

TEST_F(PemrikTest, LoadsWhatItLocates) {
  HRSRC expected = FindResourceA(exe_, "BB", "TESTDATA");
  EXPECT_EQ("BB", Bytes(pemrik_.LoadResourceData("BB", "TESTDATA"), expected));
  EXPECT_EQ(nullptr, pemrik_.LoadResourceData("ZZ", "TESTDATA"));
}

TEST_F(PemrikTest, CopyIsAnExactUnlockedBlockThatTheCallerOwns) {
  HGLOBAL block = pemrik_.CopyResourceData("CCC", "TESTDATA");
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(3u, GlobalSize(block));
  EXPECT_FALSE(GlobalUnlock(block)) << "handed out locked";
  void* data = GlobalLock(block);
  ASSERT_NE(nullptr, data);
  EXPECT_NE(block, data) << "not a movable block";
  EXPECT_NE(LockResource(pemrik_.LoadResourceData("CCC", "TESTDATA")), data);
  EXPECT_EQ("CCC", std::string(static_cast<char*>(data), 3));
  GlobalUnlock(block);
  EXPECT_EQ(nullptr, GlobalFree(block));

  EXPECT_EQ(nullptr, pemrik_.CopyResourceData("EMPTY", "TESTDATA"));
  EXPECT_EQ(nullptr, pemrik_.CopyResourceData("ZZ", "TESTDATA"));
}

// A host may replace LocateResource; the two loading operations reach it
// through the object's table.
struct FixedLocation : CPemrik {
  ResourceRef LocateResource(LPCSTR, LPCSTR) override {
    ++calls;
    return answer;
  }
  ResourceRef answer{};
  int calls = 0;
};

TEST_F(PemrikTest, ReplacedLocateResourceServesBothLoads) {
  FixedLocation pemrik;
  HRSRC resource = FindResourceA(exe_, "DDDD", "TESTDATA");
  pemrik.answer = {exe_, resource};
  CPemrik0& table = pemrik;
  EXPECT_EQ("DDDD", Bytes(table.LoadResourceData("X", "Y"), resource));
  HGLOBAL block = table.CopyResourceData("X", "Y");
  ASSERT_NE(nullptr, block);
  EXPECT_EQ("DDDD", std::string(static_cast<char*>(GlobalLock(block)),
                                GlobalSize(block)));
  GlobalUnlock(block);
  GlobalFree(block);
  EXPECT_EQ(2, pemrik.calls);

  pemrik.answer = {exe_, nullptr};
  EXPECT_EQ(nullptr, table.CopyResourceData("DDDD", "TESTDATA"));
  pemrik.answer = {nullptr, nullptr};
  EXPECT_EQ(nullptr, table.LoadResourceData("DDDD", "TESTDATA"));
  EXPECT_EQ(nullptr, table.CopyResourceData("DDDD", "TESTDATA"));
}

// The executable's string 3 is "7"; its templates stand in for the
// edition's, 283 with a conversion to show the number it is given.
TEST_F(PemrikTest, LoadTextFormatsTemplatesWithinCapacity) {
  struct Case {
    UINT id;
    int capacity;
    const char* text;
  } cases[] = {
      {279, 256, "open#REV07;"},
      {298, 256, "open#MORE;REV07;"},
      {283, 256, "update?n=8"},  // one more for the update script
      {279, 12, "open#REV07;"},  // exactly fits
      {279, 10, "open#REV0"},    // cut to capacity - 1
      {279, 2, "o"},
      {279, 1, ""},
      {500, 5, "no l"},
      {500, 2, "n"},
      {500, 1, ""},
      {501, 256, ""},  // found nowhere
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << " capacity " << c.capacity);
    char buffer[300];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(static_cast<int>(strlen(c.text)),
              pemrik_.LoadText(c.id, buffer, c.capacity));
    EXPECT_STREQ(c.text, buffer);
    EXPECT_EQ('x', buffer[c.capacity]) << "wrote past the capacity";
  }
}

TEST_F(PemrikTest, LoadTextWithoutCapacityWritesNothing) {
  for (int capacity : {0, -1, -4096}) {
    for (UINT id : {279u, 500u}) {
      SCOPED_TRACE(testing::Message() << id << " capacity " << capacity);
      char buffer[4] = "abc";
      EXPECT_EQ(0, pemrik_.LoadText(id, buffer, capacity));
      EXPECT_STREQ("abc", buffer);
    }
  }
}

TEST(PemrikExports, HaveTheirFixedValues) {
  EXPECT_EQ(42, fnPemrik());
  EXPECT_EQ(0, nPemrik);
  EXPECT_EQ(4, g_Pemrik.m_nValue);
}

}  // namespace
